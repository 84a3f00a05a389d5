#include "package/package_format.h"

#include <cstring>

#include "base/little_endian.h"

namespace package {
namespace {

using endian::LoadLittleEndian16;
using endian::LoadLittleEndian32;
using endian::StoreLittleEndian16;
using endian::StoreLittleEndian32;

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

}  // namespace package
