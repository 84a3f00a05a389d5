#include "pe/certificate_table.h"

#include "base/little_endian.h"
#include "pe/pe_format.h"

namespace pe {
namespace {

// Reads count bytes at offset; false unless all of them arrive.
bool ReadAt(platform::FileHandle file, uint32_t offset, uint8_t* bytes, uint32_t count) {
  return platform::Seek(file, static_cast<int32_t>(offset), platform::kFromStart) ==
             static_cast<int32_t>(offset) &&
         platform::ReadBytes(file, bytes, count) == static_cast<int32_t>(count);
}

}  // namespace

int ReadCertificateTable(platform::FileHandle file, uint32_t file_size, CertificateTable* table) {
  using endian::LoadLittleEndian16;
  using endian::LoadLittleEndian32;
  if (file_size > INT32_MAX) return 0;  // beyond what the file services position in
  uint8_t dos[kDosHeaderSize];
  if (file_size < sizeof dos || !ReadAt(file, 0, dos, sizeof dos) ||
      LoadLittleEndian16(dos) != kDosMagic) {
    return 0;
  }
  // The PE header, as far as a 64-bit image's certificate directory, or as far as the file goes.
  const uint32_t at = LoadLittleEndian32(dos + kPeHeaderOffsetAt);
  uint8_t headers[kHeadersThroughCertificateDirectory];
  if (at >= file_size || file_size - at < kOptionalHeaderAt + kDirectoriesAt32) return 0;
  uint32_t have = file_size - at;
  if (have > sizeof headers) have = sizeof headers;
  if (!ReadAt(file, at, headers, have) || LoadLittleEndian32(headers) != kPeSignature) return 0;

  const uint8_t* optional = headers + kOptionalHeaderAt;
  const uint32_t optional_size = LoadLittleEndian16(headers + kOptionalHeaderSizeAt);
  size_t count_at;
  size_t directories_at;
  switch (LoadLittleEndian16(optional)) {
    case kMagic32:
      count_at = kDirectoryCountAt32;
      directories_at = kDirectoriesAt32;
      break;
    case kMagic64:
      count_at = kDirectoryCountAt64;
      directories_at = kDirectoriesAt64;
      break;
    default:
      return 0;
  }
  // The directory must be counted, lie within the optional header as its size gives it, and
  // within the bytes read.
  const size_t directory_at = directories_at + kCertificateDirectory * kDirectorySize;
  if (directory_at + kDirectorySize > optional_size ||
      kOptionalHeaderAt + directory_at + kDirectorySize > have ||
      LoadLittleEndian32(optional + count_at) <= kCertificateDirectory) {
    return 0;
  }
  table->offset = LoadLittleEndian32(optional + directory_at);
  table->size = LoadLittleEndian32(optional + directory_at + 4);
  return table->offset != 0 && table->size != 0 ? 1 : 0;
}

}  // namespace pe
