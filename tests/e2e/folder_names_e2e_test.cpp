// Folders whose names the ANSI code page cannot spell, end to end: the launcher is an ANSI
// program, and a user's profile folder (with Downloads and Temp under it) may be named in any
// script. The launcher must reach the engine with paths that open, never with question marks.
#include <filesystem>
#include <string>
#include <vector>

#include "tests/e2e/launcher_fixture.h"

namespace {

namespace fs = std::filesystem;
using e2e::LauncherE2E;
using e2e::RunResult;
using e2e::Wide;
using testing_support::ReadFile;
using testing_support::ReadFileText;

const wchar_t kCyrillicName[] = L"\u0414\u043c\u0438\u0442\u0440\u0438\u0439";
const wchar_t kKanjiName[] = L"\u8868";  // 0x95 0x5C in code page 932: a backslash byte

std::string Ansi(const std::wstring& wide) {
  std::string text(wide.size() * 2, '\0');
  int length = WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), &text[0],
                                   static_cast<int>(text.size()), nullptr, nullptr);
  text.resize(static_cast<size_t>(length));
  return text;
}

// A folder as the launcher should give it: whole where the code page spells it, else in its short
// form, which names the same folder.
std::string AnsiForm(const std::wstring& folder) {
  BOOL lost = FALSE;
  WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, folder.c_str(), -1, nullptr, 0, nullptr, &lost);
  if (!lost) return Ansi(folder);
  wchar_t buffer[MAX_PATH];
  DWORD length = GetShortPathNameW(folder.c_str(), buffer, MAX_PATH);
  return length > 0 && length < MAX_PATH ? Ansi(std::wstring(buffer, length)) : "<no short form>";
}

// A path's folder, read character by character: a double-byte character may end in a backslash
// byte.
std::string FolderOf(const std::string& path) {
  size_t last_separator = 0;
  for (size_t i = 0; i < path.size(); ++i) {
    if (IsDBCSLeadByte(static_cast<BYTE>(path[i]))) {
      ++i;
    } else if (path[i] == '\\') {
      last_separator = i;
    }
  }
  return path.substr(0, last_separator);
}

// What a run left for the engine: the paths it was given, in the ANSI code page.
struct EngineView {
  std::string work_directory;  // with its backslash
  std::string install_script;
  std::string current_directory;
};

class FolderNamesE2E : public LauncherE2E {
 protected:
  void SetUp() override {
    LauncherE2E::SetUp();
    if (GetACP() != expected_code_page_) {
      GTEST_SKIP() << "runs under code page " << expected_code_page_ << ", not " << GetACP();
    }
  }

  // A folder of the test's own, made by its wide name.
  std::wstring MakeFolder(const std::wstring& parent, const std::wstring& name) {
    std::wstring folder = parent + L"\\" + name;
    EXPECT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    return folder;
  }

  // The complete installer, moved to a folder and a file name the code page may not spell.
  std::wstring PlaceInstaller(const std::wstring& folder, const std::wstring& name) {
    const std::wstring installer = folder + L"\\" + name;
    const std::string written = WriteInstaller();
    installer_size_ = ReadFile(written).size();
    EXPECT_TRUE(MoveFileW(Wide(written).c_str(), installer.c_str()));
    return installer;
  }

  EngineView ReadEngineView() {
    EngineView view;
    std::vector<std::string> lines = EngineRecord();
    if (lines.size() != 3) {
      ADD_FAILURE() << "the engine did not run to its end; error log: " << ErrorLog();
      return view;
    }
    const std::string line = lines[0].substr(8);
    const size_t engine = line.find("~0000.exe ");
    EXPECT_NE(engine, std::string::npos) << line;
    if (engine == std::string::npos) return view;
    view.work_directory = line.substr(0, engine);
    view.install_script = line.substr(engine + 10, line.size() - engine - 11);
    view.current_directory = lines[1].substr(4);
    return view;
  }

