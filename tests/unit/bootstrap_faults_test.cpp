// The bootstrap sequence on machines that fail it: a temporary directory that takes no new
// entries, a TMP that names a file, a Windows directory where the logs cannot be written,
// another program that takes the work directory's name first, a disk that fills up, and a
// redirection folder beside the installer. Each run must end the documented way, never start
// the engine from partial data, and leave everything the user had before as it was.
//
// Drive C: is a temporary folder; the machine record of the posix side supplies the faults
// that a Linux host running as root cannot produce through permissions alone.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "archive/archive_reader.h"
#include "archive/archive_writer.h"
#include "base/bounded_text.h"
#include "launcher/bootstrap.h"
#include "launcher/run_state.h"
#include "package/package_writer.h"
#include "package/unpacker.h"
#include "platform/files.h"
#include "tests/support/installer_parts.h"
#include "tests/support/pretend_machine.h"
#include "tests/support/stand_in_dialog.h"
#include "tests/support/standard_machine.h"
#include "tests/support/test_files.h"
#include "ui/progress.h"

using testing_support::Bytes;
using testing_support::ReadFileText;
using testing_support::TempDir;
using testing_support::Text;

namespace fs = std::filesystem;

namespace {

// Every file and folder under a host folder, by relative path: a file's content, or "<dir>".
using Snapshot = std::map<std::string, std::string>;

Snapshot TakeSnapshot(const std::string& folder) {
  Snapshot snapshot;
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(folder)) {
    std::string name = fs::relative(entry.path(), folder).string();
    snapshot[name] = entry.is_directory() ? "<dir>" : ReadFileText(entry.path().string());
  }
  return snapshot;
}

// Makes a folder refuse new entries, as a temporary directory without write access does on
// Windows. The permission bits do not stop root, so as root the folder is made immutable as
// well. works() tells whether the folder really refuses a new file.
class ReadOnlyFolder {
 public:
  explicit ReadOnlyFolder(const std::string& path) : path_(path) {
    chmod(path_.c_str(), 0555);
    if (geteuid() == 0) SetImmutable(true);
    std::string probe = path_ + "/probe";
    int fd = open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0666);
    works_ = fd < 0;
    if (fd >= 0) {
      close(fd);
      unlink(probe.c_str());
    }
  }
  ~ReadOnlyFolder() {
    if (geteuid() == 0) SetImmutable(false);
    chmod(path_.c_str(), 0755);
  }
  ReadOnlyFolder(const ReadOnlyFolder&) = delete;
  ReadOnlyFolder& operator=(const ReadOnlyFolder&) = delete;
  bool works() const { return works_; }

 private:
  void SetImmutable(bool on) {
    int fd = open(path_.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd < 0) return;
    int flags = 0;
    if (ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0) {
      flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
      ioctl(fd, FS_IOC_SETFLAGS, &flags);
    }
    close(fd);
  }

  std::string path_;
  bool works_ = false;
};

class BootstrapFaults : public testing::Test {
 protected:
  void SetUp() override {
    ResetRunState(&run);
    engine = pretend::EngineSeen{};
    drive_c = root.Join("c");
    ASSERT_TRUE(pretend::SetUpStandardMachine(drive_c, &engine));
    // What the user had before the run.
    testing_support::WriteFile(drive_c + "/TEMP/notes.txt", std::string("the user's notes"));
    testing_support::WriteFile(drive_c + "/WINDOWS/win.ini", std::string("[windows]"));
  }

  void TearDown() override { pretend::ResetMachine(); }

  // A complete installer beside the module path; without_dosshell makes one whose run fails.
  void WriteSetup(bool without_dosshell = false) {
    testing_support::InstallerRecipe installer = testing_support::CompleteInstaller(EngineBytes());
    if (without_dosshell) installer.Drop("dosshell.pif");
    installer.Write(drive_c + "/Setup/setup.exe", Text("MZ launcher"));
  }

  static Bytes EngineBytes() { return testing_support::RandomBytes(40000, 11); }

  int Run() {
    uint32_t exit_code = 0;
    return RunBootstrapSteps(&run, nullptr, &exit_code);
  }

  std::string ErrorLog() {
    std::string path = drive_c + "/WINDOWS/tovalin.log";
    return testing_support::FileExists(path) ? ReadFileText(path) : std::string();
  }

