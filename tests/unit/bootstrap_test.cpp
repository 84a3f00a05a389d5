// The bootstrap sequence on the host, through the posix side of the platform: drive C: is a
// temporary folder, the engine is a recording stand-in, and the machine record supplies the
// Windows version, the locale and the failures that Wine cannot produce.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "archive/archive_reader.h"
#include "archive/archive_writer.h"
#include "base/bounded_text.h"
#include "launcher/bootstrap.h"
#include "launcher/entry.h"
#include "launcher/run_state.h"
#include "package/package_writer.h"
#include "package/unpacker.h"
#include "platform/launcher_windows.h"
#include "platform/retry.h"
#include "tests/support/installer_parts.h"
#include "tests/support/pretend_machine.h"
#include "tests/support/stand_in_dialog.h"
#include "tests/support/standard_machine.h"
#include "tests/support/test_files.h"
#include "ui/progress.h"

using testing_support::Bytes;
using testing_support::ReadFileText;
using testing_support::TempDir;

namespace {

using platform::kStillActive;
using testing_support::kMadeDate;
using testing_support::kMadeTime;
using testing_support::Text;

// The engine the complete installer carries.
Bytes Engine() {
  return testing_support::RandomBytes(20000, 7);
}

class BootstrapTest : public testing::Test {
 protected:
  void SetUp() override {
    installer = testing_support::CompleteInstaller(Engine());
    engine = pretend::EngineSeen{};
    ResetRunState(&run);
    drive_c = root.Join("c");
    ASSERT_TRUE(pretend::SetUpStandardMachine(drive_c, &engine));
  }

  void TearDown() override { pretend::ResetMachine(); }

  static std::string HostPath(const std::string& windows_path) {
    char host[4096];
    EXPECT_TRUE(pretend::ToHostPath(windows_path.c_str(), host, sizeof host));
    return host;
  }

  static Bytes Image() { return Text("MZ stand-in launcher image"); }

  void WriteSetup(const std::string& module_name = "setup.exe") {
    installer.Write(drive_c + "/Setup/" + module_name, Image());
  }

  // Runs the sequence; returns whether it got to the end of the process.
  int Run(uint32_t* exit_code) { return RunBootstrapSteps(&run, nullptr, exit_code); }

  std::string WorkDirectoryHost() {
    std::vector<std::string> names = testing_support::ListFolder(drive_c + "/TEMP");
    return names.empty() ? std::string() : drive_c + "/TEMP/" + names.front();
  }

  std::string CleanupScript() { return ReadFileText(WorkDirectoryHost() + "/~0000.bat"); }

  std::string ErrorLog() {
    std::string path = drive_c + "/WINDOWS/tovalin.log";
    return testing_support::FileExists(path) ? ReadFileText(path) : std::string();
  }

