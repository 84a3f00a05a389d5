// The real launcher.exe with a real payload, under Wine: installers are built here with the
// archive and package writers around the test engine, started as separate processes, and
// judged by what a user would see: the work directory, the cleanup script, the logs, the
// dialog, the message box, what the engine received and the exit code (all 32 bits of it).
#include "tests/e2e/launcher_fixture.h"

#include <aclapi.h>
#include <sddl.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

using testing_support::ReadFile;
using testing_support::ReadFileText;

namespace {

using e2e::LauncherE2E;
using e2e::Lines;
using e2e::RunResult;
using e2e::Text;

TEST_F(LauncherE2E, CompleteThirtyTwoBitRun) {
  installer = CompleteInstaller();
  std::string setup = WriteInstaller();
  SetEnvironmentVariableA("TOVALIN_ENGINE_EXIT", "3");
  RunResult run = Run(setup);
  EXPECT_EQ(run.exit_code, 3u) << ErrorLog();

  std::string w = WorkDirectory();
  ASSERT_FALSE(w.empty());
  EXPECT_EQ(w.substr(tmp.size() + 1, 2), "AI");
  EXPECT_EQ(testing_support::ListFolder(w),
            (std::vector<std::string>{"data.bin", "dosshell.pif", "init.ini", "readme.txt",
                                      "uninst.exe", "~0000.bat", "~0000.dll", "~0000.exe"}));
  EXPECT_EQ(ReadFileText(w + "~0000.bat"),
            "del " + w + "init.ini\r\n" + "del " + w + "readme.txt\r\n" + "del " + w +
                "data.bin\r\n" + "del " + w + "~0000.exe\r\n" + "del " + w + "uninst.exe\r\n" +
                "del " + w + "~0000.dll\r\n" + "del " + w + "dosshell.pif\r\n" + "del " + w +
                "~0000.bat\r\n" + "rd " + w.substr(0, w.size() - 1) + "\r\n");
  EXPECT_EQ(ReadFile(w + "~0000.exe"), EngineBytes());
  EXPECT_EQ(ReadFileText(w + "~0000.dll"), "english");

  // Unpacked files carry the recorded time, read back in UTC.
  HANDLE file = CreateFileA((w + "data.bin").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  FILETIME written;
  GetFileTime(file, nullptr, nullptr, &written);
  CloseHandle(file);
  WORD date = 0;
  WORD time = 0;
  FileTimeToDosDateTime(&written, &date, &time);
  EXPECT_EQ(date, testing_support::kMadeDate);
  EXPECT_EQ(time, testing_support::kMadeTime);

  std::vector<std::string> engine = EngineRecord();
  ASSERT_EQ(engine.size(), 3u);
  EXPECT_EQ(engine[0], "cmdline=" + w + "~0000.exe " + dir.path() + "\\setup.cfg ");
  EXPECT_EQ(engine[1], "cwd=" + dir.path());
  EXPECT_EQ(engine[2], "end");
  EXPECT_EQ(ErrorLog(), "");

  if (run.dialog_seen || GetEnvironmentVariableA("DISPLAY", nullptr, 0) > 0) {
    EXPECT_TRUE(run.dialog_seen);
    EXPECT_EQ(run.dialog_message, "Welcome to the end-to-end test");
  }
}

// The access list of a file or folder: the security identifiers it lets in, as text, and its
// owner.
struct Access {
  std::vector<std::string> granted;
  std::string owner;
};

std::string SidText(PSID sid) {
  char* text = nullptr;
  if (!ConvertSidToStringSidA(sid, &text)) return "?";
  std::string result = text;
  LocalFree(text);
  return result;
}

Access AccessOf(const std::string& path) {
  Access access;
  PSID owner = nullptr;
  PACL list = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  EXPECT_EQ(GetNamedSecurityInfoA(path.c_str(), SE_FILE_OBJECT,
                                  OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner,
                                  nullptr, &list, nullptr, &descriptor),
            static_cast<DWORD>(ERROR_SUCCESS))
      << path;
  if (descriptor == nullptr) return access;
  if (owner != nullptr) access.owner = SidText(owner);
  for (DWORD i = 0; list != nullptr && i < list->AceCount; ++i) {
    ACE_HEADER* ace = nullptr;
    if (!GetAce(list, i, reinterpret_cast<void**>(&ace)) ||
        ace->AceType != ACCESS_ALLOWED_ACE_TYPE) {
      continue;
    }
    access.granted.push_back(SidText(&reinterpret_cast<ACCESS_ALLOWED_ACE*>(ace)->SidStart));
  }
  LocalFree(descriptor);
  return access;
}

// The work directory lets in SYSTEM, the Administrators group and its owner only, never
// Everyone, Users, Authenticated Users or Interactive: nobody else may add or replace a file
// there between unpacking and the engine's start. (Windows hands the list down to what is made
// inside; Wine keeps access lists as the Unix mode of each file and hands nothing down, so the
// directory alone is read back here: made without the list, it would let Everyone in.)
TEST_F(LauncherE2E, WorkDirectoryIsPrivate) {
  installer = CompleteInstaller();
  EXPECT_EQ(Run(WriteInstaller(), "/An").exit_code, 0u) << ErrorLog();
  const std::string w = WorkDirectory();
  ASSERT_FALSE(w.empty());
  const Access access = AccessOf(w.substr(0, w.size() - 1));
  EXPECT_FALSE(access.granted.empty());
  for (const std::string& sid : access.granted) {
    EXPECT_TRUE(sid == "S-1-5-18" || sid == "S-1-5-32-544" || sid == "S-1-3-4" ||
                sid == access.owner)
        << "let in: " << sid;
  }
  for (const char* outsider : {"S-1-1-0", "S-1-5-32-545", "S-1-5-11", "S-1-5-4"}) {
    EXPECT_EQ(std::count(access.granted.begin(), access.granted.end(), outsider), 0)
        << "let in: " << outsider;
  }
  // What the launcher left inside still reads: the list keeps out others, not the user.
  EXPECT_EQ(ReadFile(w + "~0000.exe"), EngineBytes());
}

TEST_F(LauncherE2E, ExitCodesPassThroughWhole) {
  installer = CompleteInstaller();
  installer.Replace("temp.shr", installer.Package({{"readme.txt", Text("small")}}));
  std::string setup = WriteInstaller();
  for (const char* code : {"0", "1", "3", "259", "0x12345678", "0xC0000005"}) {
    SCOPED_TRACE(code);
    SetEnvironmentVariableA("TOVALIN_ENGINE_EXIT", code);
    RunResult run = Run(setup, "/An");
    EXPECT_EQ(run.exit_code, std::strtoul(code, nullptr, 0));
    DeleteFileA(record.c_str());
  }
}

TEST_F(LauncherE2E, WaitsForAnEngineThatRunsThreeSeconds) {
  installer = CompleteInstaller();
  std::string setup = WriteInstaller();
  SetEnvironmentVariableA("TOVALIN_ENGINE_SLEEP_MS", "3000");
  SetEnvironmentVariableA("TOVALIN_ENGINE_EXIT", "7");
  DWORD started = GetTickCount();
  RunResult run = Run(setup, "/An");
  DWORD elapsed = GetTickCount() - started;
  EXPECT_EQ(run.exit_code, 7u);
  std::vector<std::string> engine = EngineRecord();
  ASSERT_EQ(engine.size(), 3u) << "the launcher ended before its engine";
  EXPECT_EQ(engine[2], "end");
  EXPECT_GE(elapsed, 3000u);
}

// A large package unpacks with the dialog shown while another process asks the dialog every
// 20 ms whether it hangs, as Windows does before it ghosts a window as "Not Responding": every
// ask is answered. The same process reads the dialog's DPI awareness as another program would.
TEST_F(LauncherE2E, DialogAnswersAnotherProcessWhileALargePackageUnpacks) {
  installer = CompleteInstaller();
  // Half of it random: about as slow to unpack per byte as program files.
  testing_support::Bytes data = testing_support::RandomBytes(64 << 20, 7);
  data.resize(128 << 20, 0x5A);
  installer.Replace("temp.shr", installer.Package({{"large.bin", data}}));
  std::string setup = WriteInstaller();
  RunResult run = Run(setup);
  EXPECT_EQ(run.exit_code, 0u) << ErrorLog();
  EXPECT_TRUE(run.dialog_seen);
  std::printf("asked %d times, answered %d; the dialog's DPI awareness reads as %d\n", run.asked,
              run.answered, run.awareness);
  EXPECT_GE(run.asked, 5);
  EXPECT_EQ(run.answered, run.asked);
  // Windows reads 1 (system aware, as the manifest declares); Wine 8 reads every window of
  // every program as per-monitor aware (2), with a manifest or without.
  if (run.awareness >= 0) {
    EXPECT_NE(run.awareness, 0) << "the dialog would be stretched";
  }
}

TEST_F(LauncherE2E, QuietModeCreatesNoWindow) {
  struct Case {
    const char* exe;
    const char* arguments;
  };
  const Case cases[] = {{"setup.exe", "/An"}, {"zididazo.exe", ""}, {"ZEZIVADAZ.EXE", ""}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.exe);
    std::string stem(c.exe);
    installer = CompleteInstaller(stem.substr(0, stem.size() - 4));
    std::string setup = WriteInstaller(c.exe);
    RunResult run = Run(setup, c.arguments);
    EXPECT_EQ(run.exit_code, 0u) << ErrorLog();
    EXPECT_FALSE(run.dialog_seen);
    EXPECT_NE(EngineCommandLine().find(c.arguments), std::string::npos);
    DeleteFileA(record.c_str());
  }
}

TEST_F(LauncherE2E, PassedThroughArguments) {
  installer = CompleteInstaller();
  installer.Replace("temp.shr", installer.Package({{"readme.txt", Text("small")}}));
  std::string setup = WriteInstaller();
  const std::string folder = dir.path() + "\\";
  struct Case {
    std::string arguments;
    std::string expected;
  };
  const Case cases[] = {{"/S", "/S"},
                        {"-x", "-x"},
                        {"data\\more.txt", folder + "data\\more.txt"},
                        {"D:\\x", "D:\\x"},
                        {"\\\\srv\\share", "\\\\srv\\share"},
                        {"\\x", folder + "\\x"},
                        {"/An /S", "/An /S"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments);
    Run(setup, c.arguments);
    std::string line = EngineCommandLine();
    std::string tail = " " + c.expected;
    ASSERT_GE(line.size(), tail.size());
    EXPECT_EQ(line.substr(line.size() - tail.size()), tail);
    DeleteFileA(record.c_str());
  }
}

TEST_F(LauncherE2E, InstSixteenStandsInForMissingInstThirtyTwo) {
  installer = CompleteInstaller();
  installer.Rename("inst32.shr", "inst16.shr").Rename("unst32.shr", "unst16.shr");
  std::string setup = WriteInstaller();
  RunResult run = Run(setup, "/An");
  EXPECT_EQ(run.exit_code, 0u) << ErrorLog();
  EXPECT_TRUE(testing_support::FileExists(WorkDirectory() + "uninst.exe"));
  EXPECT_EQ(EngineRecord().size(), 3u);
}

TEST_F(LauncherE2E, InstallScriptOnlyAsAicMember) {
  installer = CompleteInstaller();
  installer.Rename("setup.cfg", "SETUP.AIC");
  std::string setup = WriteInstaller();
  RunResult run = Run(setup, "/An");
  EXPECT_EQ(run.exit_code, 0u) << ErrorLog();
  std::string line = EngineCommandLine();
  EXPECT_NE(line.find(" " + dir.path() + "\\setup.cfg "), std::string::npos) << line;
}

TEST_F(LauncherE2E, MissingInstallScriptWarns) {
  installer = CompleteInstaller();
  installer.Drop("setup.cfg");
  std::string setup = WriteInstaller();
  RunResult run = Run(setup, "/An");
  EXPECT_EQ(run.exit_code, 1u);
  const std::string text =
      dir.path() + "\\setup.cfg was not found. Installation file is missing or corrupt!";
  EXPECT_EQ(ErrorLog(), text + "\r\n");
  if (GetEnvironmentVariableA("DISPLAY", nullptr, 0) > 0) {
    EXPECT_EQ(run.warning_text, text) << "the box shows in quiet mode too";
  }
  EXPECT_TRUE(EngineRecord().empty());
}

TEST_F(LauncherE2E, MissingDosshellPif) {
  installer = CompleteInstaller();
  installer.Drop("dosshell.pif");
  std::string setup = WriteInstaller();
  RunResult run = Run(setup, "/An");
  EXPECT_EQ(run.exit_code, 1u);
  std::string w = WorkDirectory();
  EXPECT_EQ(ErrorLog(), "Error copy file from '" + dir.path() + "\\dosshell.pif' to '" + w +
                            "dosshell.pif': " + e2e::SystemReason(ERROR_FILE_NOT_FOUND) + "\r\n");
  EXPECT_TRUE(EngineRecord().empty());
  std::vector<std::string> script = Lines(ReadFileText(w + "~0000.bat"));
  ASSERT_FALSE(script.empty());
  EXPECT_EQ(script.back(), "del " + w + "~0000.dll\r");
}

TEST_F(LauncherE2E, NoLanguageLibraryAnywhere) {
  installer = CompleteInstaller();
  installer.Drop("InstallENU.dll");
  std::string setup = WriteInstaller();
  RunResult run = Run(setup, "/An");
  EXPECT_EQ(run.exit_code, 0u) << ErrorLog();
  std::string w = WorkDirectory();
  EXPECT_FALSE(testing_support::FileExists(w + "~0000.dll"));
  EXPECT_NE(ReadFileText(w + "~0000.bat").find("del " + w + "~0000.dll\r\n"), std::string::npos);
}

TEST_F(LauncherE2E, LooseFilesBesideABareLauncher) {
  testing_support::WriteFile(dir.Join("setup.exe"), LauncherBytes());
  testing_support::WriteFile(dir.Join("setup.cfg"), std::string("script"));
  testing_support::WriteFile(dir.Join("inst32.shr"),
                             installer.Package({{"~0000.exe", EngineBytes()}}));
  testing_support::WriteFile(dir.Join("dosshell.pif"), std::string("pif"));
  SetEnvironmentVariableA("TOVALIN_ENGINE_EXIT", "5");
  RunResult run = Run(dir.Join("setup.exe"), "/An");
  EXPECT_EQ(run.exit_code, 5u) << ErrorLog();
  EXPECT_EQ(EngineRecord().size(), 3u);
}

TEST_F(LauncherE2E, TraceLogThatExistsIsWritten) {
  installer = CompleteInstaller();
  std::string setup = WriteInstaller();
  testing_support::WriteFile(TraceLogPath(), std::string());
  Run(setup, "/S");
  std::vector<std::string> lines = Lines(ReadFileText(TraceLogPath()));
  ASSERT_EQ(lines.size(), 6u);
  const char* messages[] = {
      "Before GetTempPath()=''",          "GetTempPath()=",    "GetTempFileName()=", "cmdline='/S'",
      "Before CreateProcess(), cmdline=", "Child process exit"};
  for (size_t i = 0; i < 6; ++i) {
    EXPECT_EQ(lines[i].substr(0, 1), "(");
    EXPECT_NE(lines[i].find(")HEADER("), std::string::npos);
    EXPECT_NE(lines[i].find(" Debug:" + std::string(messages[i])), std::string::npos) << lines[i];
    EXPECT_EQ(lines[i].back(), '\r');
  }
}

TEST_F(LauncherE2E, WindowsVersionsChooseTheRoute) {
  installer = CompleteInstaller();
  installer.Replace("temp.shr", installer.Package({{"readme.txt", Text("small")}}));
  installer.Add("spawn.exe", Text("spawn"));
  std::string setup = WriteInstaller();
  for (const char* version : {"win31", "nt40", "winxp", "win7", "win10"}) {
    SCOPED_TRACE(version);
    SetWindowsVersion(version);
    RunResult run = Run(setup, "/An");
    EXPECT_EQ(run.exit_code, 0u) << ErrorLog();
    std::string w = WorkDirectory();
    EXPECT_FALSE(testing_support::FileExists(w + "spawn.exe")) << "32-bit route";
    EXPECT_TRUE(testing_support::FileExists(w + "uninst.exe"));
    DeleteFileA(record.c_str());
    std::filesystem::remove_all(tmp);
    CreateDirectoryA(tmp.c_str(), nullptr);
  }
}

// Wine reports the version stored in the registry when no other setting applies; "3.2" takes
// the 16-bit route, as the systems that carried the 16-bit engine did.
class StoredSystemVersion {
 public:
  explicit StoredSystemVersion(const char* version) {
    RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, KEY_READ | KEY_WRITE, &key_);
    DWORD size = sizeof old_;
    had_ = RegQueryValueExA(key_, "CurrentVersion", nullptr, nullptr, reinterpret_cast<BYTE*>(old_),
                            &size) == ERROR_SUCCESS;
    Set(version);
  }
  ~StoredSystemVersion() {
    if (had_) Set(old_);
    RegCloseKey(key_);
  }

