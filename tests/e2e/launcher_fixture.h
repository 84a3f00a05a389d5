// The fixture of the end-to-end tests: builds installers with the archive and package writers
// around the test engine, runs the real launcher.exe under Wine as a separate process with a
// private temporary directory, and reads back what a user would see: the work directory, the
// engine's record, the logs, the dialog and the warning box, and the full 32-bit exit code.
#pragma once

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
#include "tests/support/installer_parts.h"
#include "tests/support/test_files.h"

namespace e2e {

using testing_support::Bytes;
using testing_support::ReadFile;
using testing_support::ReadFileText;
using testing_support::TempDir;

using testing_support::Text;

constexpr DWORD kStillActive = 259;

// A path of the build tree (a Unix path) as Wine's Z: drive shows it.
inline std::string FromBuildTree(const char* unix_path) {
  std::string path = std::string("Z:") + unix_path;
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return path;
}

// Text in the ANSI code page as UTF-16.
inline std::wstring Wide(const std::string& ansi) {
  std::wstring wide(ansi.size(), L'\0');
  int length = MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), &wide[0],
                                   static_cast<int>(wide.size()));
  wide.resize(static_cast<size_t>(length));
  return wide;
}

inline std::string WindowsDirectory() {
  char buffer[MAX_PATH];
  GetWindowsDirectoryA(buffer, sizeof buffer);
  return buffer;
}

// "error N: " and the system's own text for error: how the launcher's error lines end when a
// Windows call failed.
inline std::string SystemReason(DWORD error) {
  char text[512] = "";
  DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                error, 0, text, sizeof text, nullptr);
  while (length > 0 && static_cast<unsigned char>(text[length - 1]) <= ' ')
    --length;
  return "error " + std::to_string(error) + ": " + std::string(text, length);
}

inline std::vector<std::string> Lines(const std::string& text) {
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

inline std::string WindowText(HWND window) {
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
  // As Windows asks a shown window whether it hangs, from this other process, every 20 ms while
  // the dialog is shown: asks made, and asks answered within a second. An ask that fails because
  // the dialog was hidden or went meanwhile is no ask: Windows ghosts only a shown window, and
  // under Wine on a display without a window manager, DestroyWindow waits 2 s for one.
  int asked = 0;
  int answered = 0;
  // The dialog's DPI awareness as this other process reads it (-1: not read, or not readable
  // on this system).
  int awareness = -1;

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
        // While the dialog is destroyed its children go in order, and the icon, whose text is
        // its resource name, becomes the first child for a moment: it is not the message line.
        HWND line = GetWindow(dialog, GW_CHILD);
        bool icon = (GetWindowLongA(line, GWL_STYLE) & SS_TYPEMASK) == SS_ICON;
        std::string text = icon ? std::string() : WindowText(line);
        if (!text.empty()) dialog_message = text;
        Ask(dialog);
      }
      HWND box = FindWindowA("#32770", "Warning");
      if (box != nullptr && warning_text.empty()) {
        EnumChildWindows(box, CollectStatic, reinterpret_cast<LPARAM>(&warning_text));
        PostMessageA(box, WM_COMMAND, IDOK, 0);
      }
      Sleep(1);
    }
  }

  void Ask(HWND dialog) {
    if (!IsWindowVisible(dialog) || GetTickCount() - asked_at_ < 20) return;
    asked_at_ = GetTickCount();
    DWORD_PTR result = 0;
    if (SendMessageTimeoutA(dialog, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 1000, &result) != 0) {
      ++asked;
      ++answered;
    } else if (IsWindowVisible(dialog)) {
      ++asked;
    }
    if (awareness >= 0) return;
    using ContextOfWindow = void*(WINAPI*)(HWND);
    using AwarenessOfContext = int(WINAPI*)(void*);
    HMODULE user = GetModuleHandleA("user32.dll");
    const auto context_of = reinterpret_cast<ContextOfWindow>(
        reinterpret_cast<void (*)()>(GetProcAddress(user, "GetWindowDpiAwarenessContext")));
    const auto awareness_of = reinterpret_cast<AwarenessOfContext>(
        reinterpret_cast<void (*)()>(GetProcAddress(user, "GetAwarenessFromDpiAwarenessContext")));
    if (context_of != nullptr && awareness_of != nullptr) {
      awareness = awareness_of(context_of(dialog));
    }
  }

  std::atomic<bool> stop_{false};
  std::thread thread_;
  DWORD asked_at_ = 0;
};

