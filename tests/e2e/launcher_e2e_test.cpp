// The real launcher.exe with a real payload, under Wine: installers are built here with the
// archive and package writers around the test engine, started as separate processes, and
// judged by what a user would see: the work directory, the cleanup script, the logs, the
// dialog, the message box, what the engine received and the exit code (all 32 bits of it).
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "archive/archive_writer.h"
#include "package/package_writer.h"
#include "tests/support/test_files.h"

using testing_support::Bytes;
using testing_support::ReadFile;
using testing_support::ReadFileText;
using testing_support::TempDir;

namespace {

constexpr DWORD kStillActive = 259;
constexpr uint32_t kDate = (2004 - 1980) << 9 | 2 << 5 | 29;  // 2004-02-29
constexpr uint32_t kTime = 13 << 11 | 37 << 5 | 42 / 2;       // 13:37:42

Bytes Text(const std::string& s) {
  return Bytes(s.begin(), s.end());
}

// A path of the build tree (a Unix path) as Wine's Z: drive shows it.
std::string FromBuildTree(const char* unix_path) {
  std::string path = std::string("Z:") + unix_path;
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return path;
}

std::string WindowsDirectory() {
  char buffer[MAX_PATH];
  GetWindowsDirectoryA(buffer, sizeof buffer);
  return buffer;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(at, end - at));
    at = end + 1;
  }
  return lines;
}

std::string WindowText(HWND window) {
  wchar_t wide[1024];
  int length = GetWindowTextW(window, wide, 1024);
  char text[2048] = "";
  if (length > 0)
    WideCharToMultiByte(CP_ACP, 0, wide, length + 1, text, sizeof text, nullptr, nullptr);
  return text;
}

// Watches the desktop while the launcher runs: whether its progress dialog showed up (and what
// its message line said), and whether a warning box came up, which it reads and dismisses.
class DesktopWatcher {
 public:
  DesktopWatcher() : thread_([this] { Watch(); }) {}
  ~DesktopWatcher() { Stop(); }
  void Stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
  }
  bool dialog_seen = false;
  std::string dialog_message;
  std::string warning_text;

 private:
  static BOOL CALLBACK CollectStatic(HWND child, LPARAM context) {
    char class_name[32];
    GetClassNameA(child, class_name, sizeof class_name);
    if (lstrcmpiA(class_name, "Static") == 0) {
      *reinterpret_cast<std::string*>(context) += WindowText(child);
    }
    return TRUE;
  }

  void Watch() {
    while (!stop_) {
      // The message line is read for as long as the dialog is up: the dialog is found as soon
      // as it exists, before it has set its text.
      HWND dialog = FindWindowA(nullptr, "Initializing...");
      if (dialog != nullptr) {
        dialog_seen = true;
        // The message line is the template's first control, and so the dialog's first child.
        // Its text is read in Unicode: Wine's ANSI read of another process's window text
        // garbles its first bytes.
        std::string text = WindowText(GetWindow(dialog, GW_CHILD));
        if (!text.empty()) dialog_message = text;
      }
      HWND box = FindWindowA("#32770", "Warning");
      if (box != nullptr && warning_text.empty()) {
        EnumChildWindows(box, CollectStatic, reinterpret_cast<LPARAM>(&warning_text));
        PostMessageA(box, WM_COMMAND, IDOK, 0);
      }
      Sleep(1);
    }
  }

  std::atomic<bool> stop_{false};
  std::thread thread_;
};

struct RunResult {
  DWORD exit_code = 0;
  bool dialog_seen = false;
  std::string dialog_message;
  std::string warning_text;
};

class LauncherE2E : public testing::Test {
 protected:
  void SetUp() override {
    tmp = dir.Join("tmp");
    CreateDirectoryA(tmp.c_str(), nullptr);
    record = dir.Join("engine.txt");
    DeleteFileA(ErrorLogPath().c_str());
    DeleteFileA(TraceLogPath().c_str());
    SetEnvironmentVariableA("TOVALIN_ENGINE_EXIT", nullptr);
    SetEnvironmentVariableA("TOVALIN_ENGINE_SLEEP_MS", nullptr);
  }

  void TearDown() override {
    DeleteFileA(ErrorLogPath().c_str());
    DeleteFileA(TraceLogPath().c_str());
    SetWindowsVersion(nullptr);
  }

  static std::string ErrorLogPath() { return WindowsDirectory() + "\\tovalin.log"; }
  static std::string TraceLogPath() { return WindowsDirectory() + "\\dizozud.log"; }

  static Bytes EngineBytes() { return ReadFile(FromBuildTree(TOVALIN_TEST_ENGINE)); }
  static Bytes LauncherBytes() { return ReadFile(FromBuildTree(TOVALIN_LAUNCHER)); }

  void AddMember(const std::string& name, const Bytes& bytes) {
    archive::ArchiveMemberSpec member;
    member.name = name;
    member.data = bytes;
    member.dos_date = kDate;
    member.dos_time = kTime;
    members.push_back(member);
  }

