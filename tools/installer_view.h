// What an installer carries: its members in chain order, found with the archive's own chain
// walker, and where the chain ends early, why.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "archive/archive_end.h"
#include "tools/input_file.h"
#include "tools/problem.h"

namespace tool {

struct MemberInfo {
  uint32_t header_offset;
  uint32_t data_offset;  // header_offset + the entry header's size
  uint32_t size;
  uint32_t attributes;
  uint32_t dos_date;
  uint32_t dos_time;
  // The name field up to its NUL; the whole field when it holds no NUL.
  std::string name;
  bool name_terminated;
  // Whether all size bytes of data lie within the archive.
  bool data_within_file;
  // The CRC-32 the installer records for the member's data, when it carries checksums.
  bool checksum_known = false;
  uint32_t checksum = 0;
};

struct InstallerView {
  // Where the archive ends, and the certificate table of a signed installer.
  archive::ArchiveBounds bounds;
  // Whether the installer carries a checksum record, and for how many members.
  bool has_checksums = false;
  uint32_t checksum_count = 0;
  std::vector<MemberInfo> members;  // in chain order, each header once
  // Why the walk ended before a next entry offset of 0; nothing when it ended normally.
  std::optional<Problem> chain_problem;
};

// Reads the trailer and walks the chain. Throws Failure when the file carries no payload archive
// at all (too short, no trailer magic at its end): not an installer, or a truncated one.
InstallerView ReadInstaller(InputFile& file);

// Whether the file ends with a payload archive trailer; for refusing a stub that already has one.
bool HasArchiveTrailer(InputFile& file);

// Whether two names are the same to the launcher's lookups: ASCII letters without regard to case,
// every other byte exactly.
bool SameMemberName(const std::string& a, const std::string& b);

}  // namespace tool