// A stand-in for an on-access scanner: the moment the launcher lets go of the file name in a work
// directory under tmp, it opens that file, sharing it only as share says (0: not at all), and
// holds it for hold_ms, as scanners hold a fresh file while they look at it. Sharing it for
// reading lets it in while the launcher still reads a copy, to hold it across the deletion.
// held() tells whether it got the file at all.
class StandInScanner {
 public:
  StandInScanner(const std::string& tmp, const std::string& name, DWORD share, DWORD hold_ms)
      : tmp_(tmp), name_(name), share_(share), hold_ms_(hold_ms), thread_([this] { Watch(); }) {}
  ~StandInScanner() { Stop(); }
  void Stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
  }
  bool held() const { return held_; }

 private:
  void Watch() {
    while (!stop_) {
      WIN32_FIND_DATAA found;
      HANDLE search = FindFirstFileA((tmp_ + "\\AI*").c_str(), &found);
      if (search != INVALID_HANDLE_VALUE) {
        FindClose(search);
        // Refused while the launcher still writes it; taken the moment it closes the file.
        std::string path = tmp_ + "\\" + found.cFileName + "\\" + name_;
        HANDLE file =
            CreateFileA(path.c_str(), GENERIC_READ, share_, nullptr, OPEN_EXISTING, 0, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
          held_ = true;
          Sleep(hold_ms_);
          CloseHandle(file);
          return;
        }
      }
      Sleep(0);
    }
  }

  std::string tmp_;
  std::string name_;
  DWORD share_;
  DWORD hold_ms_;
  std::atomic<bool> held_{false};
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

struct RunResult {
  bool started = false;  // whether the system started the installer at all
  DWORD exit_code = 0;
  bool dialog_seen = false;
  std::string dialog_message;
  std::string warning_text;
  int asked = 0;  // what DesktopWatcher says of them
  int answered = 0;
  int awareness = -1;
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

  // The complete installer around the test engine, with a greeting of its own and temporary
  // files large enough that the dialog stays up a while; its install script named for stem.
  static testing_support::InstallerRecipe CompleteInstaller(const std::string& stem = "setup") {
    testing_support::InstallerRecipe complete = testing_support::CompleteInstaller(EngineBytes());
    complete.Replace("init.ini", Text("Welcome to the end-to-end test"))
        .Replace("temp.shr",
                 complete.Package({{"readme.txt", Text("read me")},
                                   {"data.bin", testing_support::RandomBytes(3 << 20, 5)}}))
        .Rename("setup.cfg", stem + ".cfg");
    return complete;
  }

  std::string WriteInstaller(const std::string& name = "setup.exe") {
    std::string path = dir.Join(name);
    installer.Write(path, LauncherBytes());
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
  // Wide, for values the ANSI code page cannot spell.
  class ScopedVariable {
   public:
    ScopedVariable(const wchar_t* name, const std::wstring& value) : name_(name) {
      wchar_t old[4096];
      DWORD length = GetEnvironmentVariableW(name, old, 4096);
      had_ = length > 0 && length < 4096;
      if (had_) old_ = old;
      SetEnvironmentVariableW(name, value.c_str());
    }
    ~ScopedVariable() { SetEnvironmentVariableW(name_, had_ ? old_.c_str() : nullptr); }

   private:
    const wchar_t* name_;
    bool had_ = false;
    std::wstring old_;
  };

  // Runs an installer and waits for it, at most timeout_ms: a launcher that takes longer hangs,
  // and the test fails. A run the system refuses to start fails the test unless may_not_start.
  RunResult Run(const std::string& installer, const std::string& arguments = "",
                DWORD timeout_ms = 120000, bool may_not_start = false) {
    return Run(Wide(installer), arguments, timeout_ms, may_not_start);
  }

  // The same for an installer whose path the ANSI code page may not spell.
  RunResult Run(const std::wstring& installer, const std::string& arguments = "",
                DWORD timeout_ms = 120000, bool may_not_start = false) {
    // A private temporary directory per test, so each run's work directory is easy to find.
    ScopedVariable tmp_variable(L"TMP", run_tmp.empty() ? Wide(tmp) : run_tmp);
    ScopedVariable temp_variable(L"TEMP", run_tmp.empty() ? Wide(tmp) : run_tmp);
    SetEnvironmentVariableA("TOVALIN_ENGINE_RECORD", record.c_str());
    std::wstring command = L"\"" + installer + L"\"";
    if (!arguments.empty()) command += L" " + Wide(arguments);
    std::vector<wchar_t> line(command.begin(), command.end());
    line.push_back(L'\0');
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    RunResult result;
    DesktopWatcher watcher;
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
      if (!may_not_start) ADD_FAILURE() << "cannot start the installer";
      return result;
    }
    result.started = true;
    if (WaitForSingleObject(process.hProcess, timeout_ms) != WAIT_OBJECT_0) {
      ADD_FAILURE() << "the launcher did not end within " << timeout_ms << " ms";
      TerminateProcess(process.hProcess, 0xDEAD);
      WaitForSingleObject(process.hProcess, 10000);
    }
    GetExitCodeProcess(process.hProcess, &result.exit_code);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    watcher.Stop();
    result.dialog_seen = watcher.dialog_seen;
    result.dialog_message = watcher.dialog_message;
    result.warning_text = watcher.warning_text;
    result.asked = watcher.asked;
    result.answered = watcher.answered;
    result.awareness = watcher.awareness;
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
  std::wstring run_tmp;  // the launcher's TMP and TEMP when not tmp
  std::string record;
  testing_support::InstallerRecipe installer;
};

}  // namespace e2e
