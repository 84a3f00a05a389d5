#include <gtest/gtest.h>

#include <string>

#include "base/bounded_text.h"
#include "launcher/run_state.h"
#include "tests/support/test_files.h"

using testing_support::ReadFileText;
using testing_support::TempDir;
using testing_support::WriteFile;

namespace {

class RunStateTest : public testing::Test {
 protected:
  void SetUp() override { ResetRunState(&state); }
  RunState state;
  TempDir dir;
};

TEST_F(RunStateTest, StartsEmptyWithProgressShown) {
  EXPECT_TRUE(state.show_progress);
  EXPECT_STREQ(state.kept_command_line, "");
  EXPECT_STREQ(state.message_line_text, "");
  EXPECT_STREQ(state.cleanup_script.path, "");
}

TEST_F(RunStateTest, CleanupLinesEndInCrLfWithPathsUnquoted) {
  std::string script = dir.Join("~0000.bat");
  ASSERT_TRUE(text::Copy(state.cleanup_script.path, text::kPathCapacity, script.c_str()));
  WriteFile(script, std::string());  // the sequence creates it empty first
  AppendCleanupLine(&state.cleanup_script, "del C:\\T\\AI1.tmp\\a b.txt");
  AppendCleanupLine(&state.cleanup_script, "rd C:\\T\\AI1.tmp");
  EXPECT_EQ(ReadFileText(script), "del C:\\T\\AI1.tmp\\a b.txt\r\nrd C:\\T\\AI1.tmp\r\n");
}

TEST_F(RunStateTest, CleanupLineIsDroppedWhenScriptCannotBeOpened) {
  std::string script = dir.Join("no-such-folder") + testing_support::Separator() + "~0000.bat";
  ASSERT_TRUE(text::Copy(state.cleanup_script.path, text::kPathCapacity, script.c_str()));
  AppendCleanupLine(&state.cleanup_script, "del x");  // must neither crash nor create anything
  EXPECT_FALSE(testing_support::FileExists(script));
}

TEST_F(RunStateTest, MessageLineTextFromInitIni) {
  std::string ini = dir.Join("init.ini");
  WriteFile(ini, std::string(600, 'w') + "\r\n");
  ReadMessageLineText(&state, ini.c_str());
  EXPECT_EQ(std::string(state.message_line_text), std::string(511, 'w'));

  WriteFile(ini, std::string("Welcome\r\nto the\x1A"
                             "hidden",
                             21));
  ReadMessageLineText(&state, ini.c_str());
  EXPECT_STREQ(state.message_line_text, "Welcome\nto the");
}

TEST_F(RunStateTest, MissingInitIniLeavesMessageLineTextAlone) {
  ReadMessageLineText(&state, dir.Join("init.ini").c_str());
  EXPECT_STREQ(state.message_line_text, "");
}

}  // namespace
