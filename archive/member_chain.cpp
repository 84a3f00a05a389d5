#include "archive/member_chain.h"

#include <cstring>

namespace archive {
namespace {

// Ends the walk; the file may hold garbage from here on.
int StopWalk(ChainWalk* walk, int status) {
  walk->status = status;
  walk->next_offset = 0;
  return 0;
}

// Brent's check: remember one offset, and move that mark forward to where the walk stands
// whenever it has gone twice as far as the last time. A walk that loops must come back to a
// mark within twice its length, and one comparison per step is all it costs.
bool ReturnsToCheckpoint(ChainWalk* walk, uint32_t next) {
  if (next == walk->loop_checkpoint) return true;
  if (++walk->steps_since_checkpoint == walk->loop_span) {
    walk->loop_checkpoint = next;
    walk->loop_span *= 2;
    walk->steps_since_checkpoint = 0;
  }
  return false;
}

}  // namespace

void BeginChainWalk(ChainWalk* walk, platform::FileHandle file, uint32_t first_entry_offset,
                    uint32_t archive_end) {
  std::memset(walk, 0, sizeof *walk);
  walk->file = file;
  walk->status = CHAIN_WALKING;
  walk->archive_end = archive_end;
  walk->header_limit = walk->archive_end / kEntryHeaderSize;
  walk->next_offset = first_entry_offset;
  walk->loop_checkpoint = first_entry_offset;
  walk->loop_span = 1;
  if (first_entry_offset == 0) StopWalk(walk, CHAIN_END);
}

int NextChainEntry(ChainWalk* walk, ChainEntry* entry) {
  if (walk->status != CHAIN_WALKING) return 0;
  uint32_t offset = walk->next_offset;
  if (offset > walk->archive_end || walk->archive_end - offset < kEntryHeaderSize) {
    return StopWalk(walk, CHAIN_HEADER_PAST_END);
  }
  if (walk->headers_read >= walk->header_limit) return StopWalk(walk, CHAIN_TOO_LONG);

  // The offset lies in the archive, and the archive's end fits a signed 32-bit position.
  if (platform::Seek(walk->file, static_cast<int32_t>(offset), platform::kFromStart) !=
      static_cast<int32_t>(offset)) {
    return StopWalk(walk, CHAIN_READ_FAILED);
  }
  uint8_t bytes[kEntryHeaderSize];
  if (platform::ReadBytes(walk->file, bytes, sizeof bytes) != static_cast<int32_t>(sizeof bytes)) {
    return StopWalk(walk, CHAIN_READ_FAILED);
  }
  ++walk->headers_read;

  entry->header_offset = offset;
  DecodeEntryHeader(bytes, &entry->header);
  entry->name_terminated = StoredNameLength(entry->header) >= 0 ? 1 : 0;
  uint32_t room_for_data = walk->archive_end - offset - kEntryHeaderSize;
  entry->data_within_file = entry->header.size <= room_for_data ? 1 : 0;

  uint32_t next = entry->header.next_entry_offset;
  walk->next_offset = next;
  if (next == 0) {
    walk->status = CHAIN_END;
  } else if (ReturnsToCheckpoint(walk, next)) {
    walk->status = CHAIN_LOOPED;
    walk->next_offset = 0;
  }
  return 1;
}

}  // namespace archive