  static Bytes Package(const std::vector<std::pair<std::string, Bytes>>& files) {
    std::vector<package::PackageEntry> entries;
    for (const auto& [name, data] : files) {
      package::PackageEntry entry;
      entry.name = name;
      entry.data = data;
      entry.dos_date = kDate;
      entry.dos_time = kTime;
      entries.push_back(entry);
    }
    Bytes bytes;
    std::string error;
    EXPECT_TRUE(package::BuildPackage(entries, package::PackOptions{}, &bytes, &error)) << error;
    return bytes;
  }

  // A complete installer: greeting, script, temporary files (large enough that the dialog
  // stays up a while), the engine with an uninstaller, a language library and dosshell.pif.
  void AddCompleteInstaller(const std::string& stem = "setup") {
    AddMember("init.ini", Text("Welcome to the end-to-end test"));
    AddMember(stem + ".cfg", Text("[script]"));
    AddMember("temp.shr", Package({{"readme.txt", Text("read me")},
                                   {"data.bin", testing_support::RandomBytes(3 << 20, 5)}}));
    AddMember("inst32.shr", Package({{"~0000.exe", EngineBytes()}}));
    AddMember("unst32.shr", Package({{"uninst.exe", Text("uninstaller")}}));
    AddMember("InstallENU.dll", Text("english"));
    AddMember("dosshell.pif", Text("pif"));
  }

  std::string WriteInstaller(const std::string& name = "setup.exe") {
    std::string path = dir.Join(name);
    std::string error;
    EXPECT_TRUE(archive::WriteInstallerFile(path, LauncherBytes(), members, &error)) << error;
    return path;
  }

  // Wine's version for programs of that file name; nullptr removes the setting.
  static void SetWindowsVersion(const char* version, const char* exe = "setup.exe") {
    std::string key = std::string("Software\\Wine\\AppDefaults\\") + exe;
    if (version == nullptr) {
      RegDeleteKeyA(HKEY_CURRENT_USER, key.c_str());
      return;
    }
    HKEY handle;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                              &handle, nullptr),
              ERROR_SUCCESS);
    RegSetValueExA(handle, "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(version),
                   static_cast<DWORD>(lstrlenA(version) + 1));
    RegCloseKey(handle);
  }

  // Sets an environment variable for the launcher only; the test's own comes back afterwards.
  class ScopedVariable {
   public:
    ScopedVariable(const char* name, const std::string& value) : name_(name) {
      char old[4096];
      DWORD length = GetEnvironmentVariableA(name, old, sizeof old);
      had_ = length > 0 && length < sizeof old;
      if (had_) old_ = old;
      SetEnvironmentVariableA(name, value.c_str());
    }
    ~ScopedVariable() { SetEnvironmentVariableA(name_, had_ ? old_.c_str() : nullptr); }

   private:
    const char* name_;
    bool had_ = false;
    std::string old_;
  };

  RunResult Run(const std::string& installer, const std::string& arguments = "") {
    // A private temporary directory per test, so each run's work directory is easy to find.
    ScopedVariable tmp_variable("TMP", tmp);
    ScopedVariable temp_variable("TEMP", tmp);
    SetEnvironmentVariableA("TOVALIN_ENGINE_RECORD", record.c_str());
    std::string command = "\"" + installer + "\"";
    if (!arguments.empty()) command += " " + arguments;
    std::vector<char> line(command.begin(), command.end());
    line.push_back('\0');
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    RunResult result;
    DesktopWatcher watcher;
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
      ADD_FAILURE() << "cannot start " << installer;
      return result;
    }
    EXPECT_EQ(WaitForSingleObject(process.hProcess, 120000), WAIT_OBJECT_0) << "launcher hangs";
    GetExitCodeProcess(process.hProcess, &result.exit_code);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    watcher.Stop();
    result.dialog_seen = watcher.dialog_seen;
    result.dialog_message = watcher.dialog_message;
    result.warning_text = watcher.warning_text;
    return result;
  }

  // The one work directory the run made, with its trailing backslash; empty when none.
  std::string WorkDirectory() {
    std::vector<std::string> names = testing_support::ListFolder(tmp);
    EXPECT_LE(names.size(), 1u);
    return names.empty() ? std::string() : tmp + "\\" + names.front() + "\\";
  }

  // What the engine recorded, as "key=value" lines.
  std::vector<std::string> EngineRecord() {
    if (!testing_support::FileExists(record)) return {};
    return Lines(ReadFileText(record));
  }

  std::string EngineCommandLine() {
    std::vector<std::string> lines = EngineRecord();
    return lines.empty() ? std::string("<engine not started>") : lines[0].substr(8);
  }

  std::string ErrorLog() {
    return testing_support::FileExists(ErrorLogPath()) ? ReadFileText(ErrorLogPath())
                                                       : std::string();
  }

  TempDir dir;
  std::string tmp;
  std::string record;
  std::vector<archive::ArchiveMemberSpec> members;
};