  // Everything on drive C: before the run is still there, unchanged; new entries are only the
  // work directories (named by allowed_prefix inside TEMP) and the error log.
  void ExpectNothingLost(const Snapshot& before, const std::string& allowed_prefix = "TEMP/AI") {
    Snapshot after = TakeSnapshot(drive_c);
    for (const auto& [name, content] : before) {
      auto found = after.find(name);
      ASSERT_NE(found, after.end()) << name << " was lost";
      EXPECT_EQ(found->second, content) << name << " changed";
    }
    for (const auto& [name, content] : after) {
      if (before.count(name) != 0) continue;
      bool allowed = name.rfind(allowed_prefix, 0) == 0 || name == "WINDOWS/tovalin.log";
      EXPECT_TRUE(allowed) << name << " appeared outside the work directory";
    }
  }

  std::vector<std::string> WorkDirectories() {
    std::vector<std::string> found;
    for (const std::string& name : testing_support::ListFolder(drive_c + "/TEMP")) {
      if (name.rfind("AI", 0) == 0) found.push_back(name);
    }
    return found;
  }

  // The run's state, as the entry point would keep it.
  RunState run;
  TempDir root;
  std::string drive_c;
  pretend::EngineSeen engine;
};

// ---- A redirection folder beside the installer ------------------------------------------------

