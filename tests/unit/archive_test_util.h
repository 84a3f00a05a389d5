// Helpers for the archive tests: installers built by the writer, and malformed ones put
// together byte by byte.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "archive/archive_format.h"
#include "archive/archive_reader.h"
#include "archive/archive_writer.h"
#include "tests/support/installer_parts.h"
#include "tests/support/test_files.h"

namespace archive_testing {

using testing_support::Bytes;
using testing_support::Member;
using testing_support::Text;

// Writes image + archive to path through the writer; the test fails if the writer refuses.
inline void BuildInstaller(const std::string& path, const Bytes& image,
                           const std::vector<archive::NewMember>& members) {
  std::string error;
  ASSERT_EQ(archive::WriteInstallerFile(path, image, members, &error), 1) << error;
}

// A hand-made entry header; name_field is copied as given (up to 256 bytes), so a test can
// leave out the NUL or put bytes after it.
inline Bytes HeaderBytes(uint32_t next, uint32_t size, const Bytes& name_field,
                         uint32_t attributes = archive::kDefaultMemberAttributes,
                         uint32_t dos_date = testing_support::kMadeDate,
                         uint32_t dos_time = testing_support::kMadeTime) {
  archive::EntryHeader header = {};
  header.next_entry_offset = next;
  header.attributes = attributes;
  header.dos_date = dos_date;
  header.dos_time = dos_time;
  header.size = size;
  for (size_t i = 0; i < name_field.size() && i < archive::kNameFieldSize; ++i) {
    header.name[i] = name_field[i];
  }
  Bytes bytes(archive::kEntryHeaderSize);
  archive::EncodeEntryHeader(header, bytes.data());
  return bytes;
}

inline Bytes NameField(const std::string& name) {
  return Text(name + std::string(1, '\0'));
}

inline Bytes TrailerBytes(uint32_t first, uint32_t last = 0) {
  Bytes bytes(archive::kTrailerSize);
  archive::EncodeTrailer({first, last}, bytes.data());
  return bytes;
}

// Places bytes at offset in file, growing it with zeros as needed.
inline void PutAt(Bytes* file, size_t offset, const Bytes& bytes) {
  if (file->size() < offset + bytes.size()) file->resize(offset + bytes.size());
  std::copy(bytes.begin(), bytes.end(), file->begin() + static_cast<std::ptrdiff_t>(offset));
}

inline void Append(Bytes* file, const Bytes& bytes) {
  PutAt(file, file->size(), bytes);
}

// Everything a stream still delivers, read in blocks of the given size; -1 reads fail the test.
inline Bytes ReadRest(MemberStream* stream, int32_t block = 4096) {
  Bytes all;
  Bytes buffer(static_cast<size_t>(block));
  for (;;) {
    int32_t got = ReadMember(stream, buffer.data(), block);
    EXPECT_GE(got, 0);
    if (got <= 0) break;
    all.insert(all.end(), buffer.begin(), buffer.begin() + got);
  }
  return all;
}

}  // namespace archive_testing