 private:
  static constexpr const char* kKey = "Software\\Microsoft\\Windows NT\\CurrentVersion";
  void Set(const char* version) {
    RegSetValueExA(key_, "CurrentVersion", 0, REG_SZ, reinterpret_cast<const BYTE*>(version),
                   static_cast<DWORD>(lstrlenA(version) + 1));
  }
  HKEY key_ = nullptr;
  bool had_ = false;
  char old_[32] = "";
};

TEST_F(LauncherE2E, SixteenBitRouteOnVersionThreePointTwo) {
  installer.Add("setup.cfg", Text("[script]"));
  installer.Add("spawn.exe", Text("spawn"));
  installer.Add("unst16.shr", installer.Package({{"uninst16.exe", Text("u16")}}));
  installer.Add("inst16.shr", installer.Package({{"~0000.exe", EngineBytes()}}));
  installer.Add("inst32.shr", installer.Package({{"engine32.exe", Text("never unpacked")}}));
  installer.Add("dosshell.pif", Text("pif"));
  std::string setup = WriteInstaller();
  StoredSystemVersion version("3.2");
  RunResult run = Run(setup, "/An");
  EXPECT_EQ(run.exit_code, 0u) << ErrorLog();
  std::string w = WorkDirectory();
  EXPECT_EQ(ReadFileText(w + "~0000.bat"),
            "del " + w + "init.ini\r\n" + "del " + w + "spawn.exe\r\n" + "del " + w +
                "uninst16.exe\r\n" + "del " + w + "~0000.exe\r\n" + "del " + w + "~0000.dll\r\n" +
                "del " + w + "dosshell.pif\r\n" + "del " + w + "~0000.bat\r\n" + "rd " +
                w.substr(0, w.size() - 1) + "\r\n");
  EXPECT_FALSE(testing_support::FileExists(w + "engine32.exe"));
  EXPECT_EQ(EngineRecord().size(), 3u);
}

// Run by its own test entry under a German system locale (see CMakeLists.txt); elsewhere the
// locale is whatever the machine has, and the test has nothing to show.
TEST_F(LauncherE2E, LanguageLibraryChosenByTheLocale) {
  char expected[8];
  if (GetEnvironmentVariableA("TOVALIN_E2E_LOCALE", expected, sizeof expected) == 0) {
    GTEST_SKIP() << "runs under the German locale only";
  }
  char locale[4] = "";
  ASSERT_GT(GetLocaleInfoA(LOCALE_SYSTEM_DEFAULT, LOCALE_SABBREVLANGNAME, locale, 4), 0);
  ASSERT_STREQ(locale, expected) << "the locale of this run is not set up";
  installer = CompleteInstaller();
  installer.Drop("InstallENU.dll");
  installer.Add("InstallDEU.dll", Text("german"));
  installer.Add("Install.dll", Text("neutral"));
  std::string setup = WriteInstaller();
  RunResult run = Run(setup, "/An");
  EXPECT_EQ(run.exit_code, 0u) << ErrorLog();
  EXPECT_EQ(ReadFileText(WorkDirectory() + "~0000.dll"), "german");
}

}  // namespace
