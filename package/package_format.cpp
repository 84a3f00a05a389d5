#include "package/package_format.h"

#include <cstring>

#include "platform/bounded_text.h"
#include "platform/little_endian.h"

namespace package {
namespace {

using endian::LoadLittleEndian16;
using endian::LoadLittleEndian32;
using endian::StoreLittleEndian16;
using endian::StoreLittleEndian32;

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
  header->value_14 = LoadLittleEndian16(bytes + kHeaderValue14At);
  header->file_count = static_cast<int16_t>(LoadLittleEndian16(bytes + kHeaderFileCountAt));
  header->value_18 = LoadLittleEndian16(bytes + kHeaderValue18At);
  header->value_20 = LoadLittleEndian16(bytes + kHeaderValue20At);
}

void EncodePackageHeader(const PackageHeader& header, uint8_t* bytes) {
  std::memset(bytes, 0, kHeaderSize);
  StoreLittleEndian16(bytes + kHeaderValue14At, header.value_14);
  StoreLittleEndian16(bytes + kHeaderFileCountAt, static_cast<uint16_t>(header.file_count));
  StoreLittleEndian16(bytes + kHeaderValue18At, header.value_18);
  StoreLittleEndian16(bytes + kHeaderValue20At, header.value_20);
}

void DecodeFileRecord(const uint8_t* bytes, FileRecord* record) {
  std::memcpy(record->name, bytes + kRecordNameAt, kNameFieldSize);
  record->attributes = LoadLittleEndian32(bytes + kRecordAttributesAt);
  record->compressed_size = LoadLittleEndian32(bytes + kRecordCompressedSizeAt);
  record->dos_date = LoadLittleEndian32(bytes + kRecordDosDateAt);
  record->dos_time = LoadLittleEndian32(bytes + kRecordDosTimeAt);
  record->uncompressed_size = LoadLittleEndian32(bytes + kRecordUncompressedSizeAt);
}

void EncodeFileRecord(const FileRecord& record, uint8_t* bytes) {
  std::memset(bytes, 0, kRecordSize);
  std::memcpy(bytes + kRecordNameAt, record.name, kNameFieldSize);
  StoreLittleEndian32(bytes + kRecordAttributesAt, record.attributes);
  StoreLittleEndian32(bytes + kRecordCompressedSizeAt, record.compressed_size);
  StoreLittleEndian32(bytes + kRecordDosDateAt, record.dos_date);
  StoreLittleEndian32(bytes + kRecordDosTimeAt, record.dos_time);
  StoreLittleEndian32(bytes + kRecordUncompressedSizeAt, record.uncompressed_size);
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
