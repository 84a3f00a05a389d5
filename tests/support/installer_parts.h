// Members and packages for tests that build installers: the same few lines every such test
// would otherwise write again. Tests that use it link archive_writer and package_writer.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "archive/archive_format.h"
#include "archive/archive_writer.h"
#include "base/crc32.h"
#include "package/package_writer.h"

namespace testing_support {

// A member with its bytes and its recorded DOS date and time.
inline archive::NewMember DatedMember(const std::string& name, const std::vector<uint8_t>& bytes,
                                      uint32_t dos_date, uint32_t dos_time) {
  archive::NewMember member;
  member.name = name;
  member.data = bytes;
  member.dos_date = dos_date;
  member.dos_time = dos_time;
  return member;
}

// A package (binary, dictionary 4,096) of named files, all with one DOS date and time.
inline std::vector<uint8_t> DatedPackage(
    const std::vector<std::pair<std::string, std::vector<uint8_t>>>& files, uint32_t dos_date,
    uint32_t dos_time) {
  std::vector<package::PackageEntry> entries;
  for (const auto& [name, data] : files) {
    package::PackageEntry entry;
    entry.name = name;
    entry.data = data;
    entry.dos_date = dos_date;
    entry.dos_time = dos_time;
    entries.push_back(entry);
  }
  std::vector<uint8_t> bytes;
  std::string error;
  EXPECT_TRUE(package::BuildPackage(entries, package::PackOptions{}, &bytes, &error)) << error;
  return bytes;
}

// Makes an installer's checksum record fit its members again, as the author of a hostile
// installer would: checksums tell damage from the real thing, they are no defence against an
// author. Tests that patch members call it to reach what lies behind the checksums.
inline void RecomputeChecksums(std::vector<uint8_t>* file) {
  using archive::kEntryHeaderSize;
  const size_t size = file->size();
  archive::ArchiveTrailer trailer;
  uint32_t area = 0;
  uint32_t count = 0;
  if (size < archive::kTrailerSize + archive::kDirectoryTailSize ||
      !archive::DecodeTrailer(file->data() + size - archive::kTrailerSize, &trailer) ||
      !archive::DecodeDirectoryTail(
          file->data() + size - archive::kTrailerSize - archive::kDirectoryTailSize, &area)) {
    return;
  }
  const size_t tail = size - archive::kTrailerSize - archive::kDirectoryTailSize - area -
                      archive::kChecksumTailSize;
  if (!archive::DecodeChecksumTail(file->data() + tail, &count)) return;
  uint32_t at = trailer.first_entry_offset;
  for (uint32_t i = 0; i < count && at != 0 && at + kEntryHeaderSize <= size; ++i) {
    archive::EntryHeader header;
    archive::DecodeEntryHeader(file->data() + at, &header);
    const size_t data = at + kEntryHeaderSize;
    const size_t length = std::min<size_t>(header.size, size - data);
    archive::StoreLittleEndian32(file->data() + tail - (count - i) * archive::kChecksumSize,
                                 text::UpdateCrc32(text::kCrc32Start, file->data() + data, length));
    at = header.next_entry_offset;
  }
}

}  // namespace testing_support