  // The run's state, as the entry point would keep it.
  RunState run;
  TempDir root;
  std::string drive_c;
  testing_support::InstallerRecipe installer;  // the complete one unless a test says otherwise
  pretend::EngineSeen engine;
};

TEST_F(BootstrapTest, CompleteThirtyTwoBitRun) {
  WriteSetup();
  engine.exit_code = 3;
  uint32_t exit_code = 0;
  ASSERT_EQ(Run(&exit_code), 1) << ErrorLog();
  EXPECT_EQ(exit_code, 3u);

  const std::string w = "C:\\TEMP\\AI1.tmp\\";
  EXPECT_EQ(engine.starts, 1);
  EXPECT_EQ(engine.command_line, w + "~0000.exe C:\\Setup\\setup.cfg ");
  EXPECT_EQ(engine.current_directory, "C:\\Setup");
  EXPECT_EQ(pretend::Machine().current_drive, 3);
  EXPECT_EQ(engine.work_directory,
            (std::vector<std::string>{"dosshell.pif", "init.ini", "readme.txt", "uninst.exe",
                                      "~0000.bat", "~0000.dll", "~0000.exe"}));
  EXPECT_EQ(CleanupScript(), "del " + w + "init.ini\r\n" + "del " + w + "readme.txt\r\n" + "del " +
                                 w + "~0000.exe\r\n" + "del " + w + "uninst.exe\r\n" + "del " + w +
                                 "~0000.dll\r\n" + "del " + w + "dosshell.pif\r\n" + "del " + w +
                                 "~0000.bat\r\n" + "rd C:\\TEMP\\AI1.tmp\r\n");

  uint32_t date = 0;
  uint32_t time = 0;
  ASSERT_NE(platform::GetLastWriteDosDateTime((w + "~0000.exe").c_str(), &date, &time), 0);
  EXPECT_EQ(date, kMadeDate);
  EXPECT_EQ(time, kMadeTime);
  EXPECT_EQ(testing_support::ReadFile(HostPath(w + "~0000.exe")), Engine());

  EXPECT_STREQ(run.message_line_text, "Welcome to the demo\n");
  EXPECT_EQ(g_host_dialog.created, 1);
  EXPECT_EQ(g_host_dialog.destroyed, 1);
  EXPECT_EQ(run.progress.current_percentage, 100);
  EXPECT_EQ(ErrorLog(), "");
}

// A package far larger than the bar: its steps fill the bar early and go on for the rest of the
// unpack. The bar is painted once per percentage it shows, never per step, while every step
// takes the waiting messages.
TEST_F(BootstrapTest, AWholeUnpackPaintsOncePerPercentAndAnswersAtEveryStep) {
  const Bytes large = installer.Package({{"data.bin", testing_support::RandomBytes(600000, 3)}});
  installer.Replace("temp.shr", large);
  WriteSetup();
  uint32_t exit_code = 0;
  ASSERT_EQ(Run(&exit_code), 1) << ErrorLog();
  const int32_t blocks = static_cast<int32_t>(large.size() / 2048);
  ASSERT_GT(blocks, 200);                 // well past a full bar
  EXPECT_EQ(g_host_dialog.repaints, 91);  // 10 %, then each of 11 % to 100 % once
  EXPECT_GE(g_host_dialog.message_checks, blocks);
  EXPECT_EQ(run.progress.current_percentage, 100);
}

TEST_F(BootstrapTest, WorkDirectoryIsPrivateToTheUserOrWhenElevatedToAdministrators) {
  // An elevated run keeps the same user's unelevated programs out of its work directory too.
  for (bool elevated : {false, true}) {
    SCOPED_TRACE(elevated ? "elevated" : "not elevated");
    SetUp();
    WriteSetup();
    pretend::Machine().elevated = elevated;
    uint32_t exit_code = 0;
    ASSERT_EQ(Run(&exit_code), 1) << ErrorLog();
    EXPECT_STREQ(pretend::Machine().private_directory, "C:\\TEMP\\AI1.tmp");
    EXPECT_EQ(pretend::Machine().private_directory_for_user, !elevated);
  }
}

TEST_F(BootstrapTest, SixteenBitRouteHasItsOwnOrder) {
  installer = testing_support::InstallerRecipe();
  pretend::Machine().system_version = 0x0203;  // "3.2"
  installer.Add("setup.cfg", Text("script"));
  installer.Add("spawn.exe", Text("spawn"));
  installer.Add("inst16.shr", installer.Package({{"~0000.exe", Text("engine16")}}));
  installer.Add("unst16.shr", installer.Package({{"uninst16.exe", Text("u16")}}));
  installer.Add("inst32.shr", installer.Package({{"~0000.exe", Text("engine32")}}));
  installer.Add("dosshell.pif", Text("pif"));
  WriteSetup();
  uint32_t exit_code = 0;
  ASSERT_EQ(Run(&exit_code), 1) << ErrorLog();
  const std::string w = "C:\\TEMP\\AI1.tmp\\";
  EXPECT_EQ(CleanupScript(), "del " + w + "init.ini\r\n" + "del " + w + "spawn.exe\r\n" + "del " +
                                 w + "uninst16.exe\r\n" + "del " + w + "~0000.exe\r\n" + "del " +
                                 w + "~0000.dll\r\n" + "del " + w + "dosshell.pif\r\n" + "del " +
                                 w + "~0000.bat\r\n" + "rd C:\\TEMP\\AI1.tmp\r\n");
  EXPECT_EQ(ReadFileText(HostPath(w + "~0000.exe")), "engine16");
}

TEST_F(BootstrapTest, InstSixteenStandsInForMissingInstThirtyTwo) {
  installer = testing_support::InstallerRecipe();
  installer.Add("setup.cfg", Text("script"));
  installer.Add("inst16.shr", installer.Package({{"~0000.exe", Text("engine16")}}));
  installer.Add("unst16.shr", installer.Package({{"uninst16.exe", Text("u16")}}));
  installer.Add("unst32.shr", installer.Package({{"uninst32.exe", Text("u32")}}));
  installer.Add("dosshell.pif", Text("pif"));
  WriteSetup();
  uint32_t exit_code = 0;
  ASSERT_EQ(Run(&exit_code), 1) << ErrorLog();
  const std::string w = "C:\\TEMP\\AI1.tmp\\";
  EXPECT_EQ(ReadFileText(HostPath(w + "~0000.exe")), "engine16");
  EXPECT_TRUE(testing_support::FileExists(HostPath(w + "uninst16.exe")));
  EXPECT_FALSE(testing_support::FileExists(HostPath(w + "uninst32.exe")));
}

TEST(BootstrapRoute, VersionTextsCompareAsByteStrings) {
  struct Case {
    const char* version;
    bool thirty_two_bit;
  };
  const Case cases[] = {{"4.0", true},  {"5.1", true},   {"6.1", true},  {"3.10", true},
                        {"3.2", false}, {"3.20", false}, {"3.3", false}, {"3.30", true},
                        {"10.0", true}, {"3.5", true},   {"2.0", true}};
  for (const Case& c : cases) {
    EXPECT_EQ(TakesThirtyTwoBitRoute(c.version), c.thirty_two_bit) << c.version;
  }
}

TEST(BootstrapArguments, PassedThroughArguments) {
  struct Case {
    const char* command_line;
    const char* expected;
  };
  const char* folder = "C:\\Setup\\";
  const Case cases[] = {
      {"", ""},
      {"/S", "/S"},
      {"-x", "-x"},
      {"|pipe", "|pipe"},
      {"data\\more.txt", "C:\\Setup\\data\\more.txt"},
      {"D:\\x", "D:\\x"},
      {"\\\\srv\\share", "\\\\srv\\share"},
      {"\\x", "C:\\Setup\\\\x"},
      {"  \t/S", "  \t/S"},  // blanks are skipped to decide, but the whole line is passed
      {"/An /S", "/An /S"},
  };
  for (const Case& c : cases) {
    char out[256];
    ASSERT_TRUE(BuildPassedThroughArguments(c.command_line, folder, out, sizeof out));
    EXPECT_STREQ(out, c.expected) << c.command_line;
  }
  char small[8];
  EXPECT_FALSE(BuildPassedThroughArguments("data.txt", folder, small, sizeof small));
}

TEST_F(BootstrapTest, CommandLineArgumentsReachTheEngine) {
  WriteSetup();
  text::Copy(run.kept_command_line, kCommandLineCapacity, "data\\more.txt");
  uint32_t exit_code = 0;
  ASSERT_EQ(Run(&exit_code), 1);
  EXPECT_EQ(engine.command_line,
            "C:\\TEMP\\AI1.tmp\\~0000.exe C:\\Setup\\setup.cfg C:\\Setup\\data\\more.txt");
}

// A failed start keeps its exit code (callers may rely on 259) but is no longer silent: the
// error line names the engine and the system's reason, and a box shows it unless the run is quiet.
TEST_F(BootstrapTest, EngineThatCannotStartEndsWith259AndSaysWhy) {
  for (bool quiet : {false, true}) {
    SCOPED_TRACE(quiet ? "quiet" : "normal");
    SetUp();
    WriteSetup();
    run.show_progress = !quiet;
    pretend::Machine().run_process = nullptr;
    testing_support::WriteFile(drive_c + "/WINDOWS/dizozud.log", std::string());
    uint32_t exit_code = 0;
    ASSERT_EQ(Run(&exit_code), 1);
    EXPECT_EQ(exit_code, kStillActive);
    std::string trace = ReadFileText(drive_c + "/WINDOWS/dizozud.log");
    EXPECT_NE(trace.find("Debug:CreateProcess() failed\r\n"), std::string::npos) << trace;
    EXPECT_EQ(trace.find("Child process exit"), std::string::npos);
    const std::string entry =
        "The installer engine 'C:\\TEMP\\AI1.tmp\\~0000.exe' could not be started: error 8: Exec "
        "format error";
    EXPECT_EQ(ErrorLog(), entry + "\r\n");
    EXPECT_EQ(pretend::Machine().warning_boxes_shown, quiet ? 0 : 1);
    if (!quiet) {
      EXPECT_EQ(pretend::Machine().warning_box_text, entry);
    }
  }
}

// Another program (a scanner) holds a file the run has just written, for held_for operations
// after the first held_after: the run waits it out within its bound, tracing each retry, and
// beyond it ends the documented way, never with an engine started from a partial unpack.
TEST_F(BootstrapTest, HeldFilesAreWaitedOutWithinTheBound) {
  const int most = platform::kMostRetries;
  const uint32_t all_pauses = 100 + 200 + 400 + 800 + 1600 + 2000;
  const std::string w = "C:\\TEMP\\AI1.tmp\\";
  struct Case {
    const char* what;
    const char* held_path;
    int held_after;  // the copy's or the engine's creation goes through
    int held_for;
    int launched;
    uint32_t exit_code;
    uint32_t paused;
    const char* error_log;  // @ stands for the work directory
    int start_error = 0;    // what a held start fails with, when not EBUSY
  } cases[] = {
      {"copy opened to unpack", "temp.shr", 1, 3, 1, 3, 700, ""},
      {"copy deleted", "temp.shr", 2, 1, 1, 3, 100, ""},
      {"engine package opened", "~0000.shr", 1, most, 1, 3, all_pauses, ""},
      {"engine started", "~0000.exe", 1, most, 1, 3, all_pauses, ""},
      // Wine says a held program is not found; the engine is there, so it is held.
      {"engine started under Wine", "~0000.exe", 1, 2, 1, 3, 300, "", ENOENT},
      {"cleanup script appended", "~0000.bat", 1, 3, 1, 3, 700, ""},
      // A copy that cannot be deleted stays, with a cleanup line of its own.
      {"copy held for good when deleted", "temp.shr", 2, most + 1, 1, 3, all_pauses, ""},
      {"copy held for good", "temp.shr", 1, most + 1, 0, 0, all_pauses,
       "Error copy file from 'C:\\Setup\\temp.shr' to '@temp.shr': error 16: Device or resource "
       "busy\r\n"},
      {"engine package held for good", "~0000.shr", 1, most + 1, 0, 0, all_pauses,
       "Error copy file from 'C:\\Setup\\inst32.shr' to '@~0000.shr': error 16: Device or "
       "resource busy\r\n"},
      {"cleanup script held for good", "~0000.bat", 1, most + 1, 0, 0, all_pauses,
       "The cleanup script '@~0000.bat' could not be written whole: error 16: Device or resource "
       "busy\r\n"},
      {"engine held for good", "~0000.exe", 1, most + 1, 1, kStillActive, all_pauses,
       "The installer engine '@~0000.exe' could not be started: error 16: Device or resource "
       "busy\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SetUp();
    WriteSetup();
    engine.exit_code = 3;
    testing_support::WriteFile(drive_c + "/WINDOWS/dizozud.log", std::string());
    pretend::PretendMachine& machine = pretend::Machine();
    text::Copy(machine.held_path, sizeof machine.held_path, c.held_path);
    machine.held_after = c.held_after;
    machine.held_refusals = c.held_for;
    machine.held_start_error = c.start_error;
    uint32_t exit_code = 0;
    EXPECT_EQ(Run(&exit_code), c.launched);
    if (c.launched) {
      EXPECT_EQ(exit_code, c.exit_code);
    }
    EXPECT_EQ(engine.starts, c.exit_code == 3 ? 1 : 0);
    EXPECT_EQ(machine.paused_milliseconds, c.paused);
    std::string expected_log = c.error_log;
    size_t at = expected_log.find('@');
    if (at != std::string::npos) expected_log.replace(at, 1, w);
    EXPECT_EQ(ErrorLog(), expected_log);
    std::string trace = ReadFileText(drive_c + "/WINDOWS/dizozud.log");
    const std::string retry = std::string("Debug:'") + w + c.held_path + "' held, error " +
                              std::to_string(c.start_error != 0 ? c.start_error : EBUSY) +
                              ": retry ";
    const int retries = std::min(c.held_for, most);
    EXPECT_NE(trace.find(retry + "1 in 100 ms\r\n"), std::string::npos) << trace;
    EXPECT_NE(trace.find(retry + std::to_string(retries) + " in "), std::string::npos);
    EXPECT_EQ(trace.find(retry + std::to_string(retries + 1)), std::string::npos);
    if (c.exit_code != 3) continue;
    // Whole: every file out, and no copy left behind but one held for good, which is listed.
    std::vector<std::string> expected = {"dosshell.pif", "init.ini",  "readme.txt", "uninst.exe",
                                         "~0000.bat",    "~0000.dll", "~0000.exe"};
    const bool copy_left = c.held_for > most;
    if (copy_left) expected.insert(expected.begin() + 3, "temp.shr");
    EXPECT_EQ(engine.work_directory, expected);
    EXPECT_EQ(CleanupScript().find("del " + w + "temp.shr\r\n") != std::string::npos, copy_left);
  }
}

TEST_F(BootstrapTest, TraceLogFollowsTheRun) {
  WriteSetup();
  testing_support::WriteFile(drive_c + "/WINDOWS/dizozud.log", std::string());
  text::Copy(run.kept_command_line, kCommandLineCapacity, "/S");
  uint32_t exit_code = 0;
  ASSERT_EQ(Run(&exit_code), 1);
  std::string trace = ReadFileText(drive_c + "/WINDOWS/dizozud.log");
  const char* expected[] = {
      "Debug:Before GetTempPath()=''\r\n",
      "Debug:GetTempPath()='C:\\TEMP\\', Reval=8, Error ",
      "Debug:GetTempFileName()='C:\\TEMP\\AI1.tmp', Reval=1, Error ",
      "Debug:cmdline='/S'\r\n",
      "Debug:Before CreateProcess(), cmdline='C:\\TEMP\\AI1.tmp\\~0000.exe C:\\Setup\\setup.cfg "
      "/S'\r\n",
      "Debug:Child process exit\r\n"};
  size_t at = 0;
  for (const char* line : expected) {
    size_t found = trace.find(line, at);
    ASSERT_NE(found, std::string::npos) << line << "\nin\n" << trace;
    at = found;
  }
}

TEST_F(BootstrapTest, EngineExitingWith259IsNotWaitedForForever) {
  WriteSetup();
  engine.exit_code = kStillActive;
  pretend::Machine().still_running_waits = 3;
  uint32_t exit_code = 0;
  ASSERT_EQ(Run(&exit_code), 1);
  EXPECT_EQ(exit_code, kStillActive);
  EXPECT_EQ(pretend::Machine().process_waits, 4) << "three waits while running, one at the end";
}

TEST_F(BootstrapTest, UnreadableExitCodeGives259) {
  WriteSetup();
  engine.exit_code = 0;
  pretend::Machine().exit_code_unreadable = true;
  uint32_t exit_code = 0;
  ASSERT_EQ(Run(&exit_code), 1);
  EXPECT_EQ(exit_code, kStillActive);
}

TEST_F(BootstrapTest, MissingInstallScriptWarnsAndEndsTheRun) {
  installer.Drop("setup.cfg");
  WriteSetup();
  run.show_progress = false;  // the warning shows in quiet mode too
  uint32_t exit_code = 0;
  EXPECT_EQ(Run(&exit_code), 0);
  const std::string text =
      "C:\\Setup\\setup.cfg was not found. Installation file is missing or corrupt!";
  EXPECT_EQ(pretend::Machine().warning_boxes_shown, 1);
  EXPECT_EQ(pretend::Machine().warning_box_text, text);
  EXPECT_STREQ(pretend::Machine().warning_box_caption, "Warning");
  EXPECT_EQ(ErrorLog(), text + "\r\n");
  EXPECT_EQ(engine.starts, 0);
}

TEST_F(BootstrapTest, InstallScriptFoundOnlyAsAicMember) {
  installer.Rename("setup.cfg", "SETUP.AIC");
  WriteSetup();
  uint32_t exit_code = 0;
  ASSERT_EQ(Run(&exit_code), 1) << ErrorLog();
  EXPECT_EQ(engine.command_line, "C:\\TEMP\\AI1.tmp\\~0000.exe C:\\Setup\\setup.cfg ");
}

TEST_F(BootstrapTest, MissingDosshellIsACopyFailure) {
  installer.Drop("dosshell.pif");
  WriteSetup();
  uint32_t exit_code = 0;
  EXPECT_EQ(Run(&exit_code), 0);
  EXPECT_EQ(ErrorLog(),
            "Error copy file from 'C:\\Setup\\dosshell.pif' to 'C:\\TEMP\\AI1.tmp\\dosshell.pif'"
            ": error 2: No such file or directory\r\n");
  EXPECT_EQ(engine.starts, 0);
  std::string script = CleanupScript();
  const std::string last = "del C:\\TEMP\\AI1.tmp\\~0000.dll\r\n";
  ASSERT_GE(script.size(), last.size());
  EXPECT_EQ(script.substr(script.size() - last.size()), last);
}

TEST_F(BootstrapTest, NoLanguageLibraryAnywhere) {
  installer.Drop("InstallENU.dll");
  WriteSetup();
  uint32_t exit_code = 0;
  ASSERT_EQ(Run(&exit_code), 1);
  EXPECT_FALSE(testing_support::FileExists(WorkDirectoryHost() + "/~0000.dll"));
  EXPECT_NE(CleanupScript().find("del C:\\TEMP\\AI1.tmp\\~0000.dll\r\n"), std::string::npos);
}

TEST_F(BootstrapTest, LanguageLibraryChosenByLocale) {
  struct Case {
    const char* locale;
    const char* expected;
  };
  const Case cases[] = {{"DES", "german"}, {"NLD", "dutch"}, {"FRC", "fallback"}, {"", "bare"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.locale);
    SetUp();
    installer.Drop("InstallENU.dll");
    installer.Add("InstallDEU.dll", Text("german"));
    installer.Add("InstallNLD.dll", Text("dutch"));
    installer.Add("Install.dll", Text(std::string(c.locale).empty() ? "bare" : "fallback"));
    WriteSetup();
    text::Copy(pretend::Machine().abbreviated_language_name, 8, c.locale);
    uint32_t exit_code = 0;
    ASSERT_EQ(Run(&exit_code), 1);
    EXPECT_EQ(ReadFileText(WorkDirectoryHost() + "/~0000.dll"), c.expected);
  }
}

TEST_F(BootstrapTest, LooseFilesBesideABareLauncher) {
  testing_support::WriteFile(drive_c + "/Setup/setup.exe", std::string("MZ bare launcher"));
  testing_support::WriteFile(drive_c + "/Setup/setup.cfg", std::string("script"));
  testing_support::WriteFile(drive_c + "/Setup/inst32.shr",
                             installer.Package({{"~0000.exe", Text("loose engine")}}));
  testing_support::WriteFile(drive_c + "/Setup/dosshell.pif", std::string("pif"));
  uint32_t exit_code = 0;
  ASSERT_EQ(Run(&exit_code), 1) << ErrorLog();
  EXPECT_EQ(ReadFileText(WorkDirectoryHost() + "/~0000.exe"), "loose engine");
}

TEST_F(BootstrapTest, QuietModeByModuleName) {
  for (const char* name : {"zididazo.exe", "ZEZIVADAZ.EXE", "ZiDidazo.exe"}) {
    SCOPED_TRACE(name);
    SetUp();
    installer.Rename("setup.cfg",
                     std::string(name).substr(0, std::string(name).size() - 3) + "cfg");
    WriteSetup(name);
    text::Copy(pretend::Machine().module_path, 1024, (std::string("C:\\Setup\\") + name).c_str());
    uint32_t exit_code = 0;
    ASSERT_EQ(Run(&exit_code), 1) << ErrorLog();
    EXPECT_FALSE(run.show_progress);
    EXPECT_EQ(g_host_dialog.created, 0);
    EXPECT_EQ(run.progress.current_percentage, 0);
  }
}

// ---- Where the launcher deliberately differs from a naive reading of its steps ----------------

TEST_F(BootstrapTest, WorkDirectoryNameTakenBySomeoneElseIsNeverUsed) {
  WriteSetup();
  pretend::Machine().make_directory_failures = 2;
  uint32_t exit_code = 0;
  ASSERT_EQ(Run(&exit_code), 1) << ErrorLog();
  EXPECT_EQ(engine.command_line.substr(0, 26), "C:\\TEMP\\AI3.tmp\\~0000.exe ");
}

TEST_F(BootstrapTest, NoWorkDirectoryAtAllEndsTheRun) {
  WriteSetup();
  pretend::Machine().make_directory_failures = 1000;
  uint32_t exit_code = 0;
  EXPECT_EQ(Run(&exit_code), 0);
  const std::string entry =
      "Cannot create a work directory in 'C:\\TEMP' (error 17: File exists) or in "
      "'C:\\WINDOWS\\Temp': error 17: File exists";
  EXPECT_EQ(ErrorLog(), entry + "\r\n");
  EXPECT_EQ(pretend::Machine().warning_box_text, entry);
  EXPECT_EQ(engine.starts, 0);
  EXPECT_TRUE(testing_support::ListFolder(drive_c + "/TEMP").empty())
      << "nothing is copied anywhere";
  EXPECT_TRUE(testing_support::ListFolder(drive_c + "/WINDOWS/Temp").empty());
}

// No temporary path at all: the Windows directory's "Temp" serves, just as private.
TEST_F(BootstrapTest, UnreadableTemporaryDirectoryFallsBackToTheWindowsOne) {
  WriteSetup();
  pretend::Machine().temp_path[0] = '\0';
  uint32_t exit_code = 0;
  ASSERT_EQ(Run(&exit_code), 1) << ErrorLog();
  EXPECT_EQ(engine.command_line.rfind("C:\\WINDOWS\\Temp\\AI1.tmp\\~0000.exe ", 0), 0u);
  EXPECT_STREQ(pretend::Machine().private_directory, "C:\\WINDOWS\\Temp\\AI1.tmp");
  EXPECT_EQ(ErrorLog(), "");
}

TEST_F(BootstrapTest, PartialEngineIsNeverStarted) {
  Bytes engine_package = installer.Package({{"~0000.exe", testing_support::RandomBytes(50000, 3)}});
  engine_package.resize(engine_package.size() - 100);  // the stream loses its end
  installer.Replace("inst32.shr", engine_package);
  WriteSetup();
  uint32_t exit_code = 0;
  EXPECT_EQ(Run(&exit_code), 0);
  EXPECT_EQ(engine.starts, 0);
  EXPECT_EQ(ErrorLog(),
            "The installer engine in 'C:\\Setup\\inst32.shr' is damaged and was not started.\r\n");
}

TEST_F(BootstrapTest, DamagedMemberEndsTheRunBeforeTheEngine) {
  // One flipped bit in any member the run copies, required or not: the download is damaged.
  const struct Case {
    const char* name;
    const char* command_line;
    int boxes;
  } cases[] = {
      {"init.ini", "", 1},       {"temp.shr", "", 1},   {"inst32.shr", "", 1},
      {"inst32.shr", "/An", 0},  {"unst32.shr", "", 1}, {"InstallENU.dll", "", 1},
      {"dosshell.pif", "/S", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name) + " " + c.command_line);
    SetUp();
    WriteSetup();
    const std::string setup = drive_c + "/Setup/setup.exe";
    Bytes file = testing_support::ReadFile(setup);
    file[installer.DataOffset(c.name, Image().size()) + installer.Data(c.name).size() / 2] ^= 0x10;
    testing_support::WriteFile(setup, file);
    text::Copy(run.kept_command_line, kCommandLineCapacity, c.command_line);
    run.show_progress = std::string(c.command_line) != "/An";
    uint32_t exit_code = 0;
    EXPECT_EQ(Run(&exit_code), 0);
    EXPECT_EQ(engine.starts, 0);
    const std::string message =
        std::string("The installer 'C:\\Setup\\setup.exe' is damaged (in '") + c.name +
        "'). Please download it again.";
    EXPECT_EQ(ErrorLog(), message + "\r\n");
    EXPECT_EQ(pretend::Machine().warning_boxes_shown, c.boxes);
    if (c.boxes > 0) {
      EXPECT_EQ(pretend::Machine().warning_box_text, message);
      EXPECT_STREQ(pretend::Machine().warning_box_caption, "Warning");
    }
  }
}

TEST_F(BootstrapTest, InstallerWithoutChecksumsRunsUnchecked) {
  WriteSetup();
  const std::string setup = drive_c + "/Setup/setup.exe";
  Bytes file = testing_support::ReadFile(setup);
  // The checksum record's tail ends where the directory (of 7 records) begins; without its
  // magic the archive carries no checksums, as installers made before them.
  size_t directory = file.size() - archive::kTrailerSize - archive::kDirectoryTailSize;
  directory -= archive::LoadLittleEndian32(&file[directory + 16]);
  file[directory - archive::kChecksumTailSize] = 'x';
  file[installer.DataOffset("dosshell.pif", Image().size())] ^= 0x01;  // "pif" becomes "qif"
  testing_support::WriteFile(setup, file);
  uint32_t exit_code = 0;
  ASSERT_EQ(Run(&exit_code), 1) << ErrorLog();
  EXPECT_EQ(ReadFileText(HostPath("C:\\TEMP\\AI1.tmp\\dosshell.pif")), "qif");
}

TEST_F(BootstrapTest, OnlyTheEnginePackageWritesTheEngine) {
  // A companion that carries an engine of its own, unpacked after the real one.
  installer.Replace("unst32.shr", installer.Package({{"~0000.exe", Text("impostor")},
                                                     {"uninst.exe", Text("u")}}));
  WriteSetup();
  uint32_t exit_code = 0;
  ASSERT_EQ(Run(&exit_code), 1) << ErrorLog();
  const std::string w = "C:\\TEMP\\AI1.tmp\\";
  EXPECT_EQ(testing_support::ReadFile(HostPath(w + "~0000.exe")), Engine());
  EXPECT_FALSE(testing_support::FileExists(HostPath(w + "uninst.exe")))
      << "the companion stops at the record it may not write";
}

TEST_F(BootstrapTest, TemporaryFilesCannotSupplyAMissingEngine) {
  installer.Replace("temp.shr", installer.Package({{"~0000.exe", Text("impostor")}}));
  installer.Replace("inst32.shr", installer.Package({{"engine.dat", Text("no engine in here")}}));
  WriteSetup();
  uint32_t exit_code = 0;
  ASSERT_EQ(Run(&exit_code), 1) << ErrorLog();
  EXPECT_EQ(std::count(engine.work_directory.begin(), engine.work_directory.end(),
                       std::string("~0000.exe")),
            0);
}

TEST_F(BootstrapTest, CopyBufferThatCannotBeAllocatedEndsTheRun) {
  WriteSetup();
  pretend::Machine().allocation_failures = 1;
  uint32_t exit_code = 0;
  EXPECT_EQ(Run(&exit_code), 0);
  EXPECT_EQ(ErrorLog(), "Not enough memory to start the installation.\r\n");
  EXPECT_TRUE(testing_support::ListFolder(drive_c + "/TEMP").empty());
}

TEST_F(BootstrapTest, LongCommandLineIsPassedWholeOrRefused) {
  WriteSetup();
  std::string fits = "/" + std::string(30000, 'a');
  text::Copy(run.kept_command_line, kCommandLineCapacity, fits.c_str());
  uint32_t exit_code = 0;
  ASSERT_EQ(Run(&exit_code), 1);
  EXPECT_EQ(engine.command_line, "C:\\TEMP\\AI1.tmp\\~0000.exe C:\\Setup\\setup.cfg " + fits);

  std::string too_long = "/" + std::string(kCommandLineCapacity - 10, 'b');
  text::Copy(run.kept_command_line, kCommandLineCapacity, too_long.c_str());
  engine = pretend::EngineSeen{};
  EXPECT_EQ(Run(&exit_code), 0);
  EXPECT_EQ(engine.starts, 0) << "a cut command line never reaches the engine";
  EXPECT_NE(ErrorLog().find("too long"), std::string::npos);
}

// Folders whose names the ANSI code page cannot hold (here Cyrillic ones; the pretend code page
// holds U+0000 to U+00FF): the launcher, the engine and the cleanup script get their short forms,
// never the question marks the ANSI calls would give; without short forms the run ends at once.
TEST_F(BootstrapTest, FoldersOutsideTheCodePageArePassedInShortForm) {
  const std::string kSetup =
      "C:\\vt\\\xD0\x94\xD0\xBC\xD0\xB8\xD1\x82\xD1\x80\xD0\xB8\xD0\xB9";  // Дмитрий
  const std::string kTemp = "C:\\TEMP\\\xD0\x94\xD0\xBC\xD0\xB8\xD1\x82\xD1\x80\xD0\xB8\xD0\xB9";
  const std::string kLostSetup = "C:\\vt\\???????\\setup.exe";
  const std::string kLostTemp = "C:\\TEMP\\???????\\";
  const struct Case {
    const char* what;
    bool module_outside;
    bool temp_outside;
    bool short_names;
    const char* engine_path;  // the engine's path on its command line, when it starts
    const char* script_path;  // the install script's, after it
  } cases[] = {
      {"installer's folder", true, false, true, "C:\\TEMP\\AI1.tmp\\~0000.exe",
       "C:\\vt\\DMITRI~1\\setup.cfg"},
      {"temporary folder", false, true, true, "C:\\TEMP\\DMITRI~2\\AI1.tmp\\~0000.exe",
       "C:\\Setup\\setup.cfg"},
      {"both", true, true, true, "C:\\TEMP\\DMITRI~2\\AI1.tmp\\~0000.exe",
       "C:\\vt\\DMITRI~1\\setup.cfg"},
      {"installer's folder without short names", true, false, false, nullptr, nullptr},
      {"temporary folder without short names", false, true, false, nullptr, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SetUp();
    // On the host the short forms are the folders' real names; the system's names map onto them.
    std::filesystem::create_directories(drive_c + "/vt/DMITRI~1");
    std::filesystem::create_directories(drive_c + "/TEMP/DMITRI~2");
    ASSERT_TRUE(installer.Write(drive_c + "/vt/DMITRI~1/setup.exe", Text("MZ")));
    WriteSetup();  // and in C:\\Setup, where the plain module path finds it
    pretend::PretendMachine& m = pretend::Machine();
    if (c.module_outside)
      text::Copy(m.module_path, sizeof m.module_path, (kSetup + "\\setup.exe").c_str());
    if (c.temp_outside) text::Copy(m.temp_path, sizeof m.temp_path, (kTemp + "\\").c_str());
    text::Copy(m.short_name[0].long_path, 256, kSetup.c_str());
    text::Copy(m.short_name[0].short_path, 256, "C:\\vt\\DMITRI~1");
    text::Copy(m.short_name[1].long_path, 256, kTemp.c_str());
    text::Copy(m.short_name[1].short_path, 256, "C:\\TEMP\\DMITRI~2");
    m.short_names_off = !c.short_names;
    uint32_t exit_code = 0;
    const int launched = Run(&exit_code);
    if (c.engine_path != nullptr) {
      ASSERT_EQ(launched, 1) << ErrorLog();
      EXPECT_EQ(engine.command_line, std::string(c.engine_path) + " " + c.script_path + " ");
      const std::string work = std::string(c.engine_path).substr(0, std::strlen(c.engine_path) - 9);
      EXPECT_NE(
          ReadFileText(HostPath(work + "~0000.bat")).find("rd " + work.substr(0, work.size() - 1)),
          std::string::npos);
      EXPECT_EQ(pretend::Machine().warning_boxes_shown, 0);
    } else {
      EXPECT_EQ(launched, 0);
      EXPECT_EQ(engine.starts, 0);
      const std::string lost = c.module_outside ? kLostSetup : kLostTemp;
      const std::string message =
          "Cannot use the folder name in '" + lost +
          "'. Move the installer, or set TMP, to a folder with a plain name.";
      EXPECT_EQ(ErrorLog(), message + "\r\n");
      EXPECT_EQ(pretend::Machine().warning_box_text, message);
      EXPECT_TRUE(testing_support::ListFolder(drive_c + "/TEMP/DMITRI~2").empty());
    }
  }
}

TEST_F(BootstrapTest, InstallerInADeepFolderFindsItsOwnArchive) {
  // 400 characters of folders: more than a 255-character source path would hold.
  std::string folder = "Setup";
  for (int i = 0; i < 20; ++i)
    folder += "\\downloads-of-this-user";
  std::string host_folder = drive_c + "/" + folder;
  for (char& c : host_folder)
    c = c == '\\' ? '/' : c;
  std::filesystem::create_directories(host_folder);
  ASSERT_TRUE(installer.Write(host_folder + "/setup.exe", Text("MZ")));
  std::string module = "C:\\" + folder + "\\setup.exe";
  ASSERT_GT(module.size(), 400u);
  text::Copy(pretend::Machine().module_path, 1024, module.c_str());
  uint32_t exit_code = 0;
  ASSERT_EQ(Run(&exit_code), 1) << ErrorLog();
  EXPECT_EQ(engine.command_line, "C:\\TEMP\\AI1.tmp\\~0000.exe C:\\" + folder + "\\setup.cfg ");
}

TEST_F(BootstrapTest, ModuleNameWithoutDotStillFindsItsScript) {
  WriteSetup("setup");
  text::Copy(pretend::Machine().module_path, 1024, "C:\\Setup\\setup");
  uint32_t exit_code = 0;
  ASSERT_EQ(Run(&exit_code), 1) << ErrorLog();
  EXPECT_EQ(engine.command_line, "C:\\TEMP\\AI1.tmp\\~0000.exe C:\\Setup\\setup.cfg ");
}

TEST_F(BootstrapTest, InstallScriptOnConnectedDriveGoesInNetworkForm) {
  // X: is the share \\srv\pub, whose App folder is reachable.
  std::filesystem::create_directories(root.Join("share/App"));
  pretend::PretendMachine& m = pretend::Machine();
  text::Copy(m.drive_root['X' - 'A'], sizeof m.drive_root[0], root.Join("share").c_str());
  text::Copy(m.network_connection['X' - 'A'], sizeof m.network_connection[0], "\\\\srv\\pub");
  text::Copy(m.share[0].name, sizeof m.share[0].name, "\\\\srv\\pub");
  text::Copy(m.share[0].host_folder, sizeof m.share[0].host_folder, root.Join("share").c_str());
  text::Copy(m.module_path, sizeof m.module_path, "X:\\App\\setup.exe");
  ASSERT_TRUE(installer.Write(root.Join("share/App/setup.exe"), Text("MZ")));
  uint32_t exit_code = 0;
  ASSERT_EQ(Run(&exit_code), 1) << ErrorLog();
  EXPECT_EQ(engine.command_line, "C:\\TEMP\\AI1.tmp\\~0000.exe \\\\srv\\pub\\App\\setup.cfg ");
  EXPECT_EQ(engine.current_directory, "X:\\App");
}

// ---- The entry point ---------------------------------------------------------------------------

unsigned RegisterFails(void*) {
  return 0;
}
unsigned RegisterWorks(void*) {
  return 0xC001;
}

TEST_F(BootstrapTest, EntryEndsWithZeroWhenTheClassCannotBeRegistered) {
  WriteSetup();
  EXPECT_EQ(LauncherMain(&run, nullptr, nullptr, "/S", RegisterFails), 0);
  EXPECT_STREQ(run.kept_command_line, "/S");
  EXPECT_TRUE(testing_support::ListFolder(drive_c + "/TEMP").empty());
  EXPECT_EQ(engine.starts, 0);
}

TEST_F(BootstrapTest, EntryReturnsOneAfterAFailedSequence) {
  installer = testing_support::InstallerRecipe();
  WriteSetup();  // no install script
  EXPECT_EQ(LauncherMain(&run, nullptr, nullptr, "", RegisterWorks), 1);
  EXPECT_TRUE(run.show_progress);
}

TEST(EntryCommandLine, ProgramNameAndFollowingBlanksAreSkipped) {
  struct Case {
    const char* process_command_line;
    const char* kept;
  };
  const Case cases[] = {
      {"setup.exe /S", "/S"},
      {"\"C:\\Program Files\\setup.exe\"  /S x", "/S x"},
      {"\"C:\\a b\\setup.exe\"/S", "/S"},  // a quoted name ends at its quote
      {"setup.exe\t\r\n  data.txt", "data.txt"},
      {"setup.exe", ""},
      {"\"unterminated name", ""},
      {"", ""},
  };
  for (const Case& c : cases) {
    EXPECT_STREQ(SkipProgramName(c.process_command_line), c.kept) << c.process_command_line;
  }
}

TEST(EntryQuietMode, OnlyExactSlashAnSelectsIt) {
  EXPECT_TRUE(SelectsQuietMode("/An"));
  EXPECT_TRUE(SelectsQuietMode("/S /Answer"));
  EXPECT_FALSE(SelectsQuietMode("/an"));
  EXPECT_FALSE(SelectsQuietMode("/AN"));
  EXPECT_FALSE(SelectsQuietMode(""));
}

}  // namespace
