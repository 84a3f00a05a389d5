// What tovalin list shows, and its two renderers: lines for people (listing_text.cpp) and one
// JSON document for programs (listing_json.cpp). Both show the same facts; the gathering is
// command_list.cpp's.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/inventory.h"
#include "tools/resource_view.h"

namespace tool {

// A packed file's decoded size: as its record gives it, or as decoding found it.
struct ListedSize {
  uint64_t size = 0;
  bool known = false;
};

struct Listing {
  Inventory inventory;
  bool with_packages = false;
  // Per member, per packed file, in the order of inventory.members[i].package.files.
  std::vector<std::vector<ListedSize>> sizes;
  bool with_resources = false;
  ResourceView resources;
  std::vector<std::string> problems;  // each names what it is about
};

void PrintListingText(const Listing& listing);
void PrintListingJson(const Listing& listing);

}  // namespace tool
