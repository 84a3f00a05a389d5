// Signed installers under Wine. make_signed_installers builds one installer with tovalin.exe and
// signs it with osslsigncode: plainly, with a second nested signature, and one byte longer so
// that signing pads it with 7 zero bytes. Each must run exactly as the unsigned one does: the
// same work directory, cleanup script, engine command line and exit code. A sparse installer just
// under the size limit, with its engine package past 2,145 MB, must run to its engine too.
#include "tests/e2e/launcher_fixture.h"

#include <filesystem>
#include <string>
#include <vector>

namespace {

using e2e::LauncherE2E;
using testing_support::Bytes;
using testing_support::ReadFile;
using testing_support::ReadFileText;

// What a run left, with the work directory's own name taken out.
struct Outcome {
  DWORD exit_code = 0;
  std::vector<std::string> work_directory;
  std::string cleanup_script;
  std::string engine_command_line;
  Bytes engine;
  std::string error_log;
};

// The text with the work directory (given with its backslash) named "<work>".
std::string Anonymous(std::string text, const std::string& work_directory) {
  const std::string name = work_directory.substr(0, work_directory.size() - 1);
  for (size_t at; (at = text.find(name)) != std::string::npos;)
    text.replace(at, name.size(), "<work>");
  return text;
}

class SignedE2E : public LauncherE2E {
 protected:
  static std::string Made(const std::string& variant) {
    return e2e::FromBuildTree(TOVALIN_SIGNED_INSTALLERS) + "\\" + variant + "\\setup.exe";
  }

  Outcome RunAndSee(const std::string& installer) {
    DeleteFileA(record.c_str());
    DeleteFileA(ErrorLogPath().c_str());
    Outcome outcome;
    outcome.exit_code = Run(installer).exit_code;
    const std::string w = WorkDirectory();
    EXPECT_FALSE(w.empty()) << installer;
    if (w.empty()) return outcome;
    outcome.work_directory = testing_support::ListFolder(w);
    outcome.cleanup_script = Anonymous(ReadFileText(w + "~0000.bat"), w);
    outcome.engine_command_line = Anonymous(EngineCommandLine(), w);
    outcome.engine = ReadFile(w + "~0000.exe");
    outcome.error_log = ErrorLog();
    std::error_code ignored;
    std::filesystem::remove_all(w, ignored);
    return outcome;
  }
};

TEST_F(SignedE2E, SignedInstallersRunExactlyLikeTheUnsignedOne) {
  SetEnvironmentVariableA("TOVALIN_ENGINE_EXIT", "7");
  // Each is run from the same place, so that even the install script's path is the same.
  const std::string setup = dir.Join("setup.exe");
  ASSERT_TRUE(CopyFileA(Made("unsigned").c_str(), setup.c_str(), FALSE));
  const Outcome expected = RunAndSee(setup);
  EXPECT_EQ(expected.exit_code, 7u) << expected.error_log;
  EXPECT_EQ(expected.engine, EngineBytes());
  EXPECT_EQ(expected.error_log, "");
  EXPECT_NE(expected.cleanup_script.find("rd <work>"), std::string::npos)
      << expected.cleanup_script;
  for (const char* variant : {"signed", "nested", "padded"}) {
    SCOPED_TRACE(variant);
    ASSERT_TRUE(CopyFileA(Made(variant).c_str(), setup.c_str(), FALSE));
    const Outcome seen = RunAndSee(setup);
    EXPECT_EQ(seen.exit_code, expected.exit_code) << seen.error_log;
    EXPECT_EQ(seen.work_directory, expected.work_directory);
    EXPECT_EQ(seen.cleanup_script, expected.cleanup_script);
    EXPECT_EQ(seen.engine_command_line, expected.engine_command_line);
    EXPECT_EQ(seen.engine, expected.engine);
    EXPECT_EQ(seen.error_log, "");
  }
}

TEST_F(SignedE2E, InstallerJustUnderTheSizeLimitRunsToItsEngine) {
  SetEnvironmentVariableA("TOVALIN_ENGINE_EXIT", "7");
  const Outcome seen = RunAndSee(Made("huge"));
  EXPECT_EQ(seen.exit_code, 7u) << seen.error_log;
  EXPECT_EQ(seen.engine, EngineBytes());
  EXPECT_EQ(seen.work_directory,
            (std::vector<std::string>{"dosshell.pif", "init.ini", "~0000.bat", "~0000.exe"}));
  EXPECT_EQ(seen.error_log, "");
}

}  // namespace
