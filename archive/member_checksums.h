// Finding the checksums an installer carries for its members (archive_format.h), for the
// launcher and the tool alike. The record is hostile input: it counts only when it lies whole
// inside the archive, behind the first member header and in front of the directory.
#pragma once

#include <cstdint>

#include "platform/files.h"

namespace archive {

struct ChecksumRecord {
  uint32_t offset;  // of the first checksum; 0 when the archive carries none
  uint32_t count;
};

// Looks for the record in the archive of file that ends at archive_end and whose first member
// header is at first_entry_offset. Fills record (offset 0 when there is none).
void FindChecksumRecord(platform::FileHandle file, uint32_t archive_end,
                        uint32_t first_entry_offset, ChecksumRecord* record);

// The checksum of the index-th member along the chain. 1 with *crc filled; 0 when the record
// has none for it or cannot be read.
int ReadMemberChecksum(platform::FileHandle file, const ChecksumRecord& record, uint32_t index,
                       uint32_t* crc);

}  // namespace archive
