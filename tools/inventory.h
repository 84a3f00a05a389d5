// What an installer holds, gathered once: its members in chain order with the checksums it
// records, the packages among them with their files, and every problem that shows without
// decoding anything. list renders it; test and extract hand it to the decode pass.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "archive/archive_end.h"
#include "tools/input_file.h"
#include "tools/installer_view.h"
#include "tools/package_view.h"
#include "tools/problem.h"

namespace tool {

struct InventoryMember {
  MemberInfo member;
  // Whether it is a package (package_view.h says how that is told); its header, records and
  // problems are read only then, and only when its data lies within the file.
  bool is_package = false;
  PackageView package;
  // What its entry header shows: a name field without NUL, data past the end of the file.
  std::vector<Problem> problems;
};

struct Inventory {
  std::string path;
  uint32_t file_size = 0;
  archive::ArchiveBounds bounds;  // with the certificate table of a signed installer
  bool has_checksums = false;
  uint32_t checksum_count = 0;
  std::vector<InventoryMember> members;  // in chain order
  // Why the chain ended before a next entry offset of 0.
  std::optional<Problem> chain_problem;
};

// Reads the installer's trailer, chain and packages. Throws Failure when the file is no
// installer at all (installer_view.h).
Inventory TakeInventory(InputFile& file);

}  // namespace tool
