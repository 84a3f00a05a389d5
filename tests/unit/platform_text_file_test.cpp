// Text mode as the launcher's files see it on every platform: CR LF on disk, folded back to one
// newline on reading, Ctrl-Z as the end of the text.
#include <gtest/gtest.h>

#include <string>

#include "platform/text_file.h"
#include "tests/support/test_files.h"

using testing_support::ReadFileText;
using testing_support::TempDir;
using testing_support::WriteFile;

namespace {

TEST(TextFile, AppendWritesEachNewlineAsCrLf) {
  TempDir dir;
  std::string path = dir.Join("script.bat");
  ASSERT_TRUE(text::AppendText(path.c_str(), "del C:\\T\\a b.txt\n", true));
  ASSERT_TRUE(text::AppendText(path.c_str(), "one\ntwo\n", true));
  EXPECT_EQ(ReadFileText(path), "del C:\\T\\a b.txt\r\none\r\ntwo\r\n");
}

TEST(TextFile, AppendWithoutCreateLeavesMissingFileMissing) {
  TempDir dir;
  std::string path = dir.Join("trace.log");
  EXPECT_FALSE(text::AppendText(path.c_str(), "x\n", false));
  EXPECT_FALSE(testing_support::FileExists(path));
}

TEST(TextFile, AppendOfLongTextKeepsEveryByte) {
  TempDir dir;
  std::string path = dir.Join("long.txt");
  std::string text;
  std::string expected;
  for (int i = 0; i < 3000; ++i) {
    text += (i % 7 == 0) ? '\n' : static_cast<char>('a' + i % 26);
    expected +=
        (i % 7 == 0) ? std::string("\r\n") : std::string(1, static_cast<char>('a' + i % 26));
  }
  ASSERT_TRUE(text::AppendText(path.c_str(), text.c_str(), true));
  EXPECT_EQ(ReadFileText(path), expected);
}

struct ReadCase {
  const char* name;
  std::string on_disk;
  uint32_t capacity;
  std::string expected;
};

class ReadTextCases : public testing::TestWithParam<ReadCase> {};

TEST_P(ReadTextCases, FoldsAndStops) {
  const ReadCase& c = GetParam();
  TempDir dir;
  std::string path = dir.Join("init.ini");
  WriteFile(path, c.on_disk);
  std::string buffer(c.capacity + 8, '#');  // guard bytes after the capacity
  int32_t got = text::ReadText(path.c_str(), buffer.data(), c.capacity);
  EXPECT_EQ(got, static_cast<int32_t>(c.expected.size()));
  EXPECT_EQ(std::string(buffer.c_str()), c.expected);
  EXPECT_EQ(buffer.substr(c.capacity), std::string(8, '#')) << "wrote past the capacity";
}

std::string Repeat(char c, size_t n) {
  return std::string(n, c);
}

INSTANTIATE_TEST_SUITE_P(
    TextMode, ReadTextCases,
    testing::Values(ReadCase{"plain", "Hello", 512, "Hello"},
                    ReadCase{"crlf_folds", "a\r\nb\r\n", 512, "a\nb\n"},
                    ReadCase{"lone_cr_stays", "a\rb\r", 512, "a\rb\r"},
                    ReadCase{"ctrl_z_ends",
                             std::string("before\x1A"
                                         "after",
                                         12),
                             512, "before"},
                    ReadCase{"cr_then_ctrl_z", std::string("x\r\x1Ay", 4), 512, "x\r"},
                    ReadCase{"empty", "", 512, ""},
                    ReadCase{"cut_at_511", Repeat('x', 600), 512, Repeat('x', 511)},
                    // 511 bytes after folding: 300 CR LF pairs become 300 newlines.
                    ReadCase{"counted_after_folding",
                             [] {
                               std::string s;
                               for (int i = 0; i < 300; ++i)
                                 s += "\r\n";
                               return s + Repeat('y', 400);
                             }(),
                             512, Repeat('\n', 300) + Repeat('y', 211)},
                    // A CR LF pair split across the internal read chunks still folds.
                    ReadCase{"pair_across_chunks", Repeat('z', 511) + "\r\nQ", 1024,
                             Repeat('z', 511) + "\nQ"},
                    ReadCase{"capacity_one", "abc", 1, ""}),
    [](const testing::TestParamInfo<ReadCase>& info) { return std::string(info.param.name); });

TEST(TextFile, ReadOfMissingFileLeavesBufferAlone) {
  TempDir dir;
  char buffer[8] = "keep";
  EXPECT_EQ(text::ReadText(dir.Join("missing.ini").c_str(), buffer, sizeof buffer), -1);
  EXPECT_STREQ(buffer, "keep");
}

}  // namespace
