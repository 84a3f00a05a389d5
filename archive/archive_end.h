// Where a file's payload archive ends.
//
// The trailer ends the archive, and in an unsigned installer it ends the file. Signing an
// installer appends a certificate table behind it: the file is padded with zero bytes to a
// multiple of 8, and the table follows, its offset and size recorded in the PE headers. A file is
// taken as signed when it is a PE image whose certificate table ends exactly at the file's end;
// its archive then ends where the table starts, less the padding: up to 7 zero bytes, as far as
// an archive trailer ends there. Anything else (not a PE, no table, a table elsewhere, header
// fields that point outside the file) is an unsigned file, whose archive ends at the file's end.
#pragma once

#include <cstdint>

#include "platform/files.h"

namespace archive {

struct ArchiveBounds {
  uint32_t end;  // where the archive trailer ends
  // The certificate table of a signed file; both 0 for an unsigned one.
  uint32_t certificate_offset;
  uint32_t certificate_size;
};

// Finds the bounds of the archive in file, which is file_size bytes long.
void FindArchiveBounds(platform::FileHandle file, uint32_t file_size, ArchiveBounds* bounds);

}  // namespace archive
