#include "archive/member_checksums.h"

#include "archive/archive_format.h"

namespace archive {
namespace {

bool ReadAt(platform::FileHandle file, uint32_t offset, uint8_t* bytes, uint32_t count) {
  return offset <= INT32_MAX &&
         platform::Seek(file, static_cast<int32_t>(offset), platform::kFromStart) ==
             static_cast<int32_t>(offset) &&
         platform::ReadBytes(file, bytes, count) == static_cast<int32_t>(count);
}

}  // namespace

void FindChecksumRecord(platform::FileHandle file, uint32_t archive_end,
                        uint32_t first_entry_offset, ChecksumRecord* record) {
  *record = ChecksumRecord{0, 0};
  // Trailer, directory tail, checksum tail, each behind the other, all behind the first member.
  constexpr uint32_t kTails = kTrailerSize + kDirectoryTailSize + kChecksumTailSize;
  if (first_entry_offset == 0 || archive_end < first_entry_offset ||
      archive_end - first_entry_offset < kEntryHeaderSize + kTails) {
    return;
  }
  uint8_t tail[kDirectoryTailSize];
  uint32_t area = 0;
  const uint32_t directory_tail = archive_end - kTrailerSize - kDirectoryTailSize;
  if (!ReadAt(file, directory_tail, tail, kDirectoryTailSize) ||
      !DecodeDirectoryTail(tail, &area)) {
    return;
  }
  const uint32_t room = directory_tail - first_entry_offset - kEntryHeaderSize;
  if (area > room || room - area < kChecksumTailSize) return;
  const uint32_t checksum_tail = directory_tail - area - kChecksumTailSize;
  uint32_t count = 0;
  if (!ReadAt(file, checksum_tail, tail, kChecksumTailSize) || !DecodeChecksumTail(tail, &count)) {
    return;
  }
  // The checksums must fit between the first member header and the tail.
  if (count > (checksum_tail - first_entry_offset - kEntryHeaderSize) / kChecksumSize) return;
  record->offset = checksum_tail - count * kChecksumSize;
  record->count = count;
}

int ReadMemberChecksum(platform::FileHandle file, const ChecksumRecord& record, uint32_t index,
                       uint32_t* crc) {
  uint8_t bytes[kChecksumSize];
  if (record.offset == 0 || index >= record.count ||
      !ReadAt(file, record.offset + index * kChecksumSize, bytes, sizeof bytes)) {
    return 0;
  }
  *crc = LoadLittleEndian32(bytes);
  return 1;
}

}  // namespace archive
