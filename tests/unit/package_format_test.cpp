#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "base/file_name.h"
#include "package/package_format.h"
#include "package/package_writer.h"

namespace {

using package::FileRecord;
using package::PackageHeader;

uint32_t At32(const std::vector<uint8_t>& bytes, size_t at) {
  return bytes[at] | (bytes[at + 1] << 8) | (bytes[at + 2] << 16) |
         (static_cast<uint32_t>(bytes[at + 3]) << 24);
}

uint16_t At16(const std::vector<uint8_t>& bytes, size_t at) {
  return static_cast<uint16_t>(bytes[at] | (bytes[at + 1] << 8));
}

TEST(PackageFormatTest, UsualHeaderPutsEachFieldAtItsOffsetAndZerosElsewhere) {
  std::vector<uint8_t> bytes(package::kHeaderSize, 0xEE);
  PackageHeader header = package::UsualPackageHeader(0x0203);
  header.value_20 = package::kOtherHeaderValue20;
  package::EncodePackageHeader(header, bytes.data());
  EXPECT_EQ(At16(bytes, 14), 116);
  EXPECT_EQ(At16(bytes, 16), 0x0203);
  EXPECT_EQ(At16(bytes, 18), 116);
  EXPECT_EQ(At16(bytes, 20), 5);
  for (size_t at = 0; at < package::kHeaderSize; ++at) {
    if (at >= 14 && at < 22) continue;
    EXPECT_EQ(bytes[at], 0) << "offset " << at;
  }

  PackageHeader back = {};
  package::DecodePackageHeader(bytes.data(), &back);
  EXPECT_EQ(back.value_14, 116);
  EXPECT_EQ(back.file_count, 0x0203);
  EXPECT_EQ(back.value_18, 116);
  EXPECT_EQ(back.value_20, 5);
}

TEST(PackageFormatTest, FileCountIsSigned) {
  struct Case {
    uint8_t low, high;
    int32_t count;
  };
  const Case cases[] = {{0x01, 0x00, 1},
                        {0xFF, 0x7F, 32767},
                        {0x00, 0x80, -32768},
                        {0xFF, 0xFF, -1},
                        {0x00, 0x00, 0}};
  for (const Case& c : cases) {
    uint8_t bytes[package::kHeaderSize] = {};
    bytes[16] = c.low;
    bytes[17] = c.high;
    PackageHeader header;
    package::DecodePackageHeader(bytes, &header);
    EXPECT_EQ(header.file_count, c.count);
  }
}

TEST(PackageFormatTest, RecordFieldsAtTheirOffsets) {
  FileRecord record = {};
  std::strcpy(record.name, "~0000.exe");
  record.name[100] = 'x';  // leftovers after the NUL travel unchanged
  record.attributes = 0x20;
  record.compressed_size = 0x01020304;
  record.dos_date = 0x2821;
  record.dos_time = 0x6000;
  record.uncompressed_size = 0x0A0B0C0D;
  std::vector<uint8_t> bytes(package::kRecordSize, 0xEE);
  package::EncodeFileRecord(record, bytes.data());

  EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes.data())), "~0000.exe");
  EXPECT_EQ(bytes[100], 'x');
  EXPECT_EQ(At32(bytes, 128), 0x20u);
  EXPECT_EQ(At32(bytes, 136), 0x01020304u);
  EXPECT_EQ(At32(bytes, 140), 0x2821u);
  EXPECT_EQ(At32(bytes, 144), 0x6000u);
  EXPECT_EQ(At32(bytes, 156), 0x0A0B0C0Du);
  for (size_t at : {132u, 148u, 152u, 160u, 164u})
    EXPECT_EQ(At32(bytes, at), 0u) << at;

  FileRecord back = {};
  package::DecodeFileRecord(bytes.data(), &back);
  EXPECT_EQ(std::memcmp(back.name, record.name, package::kNameFieldSize), 0);
  EXPECT_EQ(back.attributes, record.attributes);
  EXPECT_EQ(back.compressed_size, record.compressed_size);
  EXPECT_EQ(back.dos_date, record.dos_date);
  EXPECT_EQ(back.dos_time, record.dos_time);
  EXPECT_EQ(back.uncompressed_size, record.uncompressed_size);
}

TEST(PackageFormatTest, OnlyPlainFileNamesAreSafe) {
  struct Case {
    std::string name;
    int safe;
  };
  const Case cases[] = {
      {"~0000.exe", 1},
      {"a b.txt", 1},
      {"README", 1},
      {".profile", 1},
      {"name.", 0},
      {"name ", 0},
      {"~0000.bat.", 0},
      {" lead.txt", 1},
      {"\xE4pfel.txt", 1},
      {std::string(package::kMaxNameLength, 'n'), 1},
      {"", 0},
      {".", 0},
      {"..", 0},
      {"...", 0},
      {". .", 0},
      {" ", 0},
      {"a..b", 0},
      {"..\\up.txt", 0},
      {"../up.txt", 0},
      {"sub\\x.txt", 0},
      {"sub/x.txt", 0},
      {"C:x.txt", 0},
      {"x.txt:stream", 0},
      {"x\r\ny.txt", 0},
      {"tab\t.txt", 0},
      {"*.*", 0},
      {"what?", 0},
      {"a\"b", 0},
      {"a<b", 0},
      {"a>b", 0},
      {"a|b", 0},
      {"del\x7f", 0},
  };
  for (const Case& c : cases) {
    char field[package::kNameFieldSize] = {};
    std::copy(c.name.begin(), c.name.end(), field);
    EXPECT_EQ(text::CheckFileName(field, sizeof field) == text::FILE_NAME_OK, c.safe != 0)
        << '"' << c.name << '"';
    EXPECT_EQ(package::IsStorableFileName(c.name), c.safe) << '"' << c.name << '"';
  }
}

TEST(PackageFormatTest, NameWithoutNulInItsFieldIsRefused) {
  char field[package::kNameFieldSize];
  std::memset(field, 'a', sizeof field);
  EXPECT_EQ(text::CheckFileName(field, sizeof field), text::FILE_NAME_UNTERMINATED);
  field[sizeof field - 1] = '\0';
  EXPECT_EQ(text::CheckFileName(field, sizeof field), text::FILE_NAME_OK);
  // The writer cannot store a name that leaves no room for its NUL, nor one with a NUL inside.
  EXPECT_EQ(package::IsStorableFileName(std::string(package::kNameFieldSize, 'a')), 0);
  EXPECT_EQ(package::IsStorableFileName(std::string("a\0b", 3)), 0);
}

}  // namespace
