#include "archive/archive_format.h"

#include <cstring>

#include "base/bounded_text.h"

namespace archive {

int DecodeTrailer(const uint8_t* bytes, ArchiveTrailer* trailer) {
  if (std::memcmp(bytes, kTrailerMagic, kMagicSize) != 0) return 0;
  trailer->first_entry_offset = LoadLittleEndian32(bytes + kTrailerFirstEntryAt);
  trailer->last_entry_offset = LoadLittleEndian32(bytes + kTrailerLastEntryAt);
  return 1;
}

void EncodeTrailer(const ArchiveTrailer& trailer, uint8_t* bytes) {
  std::memcpy(bytes, kTrailerMagic, kMagicSize);
  StoreLittleEndian32(bytes + kTrailerFirstEntryAt, trailer.first_entry_offset);
  StoreLittleEndian32(bytes + kTrailerLastEntryAt, trailer.last_entry_offset);
}

void DecodeEntryHeader(const uint8_t* bytes, EntryHeader* header) {
  header->next_entry_offset = LoadLittleEndian32(bytes + kHeaderNextEntryAt);
  header->attributes = LoadLittleEndian32(bytes + kHeaderAttributesAt);
  header->dos_time = LoadLittleEndian32(bytes + kHeaderDosTimeAt);
  header->dos_date = LoadLittleEndian32(bytes + kHeaderDosDateAt);
  header->size = LoadLittleEndian32(bytes + kHeaderSizeAt);
  std::memcpy(header->name, bytes + kHeaderNameAt, kNameFieldSize);
}

void EncodeEntryHeader(const EntryHeader& header, uint8_t* bytes) {
  StoreLittleEndian32(bytes + kHeaderNextEntryAt, header.next_entry_offset);
  StoreLittleEndian32(bytes + kHeaderAttributesAt, header.attributes);
  StoreLittleEndian32(bytes + kHeaderDosTimeAt, header.dos_time);
  StoreLittleEndian32(bytes + kHeaderDosDateAt, header.dos_date);
  StoreLittleEndian32(bytes + kHeaderSizeAt, header.size);
  std::memcpy(bytes + kHeaderNameAt, header.name, kNameFieldSize);
}

uint32_t DirectoryRecordSize(size_t name_length) {
  return kDirectoryRecordFixedSize + static_cast<uint32_t>(name_length) +
         kDirectoryRecordNamePadding;
}

uint32_t EncodeDirectoryRecord(const DirectoryRecord& record, uint8_t* bytes) {
  size_t name_length = text::BoundedLength(record.name, kNameFieldSize);
  if (name_length > kMaxNameLength) return 0;
  uint32_t size = DirectoryRecordSize(name_length);
  StoreLittleEndian32(bytes + kRecordNextAt, record.next_record);
  StoreLittleEndian32(bytes + kRecordAttributesAt, record.attributes);
  StoreLittleEndian32(bytes + kRecordDosTimeAt, record.dos_time);
  StoreLittleEndian32(bytes + kRecordDosDateAt, record.dos_date);
  StoreLittleEndian32(bytes + kRecordDataOffsetAt, record.data_offset);
  StoreLittleEndian32(bytes + kRecordSizeAt, record.size);
  // The padding after the NUL is undefined by the format; zeros keep builds reproducible.
  std::memset(bytes + kRecordNameAt, 0, name_length + kDirectoryRecordNamePadding);
  std::memcpy(bytes + kRecordNameAt, record.name, name_length);
  return size;
}

void EncodeDirectoryTail(uint32_t record_area_length, uint8_t* bytes) {
  std::memset(bytes, 0, kDirectoryTailSize);
  std::memcpy(bytes, kDirectoryTag, kTailTagSize);
  std::memcpy(bytes + kTailVersionAt, kDirectoryVersion, kTailVersionSize);
  StoreLittleEndian32(bytes + kTailRecordAreaLengthAt, record_area_length);
}

int DecodeDirectoryTail(const uint8_t* bytes, uint32_t* record_area_length) {
  if (bytes[0] != '[' || bytes[kTailTagSize - 1] != ']' || bytes[kTailTagSize] != 0 ||
      bytes[kTailTagSize + 1] != 0 ||
      std::memcmp(bytes + kTailVersionAt, kDirectoryVersion, kTailVersionSize) != 0) {
    return 0;
  }
  *record_area_length = LoadLittleEndian32(bytes + kTailRecordAreaLengthAt);
  return 1;
}

int DecodeChecksumTail(const uint8_t* bytes, uint32_t* count) {
  if (std::memcmp(bytes, kChecksumMagic, kChecksumMagicSize) != 0 ||
      endian::LoadLittleEndian16(bytes + kChecksumVersionAt) != kChecksumVersion) {
    return 0;
  }
  *count = LoadLittleEndian32(bytes + kChecksumCountAt);
  return 1;
}

void EncodeChecksumTail(uint32_t count, uint8_t* bytes) {
  std::memset(bytes, 0, kChecksumTailSize);
  std::memcpy(bytes, kChecksumMagic, kChecksumMagicSize);
  endian::StoreLittleEndian16(bytes + kChecksumVersionAt, kChecksumVersion);
  StoreLittleEndian32(bytes + kChecksumCountAt, count);
}

int32_t StoredNameLength(const EntryHeader& header) {
  const void* nul = std::memchr(header.name, 0, kNameFieldSize);
  if (nul == nullptr) return -1;
  return static_cast<int32_t>(static_cast<const uint8_t*>(nul) - header.name);
}

}  // namespace archive
