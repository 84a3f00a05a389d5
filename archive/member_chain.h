// Walking the chain of entry headers, safely, whatever the file holds.
//
// Archives as built have strictly growing offsets and end with a next entry offset of 0. A file
// can claim anything, though, and every user of the chain (the launcher's lookups and install-
// script scan, the tool's list, test and extract) must end its walk. So the walk stops when:
//   - a next entry offset is 0 (CHAIN_END, the normal end);
//   - a header would not fit before the end of the archive (CHAIN_HEADER_PAST_END);
//   - positioning or reading fails or comes up short (CHAIN_READ_FAILED);
//   - the chain returns to a header it has already visited (CHAIN_LOOPED), found with Brent's
//     cycle check in constant memory, as the launcher has no room for a set of offsets;
//   - more headers were read than the file can hold side by side (CHAIN_TOO_LONG), a cap that
//     also bounds chains of overlapping headers.
// A looping chain is noticed within about twice its length, so the headers on the loop may be
// delivered more than once before the walk ends.
#pragma once

#include <cstdint>

#include "archive/archive_format.h"
#include "platform/files.h"

namespace archive {

enum ChainStatus : int {
  CHAIN_WALKING = 0,
  CHAIN_END = 1,
  CHAIN_HEADER_PAST_END = 2,
  CHAIN_READ_FAILED = 3,
  CHAIN_LOOPED = 4,
  CHAIN_TOO_LONG = 5,
};

struct ChainWalk {
  platform::FileHandle file;
  uint32_t archive_end;
  uint32_t next_offset;  // header to read next; 0 once the chain has ended
  uint32_t headers_read;
  uint32_t header_limit;     // archive_end / kEntryHeaderSize
  uint32_t loop_checkpoint;  // Brent: the offset that a loop would come back to
  uint32_t loop_span;
  uint32_t steps_since_checkpoint;
  int status;  // a ChainStatus
};

struct ChainEntry {
  uint32_t header_offset;
  EntryHeader header;
  // Whether the name field holds its NUL; a name without one is no name and matches nothing.
  int name_terminated;
  // Whether header_offset + 276 + size lies within the archive.
  int data_within_file;
};

// Starts a walk at the first entry offset of the archive in file, which ends at archive_end
// (archive_end.h): no header or data past it is the archive's.
void BeginChainWalk(ChainWalk* walk, platform::FileHandle file, uint32_t first_entry_offset,
                    uint32_t archive_end);

// Reads the next header into entry. 1 when an entry was delivered; 0 when the walk is over,
// with walk->status telling why. Leaves the file positioned right after the header read.
int NextChainEntry(ChainWalk* walk, ChainEntry* entry);

}  // namespace archive
