// What an installer's resources say, for tovalin list --resources: the icon groups and the
// sizes of their images, the version information, the execution level the manifest requests.
// The installer's front is a launcher image; its resource section is read with the same code
// that build uses to rewrite it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "pe_resources/icon_file.h"
#include "pe_resources/resource_tree.h"
#include "pe_resources/version_info.h"
#include "tools/input_file.h"

namespace tool {

struct IconImageView {
  pe::IconGroupEntry entry;
  bool found = false;  // whether the icon resource the entry names is there
  bool png = false;
};

struct IconGroupView {
  pe::ResourceId name;
  std::vector<IconImageView> images;
};

struct ResourceView {
  // Whether the image has a resource section at all; the rest is empty when it has none.
  bool has_resources = false;
  std::vector<pe::Resource> resources;  // every resource, in directory order
  std::vector<IconGroupView> icon_groups;
  bool has_version = false;
  pe::VersionInfo version;
  bool has_manifest = false;
  std::string execution_level;  // empty when the manifest requests none
  // What could not be read, each naming the resource it is about.
  std::vector<std::string> problems;
};

// Reads the resources of the image at the start of file. A file that is no PE image, or whose
// resource section cannot be read, gives a problem rather than an exception: the members can
// still be listed.
ResourceView ReadResources(InputFile& file);

// "ICON", "DIALOG", ... for the standard resource types, "#n" for others, a name as itself.
std::string ResourceTypeName(const pe::ResourceId& type);

// "32x32 4-bit", "256x256 32-bit PNG".
std::string DescribeIconImage(const IconImageView& image);

}  // namespace tool
