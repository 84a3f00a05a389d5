// The archive format's encodings, the lookup key and name comparison, and the chain walk over
// well-formed and hand-made broken chains.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "archive/archive_format.h"
#include "archive/member_chain.h"
#include "archive/member_name.h"
#include "tests/support/test_files.h"
#include "tests/unit/archive_test_util.h"

#ifndef _WIN32
#include "tests/support/pretend_machine.h"
#endif

using archive_testing::Bytes;
using archive_testing::HeaderBytes;
using archive_testing::NameField;
using archive_testing::PutAt;
using archive_testing::Text;

namespace {

TEST(ArchiveFormat, EncodesLittleEndianFieldsAtTheirOffsets) {
  archive::EntryHeader header = {};
  header.next_entry_offset = 0x04030201;
  header.attributes = 0x20;
  header.dos_time = 0x6C3E;
  header.dos_date = 0x5A21;
  header.size = 0xA0B0C0D0;
  std::memcpy(header.name, "init.ini", 9);
  uint8_t bytes[archive::kEntryHeaderSize];
  archive::EncodeEntryHeader(header, bytes);
  const uint8_t expected_start[] = {0x01, 0x02, 0x03, 0x04, 0x20, 0, 0,    0,    0x3E, 0x6C,
                                    0,    0,    0x21, 0x5A, 0,    0, 0xD0, 0xC0, 0xB0, 0xA0};
  EXPECT_EQ(Bytes(bytes, bytes + 20), Bytes(expected_start, expected_start + 20));
  EXPECT_EQ(std::string(reinterpret_cast<char*>(bytes + 20)), "init.ini");

  archive::EntryHeader back;
  archive::DecodeEntryHeader(bytes, &back);
  EXPECT_EQ(back.next_entry_offset, header.next_entry_offset);
  EXPECT_EQ(back.size, header.size);
  EXPECT_EQ(back.dos_date, header.dos_date);
  EXPECT_EQ(back.dos_time, header.dos_time);
  EXPECT_EQ(0, std::memcmp(back.name, header.name, archive::kNameFieldSize));
}

TEST(ArchiveFormat, TrailerNeedsAllEightMagicBytes) {
  Bytes good = archive_testing::TrailerBytes(0x11223344, 0x55667788);
  archive::ArchiveTrailer trailer = {};
  ASSERT_EQ(archive::DecodeTrailer(good.data(), &trailer), 1);
  EXPECT_EQ(trailer.first_entry_offset, 0x11223344u);
  EXPECT_EQ(trailer.last_entry_offset, 0x55667788u);

  for (size_t i = 0; i < archive::kMagicSize; ++i) {
    Bytes bad = good;
    bad[i] = i == 7 ? 'X' : static_cast<uint8_t>(bad[i] ^ 0x20);
    EXPECT_EQ(archive::DecodeTrailer(bad.data(), &trailer), 0) << "byte " << i;
  }
}

TEST(ArchiveFormat, StoredNameLengthNeedsTheNul) {
  archive::EntryHeader header = {};
  std::memcpy(header.name, "a.txt\0junk", 10);
  EXPECT_EQ(archive::StoredNameLength(header), 5);
  std::memset(header.name, 'a', sizeof header.name);
  EXPECT_EQ(archive::StoredNameLength(header), -1);
}

// ---- Lookup key ---------------------------------------------------------------------------------

struct KeyCase {
  std::string path;
  int ok;
  std::string key;
};

TEST(LookupKey, KeepsFileNameAndExtensionWithinTheLimits) {
  const std::string n255(255, 'n');
  const std::string n250(250, 'n');
  const std::vector<KeyCase> cases = {
      {"init.ini", 1, "init.ini"},
      {"C:\\somewhere\\INIT.INI", 1, "INIT.INI"},
      {"C:INIT.INI", 1, "INIT.INI"},
      {"dir/sub\\x.y", 1, "x.y"},
      {"\\\\server\\share\\a.shr", 1, "a.shr"},
      {"dir.d/noext", 1, "noext"},
      {"dir\\", 1, ""},
      {"a.b.c", 1, "a.b.c"},
      {n255, 1, n255},
      {n255 + "n", 0, ""},
      {"x." + std::string(6, 'e'), 1, "x." + std::string(6, 'e')},
      {"x." + std::string(7, 'e'), 0, ""},
      {n250 + ".abcd", 1, n250 + ".abcd"},
      {n250 + ".abcdef", 0, ""},
      {"C:\\" + std::string(400, 'd') + "\\ok.txt", 1, "ok.txt"},
  };
  for (const KeyCase& c : cases) {
    char key[archive::kKeyCapacity];
    std::memset(key, 'Z', sizeof key);
    EXPECT_EQ(archive::MakeLookupKey(c.path.c_str(), key, sizeof key), c.ok) << c.path;
    EXPECT_EQ(std::string(key), c.key) << c.path;
  }
}

TEST(LookupKey, RefusesWhatDoesNotFitTheCallersBuffer) {
  char key[8];
  EXPECT_EQ(archive::MakeLookupKey("dir\\abcdefgh", key, sizeof key), 0);
  EXPECT_STREQ(key, "");
  EXPECT_EQ(archive::MakeLookupKey("dir\\abcdefg", key, sizeof key), 1);
  EXPECT_STREQ(key, "abcdefg");
}

#ifndef _WIN32
// The host stands in for a double-byte code page such as 932, whose lead bytes are 0x81-0x9F
// and 0xE0-0xFC and whose trail bytes include 0x5C ("\").
class LookupKeyDoubleByte : public ::testing::Test {
 protected:
  void SetUp() override {
    pretend::ResetMachine();
    pretend::SetLeadByteRange(0x81, 0x9F);
    pretend::SetLeadByteRange(0xE0, 0xFC);
  }
  void TearDown() override { pretend::ResetMachine(); }
};

TEST_F(LookupKeyDoubleByte, TrailBytesAreNeitherSeparatorsNorDots) {
  const std::vector<KeyCase> cases = {
      {"C:\\dir\\\x95\x5C.txt", 1, "\x95\x5C.txt"},
      {"C:\\\x95\x5C\\\x95\x5C\x95\x5C.txt", 1, "\x95\x5C\x95\x5C.txt"},
      // The 0x2E after a lead byte is no dot, so there is no 9-character extension here.
      {"ab\x81.cdefghij", 1, "ab\x81.cdefghij"},
      // A lead byte at the very end has no trail byte to take along.
      {"dir\\a\x95", 1, "a\x95"},
  };
  for (const KeyCase& c : cases) {
    char key[archive::kKeyCapacity];
    EXPECT_EQ(archive::MakeLookupKey(c.path.c_str(), key, sizeof key), c.ok) << c.path;
    EXPECT_EQ(std::string(key), c.key) << c.path;
  }
}

TEST(LookupKeySingleByte, TheSameBytesSplitWithoutLeadBytes) {
  pretend::ResetMachine();
  char key[archive::kKeyCapacity];
  ASSERT_EQ(archive::MakeLookupKey("C:\\dir\\\x95\x5C.txt", key, sizeof key), 1);
  EXPECT_STREQ(key, ".txt");
  EXPECT_EQ(archive::MakeLookupKey("ab\x81.cdefghij", key, sizeof key), 0);
}
#endif

// ---- Name comparison ----------------------------------------------------------------------------

struct MatchCase {
  Bytes field;
  std::string key;
  int matches;
};

TEST(NameComparison, FoldsAsciiLettersOnlyAndStopsAtTheNul) {
  Bytes unterminated(archive::kNameFieldSize, 'a');
  Bytes junk_after_nul = Text(std::string("a.txt\0garbage", 13));
  const std::vector<MatchCase> cases = {
      {NameField("init.ini"), "INIT.INI", 1},
      {NameField("Init.Ini"), "iNIT.iNI", 1},
      {NameField("init.ini"), "init.in", 0},
      {NameField("init.in"), "init.ini", 0},
      // Bytes that differ by 0x20 but are no letters must not be folded.
      {NameField("[x].ini"), "{x}.ini", 0},
      {NameField("@a.txt"), "`a.txt", 0},
      {NameField("a_b.txt"), "a-b.txt", 0},
      {NameField("\xC4.txt"), "\xE4.txt", 0},
      {NameField("\xC4.txt"), "\xC4.TXT", 1},
      {junk_after_nul, "a.txt", 1},
      {junk_after_nul, "a.txtgarbage", 0},
      // 256 letters and no NUL: not even the key of the first 255 of them matches.
      {unterminated, std::string(255, 'a'), 0},
      {unterminated, std::string(255, 'A'), 0},
  };
  for (const MatchCase& c : cases) {
    uint8_t field[archive::kNameFieldSize] = {};
    std::memcpy(field, c.field.data(), std::min(c.field.size(), sizeof field));
    EXPECT_EQ(archive::NameFieldMatchesKey(field, c.key.c_str()), c.matches) << c.key;
  }
}

TEST(NameComparison, InstallScriptTagAnywhereInATerminatedName) {
  const std::vector<std::pair<std::string, int>> cases = {
      {"setup.aic", 1}, {"SETUP.AIC", 1}, {"x.Aic.old", 1}, {".aic", 1},
      {"aic.txt", 0},   {"x.ai", 0},      {"x.a1c", 0},     {"x_aic", 0},
  };
  for (const auto& c : cases) {
    Bytes field = NameField(c.first);
    field.resize(archive::kNameFieldSize);
    EXPECT_EQ(archive::NameFieldMarksInstallScript(field.data()), c.second) << c.first;
  }
  Bytes unterminated(archive::kNameFieldSize, 'x');
  std::memcpy(unterminated.data() + 10, ".AIC", 4);
  EXPECT_EQ(archive::NameFieldMarksInstallScript(unterminated.data()), 0);
}

// ---- Chain walk ---------------------------------------------------------------------------------

struct WalkResult {
  std::vector<uint32_t> offsets;
  std::vector<int> data_within_file;
  int status;
};

WalkResult WalkFile(const Bytes& file_bytes, uint32_t first) {
  testing_support::TempDir dir;
  std::string path = dir.Join("chain.bin");
  testing_support::WriteFile(path, file_bytes);
  platform::FileHandle file = platform::OpenForReading(path.c_str());
  EXPECT_NE(file, platform::kNoFile);
  archive::ChainWalk walk;
  archive::ChainEntry entry;
  WalkResult result;
  archive::BeginChainWalk(&walk, file, first, static_cast<uint32_t>(file_bytes.size()));
  while (archive::NextChainEntry(&walk, &entry)) {
    result.offsets.push_back(entry.header_offset);
    result.data_within_file.push_back(entry.data_within_file);
    // A walk that never ends would hang the test; more than this is a fault already.
    if (result.offsets.size() > 100) break;
  }
  result.status = walk.status;
  platform::CloseFile(file);
  return result;
}

TEST(ChainWalk, EndsEveryKindOfChain) {
  const uint32_t h = archive::kEntryHeaderSize;
  struct Case {
    const char* what;
    Bytes file;
    uint32_t first;
    std::vector<uint32_t> offsets;
    int status;
  };
  auto file_of = [](const std::vector<std::pair<uint32_t, Bytes>>& pieces, size_t size) {
    Bytes file(size, 0xEE);
    for (const auto& piece : pieces)
      PutAt(&file, piece.first, piece.second);
    return file;
  };
  const std::vector<Case> cases = {
      {"two members back to back",
       file_of({{10, HeaderBytes(10 + h + 3, 3, NameField("a"))},
                {10 + h + 3, HeaderBytes(0, 0, NameField("b"))}},
               10 + 2 * h + 3 + 16),
       10,
       {10, 10 + h + 3},
       archive::CHAIN_END},
      {"out of file order with gaps",
       file_of({{900, HeaderBytes(50, 0, NameField("a"))}, {50, HeaderBytes(0, 1, NameField("b"))}},
               1400),
       900,
       {900, 50},
       archive::CHAIN_END},
      {"no members", Bytes(100, 0), 0, {}, archive::CHAIN_END},
      // An offset of 0 would mean "no members", so these chains start a little into the file.
      {"header points at itself",
       file_of(
           {{4, HeaderBytes(300, 0, NameField("a"))}, {300, HeaderBytes(300, 0, NameField("b"))}},
           700),
       4,
       {4, 300},
       archive::CHAIN_LOOPED},
      {"chain returns to its second header",
       file_of({{4, HeaderBytes(300, 0, NameField("a"))},
                {300, HeaderBytes(600, 0, NameField("b"))},
                {600, HeaderBytes(900, 0, NameField("c"))},
                {900, HeaderBytes(300, 0, NameField("d"))}},
               3000),
       4,
       {4, 300, 600, 900, 300, 600},
       archive::CHAIN_LOOPED},
      {"overlapping headers longer than the file holds",
       file_of({{4, HeaderBytes(12, 0, NameField(""))}, {12, HeaderBytes(20, 0, NameField(""))}},
               600),
       4,
       {4, 12},
       archive::CHAIN_TOO_LONG},
      {"truncated header",
       file_of({{4, HeaderBytes(500, 0, NameField("a"))}}, 600),
       4,
       {4},
       archive::CHAIN_HEADER_PAST_END},
      {"first entry beyond the end", Bytes(600, 0), 5000, {}, archive::CHAIN_HEADER_PAST_END},
      {"offset near 4 GiB", Bytes(600, 0), 0xFFFFFFF0u, {}, archive::CHAIN_HEADER_PAST_END},
  };
  for (const Case& c : cases) {
    WalkResult result = WalkFile(c.file, c.first);
    EXPECT_EQ(result.offsets, c.offsets) << c.what;
    EXPECT_EQ(result.status, c.status) << c.what;
  }
}

TEST(ChainWalk, ReportsDataRunningPastTheEnd) {
  Bytes file(4, 0);
  PutAt(&file, 4, HeaderBytes(0, 100, NameField("long")));
  file.resize(4 + archive::kEntryHeaderSize + 99);
  WalkResult result = WalkFile(file, 4);
  EXPECT_EQ(result.data_within_file, std::vector<int>{0});
  file.resize(4 + archive::kEntryHeaderSize + 100);
  result = WalkFile(file, 4);
  EXPECT_EQ(result.data_within_file, std::vector<int>{1});
}

TEST(ChainWalk, UnreadableFileEndsAtOnce) {
  archive::ChainWalk walk;
  archive::ChainEntry entry;
  archive::BeginChainWalk(&walk, platform::kNoFile, 100, 100000);
  EXPECT_EQ(archive::NextChainEntry(&walk, &entry), 0);
  EXPECT_EQ(walk.status, archive::CHAIN_READ_FAILED);
}

}  // namespace