  // Everything the engine was handed opens (the script's folder holds the installer, which
  // holds the script), and the cleanup script, run by cmd as the engine runs it, removes the
  // work directory.
  void ExpectUsable(const EngineView& view, const std::string& installer_name) {
    for (const std::string& path :
         {view.work_directory, view.install_script, view.current_directory}) {
      EXPECT_EQ(path.find('?'), std::string::npos) << path;
    }
    EXPECT_EQ(ReadFile(view.work_directory + "~0000.exe"), EngineBytes());
    const std::string script_folder = FolderOf(view.install_script);
    EXPECT_EQ(script_folder, view.current_directory);
    EXPECT_EQ(ReadFile(script_folder + "\\" + installer_name).size(), installer_size_);
    const std::string script = ReadFileText(view.work_directory + "~0000.bat");
    EXPECT_EQ(script.find('?'), std::string::npos) << script;
    EXPECT_NE(script.find("rd " + view.work_directory.substr(0, view.work_directory.size() - 1)),
              std::string::npos)
        << script;

    // A copy, since the script deletes itself.
    const std::string cleanup = dir.Join("cleanup.bat");
    testing_support::WriteFile(cleanup, script);
    std::string command = "cmd /c \"" + cleanup + "\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    ASSERT_TRUE(CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                               nullptr, nullptr, &startup, &process));
    WaitForSingleObject(process.hProcess, 60000);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    EXPECT_EQ(GetFileAttributesA(view.work_directory.c_str()), INVALID_FILE_ATTRIBUTES)
        << "the cleanup script left " << view.work_directory;
  }

  UINT expected_code_page_ = 1252;
  size_t installer_size_ = 0;
};

struct FolderCase {
  const char* title;
  bool installer_in_named_folder;
  bool temp_in_named_folder;
};

TEST_F(FolderNamesE2E, InstallerAndTemporaryFoldersOutsideTheCodePage) {
  const FolderCase cases[] = {
      {"installer folder", true, false},
      {"temporary folder", false, true},
      {"both", true, true},
  };
  int round = 0;
  for (const FolderCase& c : cases) {
    SCOPED_TRACE(c.title);
    const std::wstring base = MakeFolder(Wide(dir.path()), L"round" + std::to_wstring(++round));
    installer = CompleteInstaller();
    const std::wstring installer_folder =
        c.installer_in_named_folder ? MakeFolder(base, kCyrillicName) : base;
    const std::wstring installer = PlaceInstaller(installer_folder, L"setup.exe");
    run_tmp = c.temp_in_named_folder ? MakeFolder(base, kCyrillicName + std::wstring(L"_tmp"))
                                     : Wide(tmp);
    DeleteFileA(record.c_str());
    DeleteFileA(ErrorLogPath().c_str());

    RunResult run = Run(installer);
    EXPECT_EQ(run.exit_code, 0u) << ErrorLog();
    EXPECT_EQ(run.warning_text, "");
    EXPECT_EQ(ErrorLog(), "");
    const EngineView view = ReadEngineView();
    if (view.work_directory.empty()) continue;
    ExpectUsable(view, "setup.exe");

    EXPECT_EQ(view.install_script, AnsiForm(installer_folder) + "\\setup.cfg");
    EXPECT_EQ(view.current_directory, AnsiForm(installer_folder));
    EXPECT_EQ(view.work_directory.rfind(AnsiForm(run_tmp) + "\\", 0), 0u) << view.work_directory;
  }
}

// Under a double-byte code page every name it spells is given whole, also one whose second
// byte is a backslash, in the folder and in the launcher's own name.
class DoubleByteFolderE2E : public FolderNamesE2E {
 protected:
  DoubleByteFolderE2E() { expected_code_page_ = 932; }
};

TEST_F(DoubleByteFolderE2E, NamesWithATrailingBackslashByteAreGivenWhole) {
  installer = CompleteInstaller();
  installer.Drop("setup.cfg");  // the script lies beside it, under the launcher's stem
  const std::wstring folder = MakeFolder(Wide(dir.path()), kKanjiName);
  const std::wstring installer = PlaceInstaller(folder, kKanjiName + std::wstring(L".exe"));
  testing_support::WriteFile(Ansi(folder + L"\\" + kKanjiName + L".cfg"), std::string("[script]"));

  RunResult run = Run(installer);
  EXPECT_EQ(run.exit_code, 0u) << ErrorLog();
  EXPECT_EQ(ErrorLog(), "");
  const EngineView view = ReadEngineView();
  if (view.work_directory.empty()) return;
  ExpectUsable(view, Ansi(kKanjiName + std::wstring(L".exe")));
  EXPECT_EQ(ReadFileText(view.install_script), "[script]");
  EXPECT_EQ(view.install_script, Ansi(folder + L"\\" + kKanjiName + L".cfg"));
  EXPECT_EQ(view.current_directory, Ansi(folder));
}

}  // namespace
