// Package files: the containers in which the installer engine and its helpers travel.
//
// A package is a 58-byte header followed, file after file, by a 168-byte file record and that
// file's implode stream. Every integer is little-endian. Nothing lies between a stream and the
// next record, and nothing follows the last stream:
//
//   header | record 1, stream 1 | record 2, stream 2 | ... | record n, stream n
//
// The unpacker never seeks. It hands the decoder exactly compressed_size bytes of a stream and
// reads the next record from wherever the decoder's last read ended, so a stream must end in
// the byte that completes its end-of-stream code.
//
// Of the header the unpacker reads only file_count. The other fields are kept because packages
// as built carry them: 116 at offsets 14 and 18, 0 or 5 at offset 20, zeros elsewhere. A record
// carries the file's name (NUL-terminated; bytes after the NUL may be leftovers of a longer
// name), its attribute bits (0x20 in every package; never applied), the stream's size, the
// file's DOS date and time (low 16 bits of each field) and its decoded size (0 is allowed: the
// engine's own package records none). Fields not named here are zero.
#pragma once

#include <cstddef>
#include <cstdint>

namespace package {

// ---- Header ------------------------------------------------------------------------------------

constexpr uint32_t kHeaderSize = 58;
constexpr size_t kHeaderValue14At = 14;
constexpr size_t kHeaderFileCountAt = 16;
constexpr size_t kHeaderValue18At = 18;
constexpr size_t kHeaderValue20At = 20;

// What packages as built carry in the fields the unpacker does not read.
constexpr uint16_t kUsualHeaderValue14 = 116;
constexpr uint16_t kUsualHeaderValue18 = 116;
constexpr uint16_t kUsualHeaderValue20 = 0;
constexpr uint16_t kOtherHeaderValue20 = 5;

// file_count is signed 16-bit: a package holds 1 to 32,767 files.
constexpr int32_t kMaxFileCount = 32767;

struct PackageHeader {
  uint16_t value_14;
  int16_t file_count;
  uint16_t value_18;
  uint16_t value_20;
};

// ---- File record -------------------------------------------------------------------------------

constexpr uint32_t kRecordSize = 168;
constexpr size_t kNameFieldSize = 128;
constexpr size_t kMaxNameLength = kNameFieldSize - 1;
constexpr size_t kRecordNameAt = 0;
constexpr size_t kRecordAttributesAt = 128;
constexpr size_t kRecordCompressedSizeAt = 136;
constexpr size_t kRecordDosDateAt = 140;
constexpr size_t kRecordDosTimeAt = 144;
constexpr size_t kRecordUncompressedSizeAt = 156;

// The attribute bits every record carries (archive).
constexpr uint32_t kRecordAttributes = 0x20;

struct FileRecord {
  char name[kNameFieldSize];  // NUL-terminated in packages as built; not trusted to be
  uint32_t attributes;
  uint32_t compressed_size;
  uint32_t dos_date;  // low 16 bits
  uint32_t dos_time;  // low 16 bits
  uint32_t uncompressed_size;
};

// ---- Encoding ----------------------------------------------------------------------------------

// The header of a package of file_count files, the other fields at their usual values.
PackageHeader UsualPackageHeader(int16_t file_count);

void DecodePackageHeader(const uint8_t* bytes, PackageHeader* header);
// Writes kHeaderSize bytes; the fields without a name are zero.
void EncodePackageHeader(const PackageHeader& header, uint8_t* bytes);

void DecodeFileRecord(const uint8_t* bytes, FileRecord* record);
// Writes kRecordSize bytes; the fields without a name are zero.
void EncodeFileRecord(const FileRecord& record, uint8_t* bytes);

}  // namespace package
