#include <gtest/gtest.h>

#include <string>

#include "launcher/run_state.h"
#include "platform/bounded_text.h"
#include "tests/support/test_files.h"

using testing_support::ReadFileText;
using testing_support::TempDir;
using testing_support::WriteFile;

namespace {

class RunStateTest : public testing::Test {
 protected:
  void SetUp() override { ResetRunState(); }
  void TearDown() override { ResetRunState(); }
  TempDir dir;
};

TEST_F(RunStateTest, StartsEmptyWithProgressShown) {
  EXPECT_TRUE(g_run_state.show_progress);
  EXPECT_STREQ(g_run_state.kept_command_line, "");
  EXPECT_STREQ(g_run_state.message_line_text, "");
  EXPECT_STREQ(g_run_state.cleanup_script_path, "");
}

TEST_F(RunStateTest, CleanupLinesEndInCrLfWithPathsUnquoted) {
  std::string script = dir.Join("~0000.bat");
  ASSERT_TRUE(text::Copy(g_run_state.cleanup_script_path, kPathCapacity, script.c_str()));
  WriteFile(script, std::string());  // the sequence creates it empty first
  AppendCleanupLine("del C:\\T\\AI1.tmp\\a b.txt");
  AppendCleanupLine("rd C:\\T\\AI1.tmp");
  EXPECT_EQ(ReadFileText(script), "del C:\\T\\AI1.tmp\\a b.txt\r\nrd C:\\T\\AI1.tmp\r\n");
}

TEST_F(RunStateTest, CleanupLineIsDroppedWhenScriptCannotBeOpened) {
  std::string script = dir.Join("no-such-folder") + testing_support::Separator() + "~0000.bat";
  ASSERT_TRUE(text::Copy(g_run_state.cleanup_script_path, kPathCapacity, script.c_str()));
  AppendCleanupLine("del x");  // must neither crash nor create anything
  EXPECT_FALSE(testing_support::FileExists(script));
}

TEST_F(RunStateTest, MessageLineTextFromInitIni) {
  std::string ini = dir.Join("init.ini");
  WriteFile(ini, std::string(600, 'w') + "\r\n");
  ReadMessageLineText(ini.c_str());
  EXPECT_EQ(std::string(g_run_state.message_line_text), std::string(511, 'w'));

  WriteFile(ini, std::string("Welcome\r\nto the\x1A" "hidden", 21));
  ReadMessageLineText(ini.c_str());
  EXPECT_STREQ(g_run_state.message_line_text, "Welcome\nto the");
}

TEST_F(RunStateTest, MissingInitIniLeavesMessageLineTextAlone) {
  ReadMessageLineText(dir.Join("init.ini").c_str());
  EXPECT_STREQ(g_run_state.message_line_text, "");
}

}  // namespace
