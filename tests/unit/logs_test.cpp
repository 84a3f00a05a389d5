// The trace and error logs: which file each call touches, and the exact bytes it leaves there.
// On the host the Windows directory is a temporary folder and the clock and process id are
// pinned; under Wine the logs go to the prefix's real Windows directory.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <regex>
#include <string>

#include "diag/logs.h"
#include "platform/launcher_windows.h"
#include "tests/support/test_files.h"

#ifdef _WIN32
#include <windows.h>
#else
#include "base/bounded_text.h"
#include "tests/support/pretend_machine.h"
#endif

using testing_support::FileExists;
using testing_support::ReadFileText;
using testing_support::TempDir;
using testing_support::WriteFile;

namespace {

class LogsTest : public testing::Test {
 protected:
  void SetUp() override {
#ifdef _WIN32
    char directory[MAX_PATH];
    GetWindowsDirectoryA(directory, sizeof directory);
    windows_directory_ = directory;
#else
    pretend::ResetMachine();
    pretend::PretendMachine& machine = pretend::Machine();
    text::Copy(machine.windows_directory, sizeof machine.windows_directory, dir_.path().c_str());
    machine.clock_pinned = true;
    machine.pinned_clock = {1999, 3, 14, 9, 5, 7};
    machine.process_id = 1234;
    windows_directory_ = dir_.path();
#endif
    RemoveLogs();
  }

  void TearDown() override {
    RemoveLogs();
#ifndef _WIN32
    pretend::ResetMachine();
#endif
  }

  void RemoveLogs() {
    std::remove(TraceLog().c_str());
    std::remove(ErrorLog().c_str());
  }

  std::string InWindowsDirectory(const char* name) const {
    return windows_directory_ + testing_support::Separator() + name;
  }
  std::string TraceLog() const {
    return InWindowsDirectory("dizozud.log");
  }
  std::string ErrorLog() const {
    return InWindowsDirectory("tovalin.log");
  }

