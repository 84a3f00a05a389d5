#include "pe/certificate_table.h"

#include "pe/headers.h"
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
  if (file_size > INT32_MAX) return 0;  // beyond what the file services position in
  uint8_t bytes[kHeadersThroughCertificateDirectory];
  uint32_t at = 0;
  if (file_size < kDosHeaderSize || !ReadAt(file, 0, bytes, kDosHeaderSize) ||
      FindPeHeader(bytes, kDosHeaderSize, file_size, &at) != HeaderProblem::kNone) {
    return 0;
  }
  // The PE header, as far as a 64-bit image's certificate directory, or as far as the file goes.
  uint32_t have = file_size - at;
  if (have > sizeof bytes) have = sizeof bytes;
  PeHeaders headers;
  if (!ReadAt(file, at, bytes, have) ||
      ReadPeHeaders(bytes, have, at, file_size, &headers) != HeaderProblem::kNone ||
      headers.directory_count <= kCertificateDirectory) {
    return 0;
  }
  const DataDirectory directory = DirectoryOf(headers, kCertificateDirectory);
  table->offset = directory.address;
  table->size = directory.size;
  return table->offset != 0 && table->size != 0 ? 1 : 0;
}

}  // namespace pe
