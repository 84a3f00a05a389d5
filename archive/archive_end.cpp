#include "archive/archive_end.h"

#include <cstring>

#include "archive/archive_format.h"
#include "pe/certificate_table.h"
#include "pe/pe_format.h"

namespace archive {

void FindArchiveBounds(platform::FileHandle file, uint32_t file_size, ArchiveBounds* bounds) {
  *bounds = ArchiveBounds{file_size, 0, 0};
  pe::CertificateTable table;
  if (!pe::ReadCertificateTable(file, file_size, &table) || !pe::SignsFile(table, file_size)) {
    return;
  }
  bounds->certificate_offset = table.offset;
  bounds->certificate_size = table.size;
  bounds->end = table.offset;
  // The trailer ends right before the padding. The magic cannot overlap itself, so of the eight
  // places it could end, at most one holds a trailer.
  constexpr uint32_t kMostPadding = pe::kCertificateAlignment - 1;
  constexpr uint32_t kLook = kTrailerSize + kMostPadding;
  if (table.offset < kLook) return;
  uint8_t bytes[kLook];
  const int32_t from = static_cast<int32_t>(table.offset - kLook);
  if (platform::Seek(file, from, platform::kFromStart) != from ||
      platform::ReadBytes(file, bytes, kLook) != static_cast<int32_t>(kLook)) {
    return;
  }
  for (uint32_t padding = 0; padding <= kMostPadding; ++padding) {
    if (padding > 0 && bytes[kLook - padding] != 0) return;  // padding is zero bytes only
    if (std::memcmp(bytes + kMostPadding - padding, kTrailerMagic, kMagicSize) == 0) {
      bounds->end = table.offset - padding;
      return;
    }
  }
}

}  // namespace archive