TEST_F(LauncherE2E, CompleteThirtyTwoBitRun) {
  AddCompleteInstaller();
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
  EXPECT_EQ(date, kDate);
  EXPECT_EQ(time, kTime);

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

TEST_F(LauncherE2E, ExitCodesPassThroughWhole) {
  AddCompleteInstaller();
  members[2].data = Package({{"readme.txt", Text("small")}});
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
  AddCompleteInstaller();
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

TEST_F(LauncherE2E, QuietModeCreatesNoWindow) {
  struct Case {
    const char* exe;
    const char* arguments;
  };
  const Case cases[] = {{"setup.exe", "/An"}, {"zididazo.exe", ""}, {"ZEZIVADAZ.EXE", ""}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.exe);
    members.clear();
    std::string stem(c.exe);
    stem = stem.substr(0, stem.size() - 4);
    AddCompleteInstaller(stem);
    std::string setup = WriteInstaller(c.exe);
    RunResult run = Run(setup, c.arguments);
    EXPECT_EQ(run.exit_code, 0u) << ErrorLog();
    EXPECT_FALSE(run.dialog_seen);
    EXPECT_NE(EngineCommandLine().find(c.arguments), std::string::npos);
    DeleteFileA(record.c_str());
  }
}

TEST_F(LauncherE2E, PassedThroughArguments) {
  AddCompleteInstaller();
  members[2].data = Package({{"readme.txt", Text("small")}});
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
  AddCompleteInstaller();
  members[3].name = "inst16.shr";
  members[4].name = "unst16.shr";
  std::string setup = WriteInstaller();
  RunResult run = Run(setup, "/An");
  EXPECT_EQ(run.exit_code, 0u) << ErrorLog();
  EXPECT_TRUE(testing_support::FileExists(WorkDirectory() + "uninst.exe"));
  EXPECT_EQ(EngineRecord().size(), 3u);
}

TEST_F(LauncherE2E, InstallScriptOnlyAsAicMember) {
  AddCompleteInstaller();
  members[1].name = "SETUP.AIC";
  std::string setup = WriteInstaller();
  RunResult run = Run(setup, "/An");
  EXPECT_EQ(run.exit_code, 0u) << ErrorLog();
  std::string line = EngineCommandLine();
  EXPECT_NE(line.find(" " + dir.path() + "\\setup.cfg "), std::string::npos) << line;
}

TEST_F(LauncherE2E, MissingInstallScriptWarns) {
  AddCompleteInstaller();
  members.erase(members.begin() + 1);
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
  AddCompleteInstaller();
  members.pop_back();
  std::string setup = WriteInstaller();
  RunResult run = Run(setup, "/An");
  EXPECT_EQ(run.exit_code, 1u);
  std::string w = WorkDirectory();
  EXPECT_EQ(ErrorLog(), "Error copy file from '" + dir.path() + "\\dosshell.pif' to '" + w +
                            "dosshell.pif'\r\n");
  EXPECT_TRUE(EngineRecord().empty());
  std::vector<std::string> script = Lines(ReadFileText(w + "~0000.bat"));
  ASSERT_FALSE(script.empty());
  EXPECT_EQ(script.back(), "del " + w + "~0000.dll\r");
}

TEST_F(LauncherE2E, NoLanguageLibraryAnywhere) {
  AddCompleteInstaller();
  members.erase(members.begin() + 5);
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
  testing_support::WriteFile(dir.Join("inst32.shr"), Package({{"~0000.exe", EngineBytes()}}));
  testing_support::WriteFile(dir.Join("dosshell.pif"), std::string("pif"));
  SetEnvironmentVariableA("TOVALIN_ENGINE_EXIT", "5");
  RunResult run = Run(dir.Join("setup.exe"), "/An");
  EXPECT_EQ(run.exit_code, 5u) << ErrorLog();
  EXPECT_EQ(EngineRecord().size(), 3u);
}

TEST_F(LauncherE2E, TraceLogThatExistsIsWritten) {
  AddCompleteInstaller();
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
  AddCompleteInstaller();
  members[2].data = Package({{"readme.txt", Text("small")}});
  AddMember("spawn.exe", Text("spawn"));
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
  AddMember("setup.cfg", Text("[script]"));
  AddMember("spawn.exe", Text("spawn"));
  AddMember("unst16.shr", Package({{"uninst16.exe", Text("u16")}}));
  AddMember("inst16.shr", Package({{"~0000.exe", EngineBytes()}}));
  AddMember("inst32.shr", Package({{"engine32.exe", Text("never unpacked")}}));
  AddMember("dosshell.pif", Text("pif"));
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
  AddCompleteInstaller();
  members.erase(members.begin() + 5);  // InstallENU.dll
  AddMember("InstallDEU.dll", Text("german"));
  AddMember("Install.dll", Text("neutral"));
  std::string setup = WriteInstaller();
  RunResult run = Run(setup, "/An");
  EXPECT_EQ(run.exit_code, 0u) << ErrorLog();
  EXPECT_EQ(ReadFileText(WorkDirectory() + "~0000.dll"), "german");
}

}  // namespace