TEST_F(BootstrapFaults, RedirectionBesideTheInstallerEndsTheRunBeforeAnythingIsMade) {
  struct Case {
    const char* what;
    const char* name;  // beside setup.exe
    bool folder;
    bool refused;
  };
  const Case cases[] = {
      {"redirection folder", "setup.exe.local", true, true},
      {"redirection folder holding a DLL", "setup.exe.local", true, true},
      {"redirection file", "setup.exe.local", false, true},
      {"a folder of another program", "other.exe.local", true, false},
      {"a name that only starts the same", "setup.exe.localized", true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SetUp();
    WriteSetup();
    std::string beside = drive_c + "/Setup/" + c.name;
    if (c.folder) {
      fs::create_directories(beside);
      if (std::string(c.what).find("DLL") != std::string::npos) {
        testing_support::WriteFile(beside + "/version.dll", std::string("MZ planted"));
      }
    } else {
      testing_support::WriteFile(beside, std::string("redirect"));
    }
    Snapshot before = TakeSnapshot(drive_c);
    int launched = Run();
    if (c.refused) {
      EXPECT_EQ(launched, 0);
      EXPECT_EQ(engine.starts, 0);
      EXPECT_EQ(ErrorLog(),
                "The redirection folder 'C:\\Setup\\setup.exe.local' beside the "
                "installer is not allowed.\r\n");
      EXPECT_TRUE(WorkDirectories().empty()) << "refused before the work directory";
      ExpectNothingLost(before);
    } else {
      EXPECT_EQ(launched, 1) << ErrorLog();
      EXPECT_EQ(engine.starts, 1);
    }
  }
}

// ---- The temporary directory -------------------------------------------------------------------

// A temporary folder that refuses new entries gives way to the Windows directory's "Temp", where
// the work directory is made just as private.
TEST_F(BootstrapFaults, TemporaryDirectoryThatTakesNoNewEntriesFallsBack) {
  WriteSetup();
  Snapshot before = TakeSnapshot(drive_c);
  ReadOnlyFolder read_only(drive_c + "/TEMP");
  if (!read_only.works()) GTEST_SKIP() << "this machine cannot make a folder read-only";
  EXPECT_EQ(Run(), 1) << ErrorLog();
  EXPECT_EQ(engine.starts, 1);
  // The name the refused folder would not take was the first: the next one is AI2.
  EXPECT_EQ(engine.command_line.rfind("C:\\WINDOWS\\Temp\\AI2.tmp\\~0000.exe ", 0), 0u);
  EXPECT_STREQ(pretend::Machine().private_directory, "C:\\WINDOWS\\Temp\\AI2.tmp");
  EXPECT_EQ(ErrorLog(), "");
  ExpectNothingLost(before, "WINDOWS/Temp/AI");
}

// TMP names a file, a folder not made yet (made, with its parents), or a file while the Windows
// directory's "Temp" is a file too: then the run ends, naming both folders and both reasons.
TEST_F(BootstrapFaults, TemporaryPathThatIsNoFolder) {
  struct Case {
    const char* temp_path;
    bool windows_temp_is_a_file;
    const char* work_directory;  // empty when the run ends
    const char* allowed;         // what the run may add to drive C:
  };
  const Case cases[] = {
      {"C:\\TEMP\\notes.txt\\", false, "C:\\WINDOWS\\Temp\\AI2.tmp", "WINDOWS/Temp/AI"},
      {"C:\\TEMP\\gone\\", false, "C:\\TEMP\\gone\\AI2.tmp", "TEMP/gone"},
      {"C:\\TEMP\\deep\\er\\gone\\", false, "C:\\TEMP\\deep\\er\\gone\\AI2.tmp", "TEMP/deep"},
      {"C:\\TEMP\\notes.txt\\", true, "", "-"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.temp_path);
    SetUp();
    WriteSetup();
    if (c.windows_temp_is_a_file) {
      fs::remove(drive_c + "/WINDOWS/Temp");
      testing_support::WriteFile(drive_c + "/WINDOWS/Temp", std::string("a file"));
    }
    Snapshot before = TakeSnapshot(drive_c);
    text::Copy(pretend::Machine().temp_path, 1024, c.temp_path);
    EXPECT_EQ(Run(), c.work_directory[0] != '\0' ? 1 : 0);
    ExpectNothingLost(before, c.allowed);
    if (c.work_directory[0] != '\0') {
      EXPECT_EQ(engine.command_line.rfind(std::string(c.work_directory) + "\\~0000.exe ", 0), 0u)
          << engine.command_line;
      EXPECT_STREQ(pretend::Machine().private_directory, c.work_directory);
      EXPECT_EQ(ErrorLog(), "");
      continue;
    }
    EXPECT_EQ(engine.starts, 0);
    const std::string entry =
        "Cannot create a work directory in 'C:\\TEMP\\notes.txt' (error 20: Not a directory) or "
        "in 'C:\\WINDOWS\\Temp': error 20: Not a directory";
    EXPECT_EQ(ErrorLog(), entry + "\r\n");
    EXPECT_EQ(pretend::Machine().warning_box_text, entry);
  }
}

// ---- The Windows directory ---------------------------------------------------------------------

TEST_F(BootstrapFaults, LogsThatCannotBeWrittenChangeNoOutcome) {
  struct Case {
    const char* what;
    void (*prepare)(const std::string& windows);
  };
  const Case cases[] = {
      {"error log is a folder",
       [](const std::string& w) { fs::create_directories(w + "/tovalin.log"); }},
      {"trace log is a folder",
       [](const std::string& w) { fs::create_directories(w + "/dizozud.log"); }},
      {"read-only logs",
       [](const std::string& w) {
         testing_support::WriteFile(w + "/tovalin.log", std::string("earlier entry\r\n"));
         testing_support::WriteFile(w + "/dizozud.log", std::string("earlier trace\r\n"));
         chmod((w + "/tovalin.log").c_str(), 0444);
         chmod((w + "/dizozud.log").c_str(), 0444);
       }},
      {"no Windows directory", [](const std::string& w) { fs::remove_all(w); }},
  };
  for (const Case& c : cases) {
    for (bool failing : {true, false}) {
      SCOPED_TRACE(std::string(c.what) + (failing ? ", failing run" : ", complete run"));
      SetUp();
      WriteSetup(failing);
      c.prepare(drive_c + "/WINDOWS");
      Snapshot before = TakeSnapshot(drive_c);
      EXPECT_EQ(Run(), failing ? 0 : 1);
      EXPECT_EQ(engine.starts, failing ? 0 : 1);
      if (!failing) {
        EXPECT_EQ(engine.engine, EngineBytes());
      }
      ExpectNothingLost(before);
    }
  }
}

TEST_F(BootstrapFaults, WindowsDirectoryThatTakesNoNewEntries) {
  WriteSetup(/*without_dosshell=*/true);
  Snapshot before = TakeSnapshot(drive_c);
  ReadOnlyFolder read_only(drive_c + "/WINDOWS");
  if (!read_only.works()) GTEST_SKIP() << "this machine cannot make a folder read-only";
  EXPECT_EQ(Run(), 0) << "the copy failure still ends the run";
  EXPECT_EQ(engine.starts, 0);
  ExpectNothingLost(before);
  EXPECT_FALSE(testing_support::FileExists(drive_c + "/WINDOWS/tovalin.log"));
}

// ---- Another program in the temporary directory ------------------------------------------------

struct Squatter {
  int names_to_take;  // the next so many work directory names are taken first
  std::vector<std::string> taken;
};

void TakeNameFirst(const char* host_path, void* context) {
  auto* squatter = static_cast<Squatter*>(context);
  if (squatter->names_to_take == 0) return;
  --squatter->names_to_take;
  fs::create_directories(host_path);
  testing_support::WriteFile(std::string(host_path) + "/~0000.exe", std::string("planted engine"));
  squatter->taken.push_back(host_path);
}

TEST_F(BootstrapFaults, WorkDirectoryNameTakenByAnotherProgram) {
  struct Case {
    int names_taken;
    bool launched;
    const char* engine_in;
  };
  const Case cases[] = {
      {1, true, "C:\\TEMP\\AI2.tmp\\~0000.exe "},
      {5, true, "C:\\TEMP\\AI6.tmp\\~0000.exe "},
      {1000, false, ""},  // every name the run tries is taken
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.names_taken);
    SetUp();
    WriteSetup();
    Squatter squatter{c.names_taken, {}};
    pretend::Machine().before_make_directory = TakeNameFirst;
    pretend::Machine().before_make_directory_context = &squatter;
    EXPECT_EQ(Run(), c.launched ? 1 : 0);
    ASSERT_FALSE(squatter.taken.empty());
    for (const std::string& taken : squatter.taken) {
      EXPECT_EQ(testing_support::ListFolder(taken), std::vector<std::string>{"~0000.exe"})
          << "another program's directory is never used";
      EXPECT_EQ(ReadFileText(taken + "/~0000.exe"), "planted engine");
    }
    if (c.launched) {
      EXPECT_EQ(engine.command_line.rfind(c.engine_in, 0), 0u) << engine.command_line;
      EXPECT_EQ(engine.engine, EngineBytes());
    } else {
      EXPECT_EQ(engine.starts, 0);
      EXPECT_EQ(ErrorLog(),
                "Cannot create a work directory in 'C:\\TEMP' (error 17: File exists) or in "
                "'C:\\WINDOWS\\Temp': error 17: File exists\r\n");
    }
  }
}