  TempDir dir_;
  std::string windows_directory_;
};

TEST_F(LogsTest, TraceWritesNothingWithoutAnExistingLog) {
  WriteTrace("Child process exit");
  EXPECT_FALSE(FileExists(TraceLog()));
}

#ifndef _WIN32
TEST_F(LogsTest, TraceLinesAppendOneAtATimeInTheExactFormat) {
  WriteFile(TraceLog(), std::string("earlier entry\r\n"));
  WriteTrace("Child process exit");
  WriteTrace("cmdline='/S'");
  EXPECT_EQ(ReadFileText(TraceLog()),
            "earlier entry\r\n"
            "(03/14/99 09:05:07)HEADER(1234) Debug:Child process exit\r\n"
            "(03/14/99 09:05:07)HEADER(1234) Debug:cmdline='/S'\r\n");
}

TEST_F(LogsTest, TraceDateShowsTwoDigitYears) {
  const struct Case {
    platform::LocalTime clock;
    uint32_t process_id;
    const char* expected;
  } cases[] = {
      {{2000, 1, 1, 0, 0, 0}, 7, "(01/01/00 00:00:00)HEADER(7) Debug:m\r\n"},
      {{2009, 12, 31, 23, 59, 59},
       4000000000u,
       "(12/31/09 23:59:59)HEADER(4000000000) Debug:m\r\n"},
      {{2026, 10, 5, 14, 3, 9}, 65536, "(10/05/26 14:03:09)HEADER(65536) Debug:m\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expected);
    WriteFile(TraceLog(), std::string());
    pretend::Machine().pinned_clock = c.clock;
    pretend::Machine().process_id = c.process_id;
    WriteTrace("m");
    EXPECT_EQ(ReadFileText(TraceLog()), c.expected);
  }
}

TEST_F(LogsTest, WindowsDirectoryThatDoesNotFitLeavesTheTraceUnwritten) {
  // The trace log's path has 260 bytes; the error log's 1,024.
  std::string deep = dir_.path() + "/" + std::string(120, 'd') + "/" + std::string(120, 'e');
  std::filesystem::create_directories(deep);
  pretend::PretendMachine& machine = pretend::Machine();
  text::Copy(machine.windows_directory, sizeof machine.windows_directory, deep.c_str());
  WriteFile(deep + "/dizozud.log", std::string());
  WriteTrace("lost");
  WriteErrorLog("kept");
  EXPECT_EQ(ReadFileText(deep + "/dizozud.log"), "");
  EXPECT_EQ(ReadFileText(deep + "/tovalin.log"), "kept\r\n");
}

TEST_F(LogsTest, UnknownWindowsDirectoryWritesNothing) {
  WriteFile(TraceLog(), std::string());
  pretend::Machine().windows_directory[0] = '\0';
  WriteTrace("lost");
  WriteErrorLog("lost");
  EXPECT_EQ(ReadFileText(TraceLog()), "");
  EXPECT_EQ(testing_support::ListFolder(dir_.path()).size(), 1u);
}
#else
TEST_F(LogsTest, TraceLinesAppendOneAtATimeWithLocalTimeAndProcessId) {
  WriteFile(TraceLog(), std::string("earlier entry\r\n"));
  SYSTEMTIME before;
  GetLocalTime(&before);
  WriteTrace("Child process exit");
  WriteTrace("cmdline='/S'");
  std::string written = ReadFileText(TraceLog());
  std::smatch parts;
  const std::regex lines(
      "earlier entry\r\n"
      "\\((\\d\\d)/(\\d\\d)/(\\d\\d) (\\d\\d):(\\d\\d):\\d\\d\\)HEADER\\((\\d+)\\) "
      "Debug:Child process exit\r\n"
      "\\(\\d\\d/\\d\\d/\\d\\d \\d\\d:\\d\\d:\\d\\d\\)HEADER\\(\\d+\\) Debug:cmdline='/S'\r\n");
  ASSERT_TRUE(std::regex_match(written, parts, lines)) << written;
  EXPECT_EQ(std::stoi(parts[1]), before.wMonth);
  EXPECT_EQ(std::stoi(parts[2]), before.wDay);
  EXPECT_EQ(std::stoi(parts[3]), before.wYear % 100);
  EXPECT_EQ(std::stoi(parts[4]), before.wHour);  // local, not UTC: TZ is EST5EDT
  EXPECT_EQ(std::stoul(parts[6]), GetCurrentProcessId());
}
#endif

TEST_F(LogsTest, TraceLineLongerThanItsBufferIsCutAndKeepsItsBreak) {
  // What goes in front of every message on this machine: same length on every line.
  WriteFile(TraceLog(), std::string());
  WriteTrace("");
  const std::string first_line = ReadFileText(TraceLog());
  const size_t prefix_length = first_line.find("Debug:") + 6;
  ASSERT_EQ(first_line.size(), prefix_length + 2);
  // The longest message that fits whole: the line and its "\n" fill the buffer to the NUL.
  const size_t fits = kTraceLineCapacity - 1 - prefix_length - 1;
  const struct Case {
    size_t message_length;
    size_t written_length;
  } cases[] = {{fits, fits}, {fits + 1, fits}, {fits + 40000, fits}, {300, 300}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message_length);
    WriteFile(TraceLog(), std::string());
    WriteTrace(std::string(c.message_length, 'p').c_str());
    const std::string written = ReadFileText(TraceLog());
    ASSERT_GT(written.size(), prefix_length);
    EXPECT_EQ(written.substr(prefix_length), std::string(c.written_length, 'p') + "\r\n");
  }
}

TEST_F(LogsTest, LineBreaksInsideATraceMessageReachTheDiskAsCrLf) {
  WriteFile(TraceLog(), std::string());
  WriteTrace("first\nsecond");
  std::string written = ReadFileText(TraceLog());
  const std::string tail = " Debug:first\r\nsecond\r\n";
  ASSERT_GE(written.size(), tail.size());
  EXPECT_EQ(written.substr(written.size() - tail.size()), tail);
  EXPECT_EQ(written.find('\n'), written.find("first") + 6);
}

TEST_F(LogsTest, ErrorLogIsCreatedAndKeepsOneBreakPerLine) {
  const struct Case {
    const char* message;
    const char* added;
  } cases[] = {
      {"Error copy file from 'a' to 'b'", "Error copy file from 'a' to 'b'\r\n"},
      {"ends in a break\n", "ends in a break\r\n"},
      {"", "\r\n"},
      {"one\ntwo\nthree", "one\r\ntwo\r\nthree\r\n"},
      {"\n", "\r\n"},
  };
  std::string expected;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    WriteErrorLog(c.message);
    expected += c.added;
    ASSERT_TRUE(FileExists(ErrorLog()));
    EXPECT_EQ(ReadFileText(ErrorLog()), expected);
  }
}

}  // namespace
