#include "package/package_format.h"

#include <cstring>

#include "platform/bounded_text.h"

namespace package {
namespace {

uint16_t Load16(const uint8_t* bytes) {
  return static_cast<uint16_t>(bytes[0] | (bytes[1] << 8));
}

uint32_t Load32(const uint8_t* bytes) {
  return static_cast<uint32_t>(bytes[0]) | (static_cast<uint32_t>(bytes[1]) << 8) |
         (static_cast<uint32_t>(bytes[2]) << 16) | (static_cast<uint32_t>(bytes[3]) << 24);
}

void Store16(uint8_t* bytes, uint16_t value) {
  bytes[0] = static_cast<uint8_t>(value);
  bytes[1] = static_cast<uint8_t>(value >> 8);
}

void Store32(uint8_t* bytes, uint32_t value) {
  bytes[0] = static_cast<uint8_t>(value);
  bytes[1] = static_cast<uint8_t>(value >> 8);
  bytes[2] = static_cast<uint8_t>(value >> 16);
  bytes[3] = static_cast<uint8_t>(value >> 24);
}

bool IsRefusedByte(uint8_t byte) {
  if (byte < 0x20) return true;
  switch (byte) {
    case '\\':
    case '/':
    case ':':
    case '*':
    case '?':
    case '"':
    case '<':
    case '>':
    case '|':
      return true;
    default:
      return false;
  }
}

}  // namespace

PackageHeader UsualPackageHeader(int16_t file_count) {
  return PackageHeader{kUsualHeaderValue14, file_count, kUsualHeaderValue18, kUsualHeaderValue20};
}

void DecodePackageHeader(const uint8_t* bytes, PackageHeader* header) {
  header->value_14 = Load16(bytes + kHeaderValue14At);
  header->file_count = static_cast<int16_t>(Load16(bytes + kHeaderFileCountAt));
  header->value_18 = Load16(bytes + kHeaderValue18At);
  header->value_20 = Load16(bytes + kHeaderValue20At);
}

void EncodePackageHeader(const PackageHeader& header, uint8_t* bytes) {
  std::memset(bytes, 0, kHeaderSize);
  Store16(bytes + kHeaderValue14At, header.value_14);
  Store16(bytes + kHeaderFileCountAt, static_cast<uint16_t>(header.file_count));
  Store16(bytes + kHeaderValue18At, header.value_18);
  Store16(bytes + kHeaderValue20At, header.value_20);
}

void DecodeFileRecord(const uint8_t* bytes, FileRecord* record) {
  std::memcpy(record->name, bytes + kRecordNameAt, kNameFieldSize);
  record->attributes = Load32(bytes + kRecordAttributesAt);
  record->compressed_size = Load32(bytes + kRecordCompressedSizeAt);
  record->dos_date = Load32(bytes + kRecordDosDateAt);
  record->dos_time = Load32(bytes + kRecordDosTimeAt);
  record->uncompressed_size = Load32(bytes + kRecordUncompressedSizeAt);
}

void EncodeFileRecord(const FileRecord& record, uint8_t* bytes) {
  std::memset(bytes, 0, kRecordSize);
  std::memcpy(bytes + kRecordNameAt, record.name, kNameFieldSize);
  Store32(bytes + kRecordAttributesAt, record.attributes);
  Store32(bytes + kRecordCompressedSizeAt, record.compressed_size);
  Store32(bytes + kRecordDosDateAt, record.dos_date);
  Store32(bytes + kRecordDosTimeAt, record.dos_time);
  Store32(bytes + kRecordUncompressedSizeAt, record.uncompressed_size);
}

int IsSafeRecordName(const char* field, size_t field_size) {
  size_t length = text::BoundedLength(field, field_size);
  if (length == 0 || length == field_size) return 0;
  for (size_t i = 0; i < length; ++i) {
    uint8_t byte = static_cast<uint8_t>(field[i]);
    if (IsRefusedByte(byte)) return 0;
    if (byte == '.' && i + 1 < length && field[i + 1] == '.') return 0;
  }
  char last = field[length - 1];
  return (last == '.' || last == ' ') ? 0 : 1;
}

}  // namespace package
