// The writer lays installers out exactly as they are built: members back to back in chain
// order, the member directory, the trailer.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "archive/archive_writer.h"
#include "tests/support/test_files.h"
#include "tests/unit/archive_test_util.h"

#ifndef _WIN32
#include "tests/support/pretend_machine.h"
#endif

using archive_testing::Bytes;
using archive_testing::Member;
using archive_testing::Text;
using testing_support::FileExists;
using testing_support::RandomBytes;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

namespace {

// Expected bytes are spelled out here independently of the writer's own encoders.
void Le32(Bytes* out, uint32_t value) {
  for (int i = 0; i < 4; ++i)
    out->push_back(static_cast<uint8_t>(value >> (8 * i)));
}

void PutText(Bytes* out, const std::string& text, size_t field_size) {
  Bytes field(field_size, 0);
  std::copy(text.begin(), text.end(), field.begin());
  out->insert(out->end(), field.begin(), field.end());
}

void Raw(Bytes* out, const Bytes& bytes) {
  out->insert(out->end(), bytes.begin(), bytes.end());
}

TEST(ArchiveWriter, LaysOutMembersDirectoryAndTrailer) {
  TempDir dir;
  const Bytes image = RandomBytes(100, 1);
  archive::NewMember second = Member("bb.bin", Text("BBBBB"), 0x2222, 0x3333);
  second.attributes = 0x21;
  std::string error;
  ASSERT_EQ(
      archive::WriteInstallerFile(dir.Join("out.exe"), image,
                                  {Member("a.txt", Text("AAA"), 0x4444, 0x5555), second}, &error),
      1)
      << error;

  Bytes expected = image;
  // Member a at 100: header, then 3 bytes; member bb.bin right behind it at 379.
  Le32(&expected, 379);
  Le32(&expected, 0x20);
  Le32(&expected, 0x5555);
  Le32(&expected, 0x4444);
  Le32(&expected, 3);
  PutText(&expected, "a.txt", 256);
  Raw(&expected, Text("AAA"));
  Le32(&expected, 0);
  Le32(&expected, 0x21);
  Le32(&expected, 0x3333);
  Le32(&expected, 0x2222);
  Le32(&expected, 5);
  PutText(&expected, "bb.bin", 256);
  Raw(&expected, Text("BBBBB"));
  // Zero bytes up to a length that is a multiple of 8, ready for a signature:
  // 660 + 5 + 24 + 67 + 20 + 16.
  Raw(&expected, Bytes(5, 0));
  // The members' CRC-32s (as zlib computes them), then their tail: magic, version 1, count.
  Le32(&expected, 0x66A031A7);  // "AAA"
  Le32(&expected, 0xFC8F3817);  // "BBBBB"
  PutText(&expected, "[TOVCRC]", 8);
  Le32(&expected, 1);
  Le32(&expected, 2);
  // Directory at 689: records of 28 + name length bytes; the last "next" is the tail's offset.
  Le32(&expected, 33);
  Le32(&expected, 0x20);
  Le32(&expected, 0x5555);
  Le32(&expected, 0x4444);
  Le32(&expected, 376);
  Le32(&expected, 3);
  PutText(&expected, "a.txt", 9);
  Le32(&expected, 67);
  Le32(&expected, 0x21);
  Le32(&expected, 0x3333);
  Le32(&expected, 0x2222);
  Le32(&expected, 655);
  Le32(&expected, 5);
  PutText(&expected, "bb.bin", 10);
  PutText(&expected, "[TOVDIR]", 10);
  PutText(&expected, "07.00", 6);
  Le32(&expected, 67);
  // Trailer: magic, first entry, last entry.
  PutText(&expected, "[KARST]", 8);
  Le32(&expected, 100);
  Le32(&expected, 379);

  EXPECT_EQ(ReadFile(dir.Join("out.exe")), expected);
}

TEST(ArchiveWriter, NoMembersGiveAnEmptyDirectoryAndFirstEntryZero) {
  TempDir dir;
  const Bytes image = RandomBytes(50, 2);
  ASSERT_EQ(archive::WriteInstallerFile(dir.Join("out.exe"), image, {}, nullptr), 1);
  Bytes expected = image;
  Raw(&expected, Bytes(2, 0));  // 50 + 2 + 16 + 20 + 16 is a multiple of 8
  PutText(&expected, "[TOVCRC]", 8);
  Le32(&expected, 1);
  Le32(&expected, 0);
  PutText(&expected, "[TOVDIR]", 10);
  PutText(&expected, "07.00", 6);
  Le32(&expected, 0);
  PutText(&expected, "[KARST]", 8);
  Le32(&expected, 0);
  Le32(&expected, 0);
  EXPECT_EQ(ReadFile(dir.Join("out.exe")), expected);
}

TEST(ArchiveWriter, StreamsMembersAndImageFromFiles) {
  TempDir dir;
  const Bytes image = RandomBytes(70000, 3);
  const Bytes big = RandomBytes(200001, 4);
  WriteFile(dir.Join("image.exe"), image);
  WriteFile(dir.Join("big.bin"), big);
  archive::NewMember streamed = Member("big.bin", {});
  streamed.source_path = dir.Join("big.bin");
  std::vector<archive::NewMember> from_files = {Member("s.txt", Text("s")), streamed};
  std::vector<archive::NewMember> in_memory = {Member("s.txt", Text("s")), Member("big.bin", big)};
  std::string error;
  uint64_t streamed_progress = 0;
  uint64_t memory_progress = 0;
  ASSERT_EQ(archive::WriteInstallerFileFromImage(
                dir.Join("a.exe"), dir.Join("image.exe"), from_files, &error,
                [&streamed_progress](uint64_t bytes) { streamed_progress += bytes; }),
            1)
      << error;
  ASSERT_EQ(
      archive::WriteInstallerFile(dir.Join("b.exe"), image, in_memory, &error,
                                  [&memory_progress](uint64_t bytes) { memory_progress += bytes; }),
      1)
      << error;
  EXPECT_EQ(ReadFile(dir.Join("a.exe")), ReadFile(dir.Join("b.exe")));
  // Progress counts member data, once each byte, however the member is given.
  EXPECT_EQ(streamed_progress, big.size() + 1);
  EXPECT_EQ(memory_progress, big.size() + 1);
}

TEST(ArchiveWriter, RefusesNamesTheReaderCouldNeverFind) {
  const std::vector<std::pair<std::string, int>> cases = {
      {"init.ini", 1},
      {"[x].ini", 1},
      {"noext", 1},
      {std::string(255, 'n'), 1},
      {"x.abcdef", 1},
      {"", 0},
      {"a\\b.txt", 0},
      {"a/b.txt", 0},
      {"c:x.txt", 0},
      {"x:", 0},
      {std::string(256, 'n'), 0},
      {"x.abcdefg", 0},
      {std::string("a\0b", 3), 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(archive::IsStorableMemberName(c.first), c.second) << c.first;
  }
}

TEST(ArchiveWriter, FailureLeavesNoInstallerBehind) {
  TempDir dir;
  archive::NewMember missing = Member("gone.bin", {});
  missing.source_path = dir.Join("gone.bin");
  const std::vector<std::vector<archive::NewMember>> cases = {
      {Member("ok.txt", Text("x")), Member("bad/name.txt", Text("x"))},
      {Member("ok.txt", Text("x")), missing},
  };
  for (const auto& members : cases) {
    std::string error;
    EXPECT_EQ(archive::WriteInstallerFile(dir.Join("out.exe"), RandomBytes(10, 5), members, &error),
              0);
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(FileExists(dir.Join("out.exe")));
  }
  std::string error;
  EXPECT_EQ(archive::WriteInstallerFileFromImage(dir.Join("out.exe"), dir.Join("no-image.exe"), {},
                                                 &error),
            0);
  EXPECT_FALSE(FileExists(dir.Join("out.exe")));
  // Members right at the start of the file would have a first entry offset of 0: "no members".
  EXPECT_EQ(archive::WriteInstallerFile(dir.Join("out.exe"), {}, {Member("a.txt", {})}, nullptr),
            0);
  EXPECT_FALSE(FileExists(dir.Join("out.exe")));
  EXPECT_EQ(archive::WriteInstallerFile(dir.Join("out.exe"), {}, {}, nullptr), 1);
}

#ifndef _WIN32
TEST(ArchiveWriter, DoubleByteTrailBytesAreNoSeparators) {
  const std::string name = "\x95\x5C.txt";
  pretend::ResetMachine();
  EXPECT_EQ(archive::IsStorableMemberName(name), 0);
  pretend::SetLeadByteRange(0x81, 0x9F);
  EXPECT_EQ(archive::IsStorableMemberName(name), 1);
  EXPECT_EQ(archive::IsStorableMemberName("\x95\x5C\\x.txt"), 0);
  pretend::ResetMachine();
}
#endif

}  // namespace