// ---- A disk that fills up ----------------------------------------------------------------------

// The knob itself: a write that does not fit writes what does and says so; then the disk is full.
TEST_F(BootstrapFaults, FullDiskWritesWhatFitsThenRefuses) {
  pretend::PretendMachine& m = pretend::Machine();
  platform::FileHandle file = platform::CreateOrTruncate("C:\\TEMP\\full.bin");
  ASSERT_NE(file, platform::kNoFile);
  m.disk_limited = true;
  m.disk_bytes_left = 10;
  const char bytes[] = "0123456789abcdef";
  EXPECT_EQ(platform::WriteBytes(file, bytes, 4), 4);
  EXPECT_EQ(platform::WriteBytes(file, bytes, 16), 6);
  errno = 0;
  EXPECT_EQ(platform::WriteBytes(file, bytes, 1), -1);
  EXPECT_EQ(errno, ENOSPC);
  EXPECT_EQ(platform::WriteBytes(file, bytes, 0), 0) << "an empty write needs no room";
  platform::CloseFile(file);
  m.disk_limited = false;
  EXPECT_EQ(ReadFileText(drive_c + "/TEMP/full.bin"), "0123012345");
}

// The same installer on disks that fill up after every sixteenth of what a complete run writes:
// the engine starts only when everything was written, the run makes at most its one work
// directory, and nothing the user had is lost.
TEST_F(BootstrapFaults, DiskThatFillsUpNeverStartsAPartialEngine) {
  WriteSetup();
  pretend::PretendMachine& m = pretend::Machine();
  constexpr uint32_t kPlenty = 1u << 30;
  m.disk_limited = true;
  m.disk_bytes_left = kPlenty;
  ASSERT_EQ(Run(), 1) << ErrorLog();
  const uint32_t needed = kPlenty - m.disk_bytes_left;
  ASSERT_GT(needed, EngineBytes().size());

  std::vector<uint32_t> budgets;
  for (uint32_t k = 0; k < 16; ++k)
    budgets.push_back(needed * k / 16);
  budgets.push_back(needed - 1);
  budgets.push_back(needed);
  for (uint32_t budget : budgets) {
    SCOPED_TRACE("disk full after " + std::to_string(budget) + " of " + std::to_string(needed));
    SetUp();
    WriteSetup();
    Snapshot before_run = TakeSnapshot(drive_c);
    m.disk_limited = true;
    m.disk_bytes_left = budget;
    int launched = Run();
    m.disk_limited = false;
    if (budget < needed) {
      EXPECT_EQ(launched, 0);
      EXPECT_EQ(engine.starts, 0);
    } else {
      EXPECT_EQ(launched, 1);
      EXPECT_EQ(engine.engine, EngineBytes());
    }
    EXPECT_LE(WorkDirectories().size(), 1u);
    ExpectNothingLost(before_run);
  }
}

}  // namespace
