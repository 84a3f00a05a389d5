// The real launcher under Wine against installers built to hurt it, machines that fail it, and
// libraries planted beside it. Every hostile run must end within a bound (a hang guard on the
// wait, not a speed claim) with its documented exit code, never start an engine from partial
// data, and create nothing outside its work directory: the private TMP holds at most that
// directory, the installer's folder is as it was, and nothing new shows up in C:\windows
// (besides the logs), C:\ or the root of Z:.
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "archive/archive_format.h"
#include "base/little_endian.h"
#include "implode/implode.h"
#include "package/package_format.h"
#include "tests/e2e/launcher_fixture.h"
#include "tests/support/package_records.h"

using testing_support::ReadFile;
using testing_support::ReadFileText;

namespace {

using e2e::Bytes;
using e2e::FromBuildTree;
using e2e::RunResult;
using e2e::Text;

namespace fs = std::filesystem;

// A hostile run that takes longer than this hangs.
constexpr DWORD kHostileBound = 30000;

uint32_t Get32(const Bytes& bytes, size_t at) {
  return endian::LoadLittleEndian32(&bytes[at]);
}

void Put32(Bytes* bytes, size_t at, uint32_t value) {
  endian::StoreLittleEndian32(&(*bytes)[at], value);
}

// Where the first file's stream starts in a package.
constexpr size_t kFirstStreamAt = package::kHeaderSize + package::kRecordSize;

// The offset of the entry header of a member, following the chain as built.
size_t EntryOffset(const Bytes& installer, const std::string& name) {
  uint32_t at =
      Get32(installer, installer.size() - archive::kTrailerSize + archive::kTrailerFirstEntryAt);
  while (at != 0) {
    if (reinterpret_cast<const char*>(&installer[at + archive::kHeaderNameAt]) == name) return at;
    at = Get32(installer, at);
  }
  ADD_FAILURE() << "no member " << name;
  return 0;
}

// Whether the tests run on Windows itself rather than Wine, which exports wine_get_version.
bool WindowsItself() {
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll == nullptr || GetProcAddress(ntdll, "wine_get_version") == nullptr;
}

// Top-level names of a folder, without the ones listed.
std::vector<std::string> NamesIn(const std::string& folder,
                                 const std::vector<std::string>& without = {}) {
  std::vector<std::string> names;
  for (const std::string& name : testing_support::ListFolder(folder)) {
    bool skip = false;
    for (const std::string& other : without)
      skip = skip || lstrcmpiA(name.c_str(), other.c_str()) == 0;
    if (!skip) names.push_back(name);
  }
  return names;
}

class HostileE2E : public e2e::LauncherE2E {
 protected:
  // What a run could touch outside its work directory.
  struct Surroundings {
    std::map<std::string, std::string> installer_folder;  // without tmp and the engine record
    std::vector<std::string> windows;                     // without the logs
    std::vector<std::string> drive_c;
    std::vector<std::string> drive_z;
  };

  Surroundings Look() {
    Surroundings seen;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(dir.path())) {
      std::string name = fs::relative(entry.path(), dir.path()).string();
      if (name == "engine.txt" || name == "tmp" || name.rfind("tmp\\", 0) == 0) continue;
      seen.installer_folder[name] =
          entry.is_directory() ? "<dir>" : ReadFileText(entry.path().string());
    }
    seen.windows = NamesIn(e2e::WindowsDirectory(), {"tovalin.log", "dizozud.log"});
    seen.drive_c = NamesIn("C:\\");
    seen.drive_z = NamesIn("Z:\\");
    return seen;
  }

  // Nothing was made outside the work directory, and nothing around it changed.
  void ExpectContained(const Surroundings& before) {
    std::vector<std::string> in_tmp = testing_support::ListFolder(tmp);
    EXPECT_LE(in_tmp.size(), 1u) << "the temporary directory holds only the work directory";
    for (const std::string& name : in_tmp)
      EXPECT_EQ(name.substr(0, 2), "AI") << name;
    Surroundings after = Look();
    EXPECT_EQ(after.installer_folder, before.installer_folder);
    EXPECT_EQ(after.windows, before.windows);
    EXPECT_EQ(after.drive_c, before.drive_c);
    EXPECT_EQ(after.drive_z, before.drive_z);
  }

  void ForgetRun() {
    fs::remove_all(tmp);
    CreateDirectoryA(tmp.c_str(), nullptr);
    DeleteFileA(ErrorLogPath().c_str());
    DeleteFileA(record.c_str());
  }

  // A small installer, quick to run: the complete one without temporary files and uninstaller,
  // with the engine package below.
  static testing_support::InstallerRecipe SmallInstaller() {
    testing_support::InstallerRecipe small = testing_support::CompleteInstaller(EngineBytes());
    small.Drop("temp.shr").Drop("unst32.shr").Replace("inst32.shr", EnginePackage());
    return small;
  }

  // The engine package: the engine first, a small second file whose record the tests damage.
  static const Bytes& EnginePackage() {
    static const Bytes package = testing_support::InstallerRecipe().Package(
        {{"~0000.exe", EngineBytes()}, {"license.txt", Text("license")}});
    return package;
  }

  // Writes the installer with its bytes changed by patch.
  template <typename Patch>
  // The installer as written, patched, with checksums that fit the patch: the defences behind
  // the checksums are what these tests are after.
  std::string WritePatchedInstaller(Patch patch) {
    std::string setup = WriteInstaller();
    Bytes bytes = ReadFile(setup);
    patch(&bytes);
    testing_support::RecomputeChecksums(&bytes);
    testing_support::WriteFile(setup, bytes);
    return setup;
  }

  // Runs a hostile installer in quiet mode and checks what every such run promises. The error
  // log is the caller's to judge, as it may name the work directory.
  RunResult RunHostile(const std::string& setup, DWORD expected_exit_code) {
    Surroundings before = Look();
    RunResult run = Run(setup, "/An", kHostileBound);
    EXPECT_TRUE(run.started);
    EXPECT_EQ(run.exit_code, expected_exit_code);
    EXPECT_TRUE(EngineRecord().empty()) << "an engine started: " << EngineCommandLine();
    ExpectContained(before);
    return run;
  }

  std::string EngineDamaged() {
    const std::string package = dir.path() + "\\inst32.shr";
    return "The installer engine in '" + package + "' is damaged and was not started.\r\n";
  }

  std::string CopyFailed(const std::string& member, const std::string& target) {
    return "Error copy file from '" + dir.path() + "\\" + member + "' to '" + WorkDirectory() +
           target + "': " + e2e::SystemReason(ERROR_FILE_NOT_FOUND) + "\r\n";
  }
};

// ---- Hostile installers -----------------------------------------------------------------------

TEST_F(HostileE2E, PackageFileNamesThatLeaveTheWorkDirectory) {
  struct Case {
    const char* what;
    std::string name;  // written into the name field; without a NUL when it fills the field
  };
  const Case cases[] = {
      {"parent folder", "..\\hostile_parent.txt"},
      {"two folders up", "..\\..\\hostile_two_up.txt"},
      {"folder root", "\\hostile_root.txt"},
      {"forward slash", "/hostile_slash.txt"},
      {"folder inside", "sub\\hostile_inside.txt"},
      {"drive", "C:\\hostile_drive.txt"},
      {"drive-relative", "C:hostile_drive_relative.txt"},
      {"parent, forward", "../hostile_parent_slash.txt"},
      {"no NUL", std::string(package::kNameFieldSize, 'H')},
  };
  installer = SmallInstaller();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ForgetRun();
    std::string setup = WritePatchedInstaller([&](Bytes* bytes) {
      size_t record_at = EntryOffset(*bytes, "inst32.shr") + archive::kEntryHeaderSize +
                         testing_support::RecordOffsets(EnginePackage())[1];
      std::fill(bytes->begin() + record_at, bytes->begin() + record_at + package::kNameFieldSize,
                0);
      std::copy(c.name.begin(), c.name.end(), bytes->begin() + record_at);
    });
    RunHostile(setup, 1);
    EXPECT_EQ(ErrorLog(), EngineDamaged());
    // The engine came out whole, but from a package that did not: it stays unstarted.
    std::string w = WorkDirectory();
    EXPECT_EQ(ReadFile(w + "~0000.exe"), EngineBytes());
    EXPECT_EQ(NamesIn(w),
              (std::vector<std::string>{"init.ini", "~0000.bat", "~0000.exe", "~0000.shr"}));
  }
}

// The temporary files' package is optional: one that breaks off at an escaping name ends its
// own unpacking, the run goes on with the engine's package, and nothing lands outside.
TEST_F(HostileE2E, EscapingNameInTheOptionalPackage) {
  installer = SmallInstaller();
  Bytes temporary =
      installer.Package({{"readme.txt", Text("read me")}, {"placeholder.txt", Text("x")}});
  size_t record_at = testing_support::RecordOffsets(temporary)[1];
  std::fill(temporary.begin() + record_at, temporary.begin() + record_at + package::kNameFieldSize,
            0);
  const std::string name = "..\\..\\hostile_temporary.txt";
  std::copy(name.begin(), name.end(), temporary.begin() + record_at);
  installer.Add("temp.shr", temporary);
  std::string setup = WriteInstaller();
  Surroundings before = Look();
  RunResult run = Run(setup, "/An", kHostileBound);
  EXPECT_EQ(run.exit_code, 0u) << ErrorLog();
  EXPECT_EQ(EngineRecord().size(), 3u);
  std::string w = WorkDirectory();
  EXPECT_EQ(ReadFileText(w + "readme.txt"), "read me");
  EXPECT_EQ(ReadFile(w + "~0000.exe"), EngineBytes());
  ExpectContained(before);
}

TEST_F(HostileE2E, ArchiveChainThatLoops) {
  struct Case {
    const char* what;
    const char* from;  // the member whose next entry offset is bent
    const char* to;    // back to this member
    const char* lost;  // the required member the run then looks for around the loop
    const char* target;
  };
  const Case cases[] = {
      // Without dosshell.pif, whose lookup goes round the loop.
      {"last member back to the first", "InstallENU.dll", "init.ini", "dosshell.pif",
       "dosshell.pif"},
      // The engine package and everything after it are off the chain.
      {"a member to itself", "setup.cfg", "setup.cfg", "inst16.shr", "~0000.shr"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ForgetRun();
    installer = SmallInstaller();
    if (std::string(c.lost) == "dosshell.pif") installer.Drop("dosshell.pif");
    std::string setup = WritePatchedInstaller([&](Bytes* bytes) {
      Put32(bytes, EntryOffset(*bytes, c.from), static_cast<uint32_t>(EntryOffset(*bytes, c.to)));
    });
    RunHostile(setup, 1);
    EXPECT_EQ(ErrorLog(), CopyFailed(c.lost, c.target));
  }
}

TEST_F(HostileE2E, MemberSizeThatRunsPastTheEndOfTheFile) {
  const uint32_t past_the_end[] = {1, 4096, 0x7FFFFFFF, 0xFFFFFFFF};
  installer = SmallInstaller();
  for (uint32_t extra : past_the_end) {
    SCOPED_TRACE(extra);
    ForgetRun();
    std::string setup = WritePatchedInstaller([&](Bytes* bytes) {
      size_t at = EntryOffset(*bytes, "inst32.shr");
      uint32_t reaches_end = static_cast<uint32_t>(bytes->size() - at - archive::kEntryHeaderSize);
      uint32_t size = extra >= 0x7FFFFFFF ? extra : reaches_end + extra;
      Put32(bytes, at + archive::kHeaderSizeAt, size);
    });
    RunHostile(setup, 1);
    // The engine package is missing, so is its 16-bit stand-in.
    EXPECT_EQ(ErrorLog(), CopyFailed("inst16.shr", "~0000.shr"));
    EXPECT_FALSE(testing_support::FileExists(WorkDirectory() + "~0000.shr"))
        << "a copy cut short is not left behind";
  }
}

TEST_F(HostileE2E, FileCountBeyondWhatThePackageHolds) {
  const int16_t counts[] = {32767, 3, 0, -1, -32768};
  installer = SmallInstaller();
  for (int16_t count : counts) {
    SCOPED_TRACE(count);
    ForgetRun();
    std::string setup = WritePatchedInstaller([&](Bytes* bytes) {
      endian::StoreLittleEndian16(
          &(*bytes)[EntryOffset(*bytes, "inst32.shr") + archive::kEntryHeaderSize +
                    package::kHeaderFileCountAt],
          static_cast<uint16_t>(count));
    });
    RunHostile(setup, 1);
    EXPECT_EQ(ErrorLog(), EngineDamaged());
  }
}

TEST_F(HostileE2E, DamagedEngineStream) {
  struct Case {
    const char* what;
    size_t at;  // from the start of the engine's stream
    uint8_t value;
  };
  // The stream begins with its literal mode (0 or 1) and its dictionary size (4 to 6).
  const Case cases[] = {
      {"literal mode", 0, 7},
      {"dictionary size", 1, 3},
      {"dictionary size too large", 1, 9},
  };
  installer = SmallInstaller();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ForgetRun();
    std::string setup = WritePatchedInstaller([&](Bytes* bytes) {
      size_t stream =
          EntryOffset(*bytes, "inst32.shr") + archive::kEntryHeaderSize + kFirstStreamAt;
      (*bytes)[stream + c.at] = c.value;
    });
    RunHostile(setup, 1);
    EXPECT_EQ(ErrorLog(), EngineDamaged());
  }

  // A stream that ends before its end code: the record claims less than the stream needs.
  SCOPED_TRACE("stream cut short");
  ForgetRun();
  installer = SmallInstaller();
  Bytes cut = EnginePackage();
  Put32(&cut, package::kHeaderSize + package::kRecordCompressedSizeAt,
        Get32(cut, package::kHeaderSize + package::kRecordCompressedSizeAt) / 2);
  cut.resize(testing_support::RecordOffsets(cut)[1]);
  endian::StoreLittleEndian16(&cut[package::kHeaderFileCountAt], 1);
  installer.Replace("inst32.shr", cut);
  RunHostile(WriteInstaller(), 1);
  EXPECT_EQ(ErrorLog(), EngineDamaged());
}

// Decodes the first stream of a package to memory; false unless it decodes whole.
bool DecodeFirstFile(const Bytes& package, Bytes* out) {
  struct Source {
    const Bytes* bytes;
    size_t at;
    size_t end;
    Bytes* out;
  } source = {
      &package, kFirstStreamAt,
      kFirstStreamAt + testing_support::RecordAt(package, package::kHeaderSize).compressed_size,
      out};
  auto read = [](uint8_t* buffer, uint32_t* count, void* param) -> uint32_t {
    auto* s = static_cast<Source*>(param);
    const uint32_t n = static_cast<uint32_t>(std::min<size_t>(*count, s->end - s->at));
    std::copy(s->bytes->begin() + static_cast<long>(s->at),
              s->bytes->begin() + static_cast<long>(s->at + n), buffer);
    s->at += n;
    return n;
  };
  auto write = [](uint8_t* buffer, uint32_t* count, void* param) {
    auto* s = static_cast<Source*>(param);
    s->out->insert(s->out->end(), buffer, buffer + *count);
  };
  static ImplodeWorkArea work;
  out->clear();
  return DecodeImplodeStream(read, write, &work, &source) == IMPLODE_OK;
}

// One bit flipped in a literal near the end of the engine's stream, in the 64 KiB that a real
// engine carries behind its image: the stream still decodes, to an engine that still runs, but
// to other bytes. The installer's checksums catch it before anything runs: exit code 1, an entry
// in the error log, and a box unless the run is quiet. Without checksums the altered engine runs,
// as it did before installers carried them.
TEST_F(HostileE2E, FlippedBitInTheEngineNeverRuns) {
  Bytes engine = EngineBytes();
  const Bytes overlay = testing_support::RandomBytes(64 << 10, 9);
  engine.insert(engine.end(), overlay.begin(), overlay.end());
  const Bytes package = installer.Package({{"~0000.exe", engine}});
  Bytes flipped;
  Bytes decoded;
  for (size_t back = 200; back < 600 && flipped.empty(); ++back) {
    Bytes candidate = package;
    candidate[candidate.size() - back] ^= 0x10;
    if (DecodeFirstFile(candidate, &decoded) && decoded.size() == engine.size() &&
        decoded != engine) {
      flipped = candidate;
    }
  }
  ASSERT_FALSE(flipped.empty()) << "no bit near the stream's end decodes to other bytes";

  installer.Add("setup.cfg", Text("[script]"));
  installer.Add("inst32.shr", package);
  installer.Add("dosshell.pif", Text("pif"));
  std::string setup = WriteInstaller();
  const Bytes written = ReadFile(setup);
  const size_t data = EntryOffset(written, "inst32.shr") + archive::kEntryHeaderSize;
  Bytes damaged = written;
  std::copy(flipped.begin(), flipped.end(), damaged.begin() + static_cast<long>(data));
  const std::string message =
      "The installer '" + setup + "' is damaged (in 'inst32.shr'). Please download it again.";
  for (const char* arguments : {"", "/An"}) {
    SCOPED_TRACE(arguments);
    ForgetRun();
    testing_support::WriteFile(setup, damaged);
    Surroundings before = Look();
    RunResult run = Run(setup, arguments, kHostileBound);
    EXPECT_EQ(run.exit_code, 1u);
    EXPECT_TRUE(EngineRecord().empty()) << "an engine started: " << EngineCommandLine();
    EXPECT_EQ(ErrorLog(), message + "\r\n");
    EXPECT_EQ(run.warning_text, *arguments == '\0' ? message : std::string());
    ExpectContained(before);
  }

  ForgetRun();
  testing_support::WriteFile(setup, written);
  SetEnvironmentVariableA("TOVALIN_ENGINE_EXIT", "5");
  EXPECT_EQ(Run(setup, "/An").exit_code, 5u) << ErrorLog();
  EXPECT_EQ(ReadFile(WorkDirectory() + "~0000.exe"), engine);

  // Without the record's magic the installer carries no checksums: it runs as it always did.
  ForgetRun();
  size_t directory = damaged.size() - archive::kTrailerSize - archive::kDirectoryTailSize;
  directory -= Get32(damaged, directory + archive::kTailRecordAreaLengthAt);
  damaged[directory - archive::kChecksumTailSize] = 'x';
  testing_support::WriteFile(setup, damaged);
  EXPECT_EQ(Run(setup, "/An").exit_code, 5u) << ErrorLog();
  EXPECT_EQ(ReadFile(WorkDirectory() + "~0000.exe"), decoded);
}

// The same small installer cut at every sixteenth of its length. Cut inside the launcher's
// image, the system refuses to start it; cut anywhere after, the payload's trailer is gone, the
// install script is missing, and the run ends with the warning (shown in quiet mode too).
TEST_F(HostileE2E, InstallerTruncatedAtEverySixteenth) {
  installer = SmallInstaller();
  Bytes whole = ReadFile(WriteInstaller());
  const size_t image = LauncherBytes().size();
  const std::string missing = dir.path() +
                              "\\setup.cfg was not found. Installation file is "
                              "missing or corrupt!\r\n";
  for (size_t k = 0; k < 16; ++k) {
    size_t length = whole.size() * k / 16;
    SCOPED_TRACE("cut at " + std::to_string(k) + "/16: " + std::to_string(length) + " bytes");
    ForgetRun();
    testing_support::WriteFile(dir.Join("setup.exe"), Bytes(whole.begin(), whole.begin() + length));
    Surroundings before = Look();
    RunResult run = Run(dir.Join("setup.exe"), "/An", kHostileBound, /*may_not_start=*/true);
    EXPECT_TRUE(EngineRecord().empty());
    ExpectContained(before);
    if (length < image) {
      EXPECT_FALSE(run.started) << "exit code " << run.exit_code;
      EXPECT_EQ(ErrorLog(), "");
    } else {
      EXPECT_TRUE(run.started);
      EXPECT_EQ(run.exit_code, 1u);
      EXPECT_EQ(ErrorLog(), missing);
    }
  }
}

// ---- Failing machines --------------------------------------------------------------------------

// TMP names a file, or a folder nobody has made yet: the first gives way to the Windows
// directory's "Temp", the second is made with its parents; either way the engine runs.
TEST_F(HostileE2E, TemporaryPathThatIsNoFolder) {
  installer = SmallInstaller();
  std::string setup = WriteInstaller();
  std::string notes = dir.Join("notes.txt");
  testing_support::WriteFile(notes, std::string("the user's notes"));
  struct Case {
    std::string tmp;
    std::string work_in;
  } const cases[] = {
      {notes, e2e::WindowsDirectory() + "\\Temp\\AI"},
      {tmp + "\\made\\for\\it", tmp + "\\made\\for\\it\\AI"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.tmp);
    ForgetRun();
    run_tmp = e2e::Wide(c.tmp);
    RunResult run = Run(setup, "/An", kHostileBound);
    EXPECT_EQ(run.exit_code, 0u) << ErrorLog();
    EXPECT_EQ(ErrorLog(), "");
    const std::string engine = EngineCommandLine();
    EXPECT_EQ(lstrcmpiA(engine.substr(0, c.work_in.size()).c_str(), c.work_in.c_str()), 0)
        << engine;
    EXPECT_EQ(ReadFileText(notes), "the user's notes");
    // A work directory outlives its run; this one is outside the test's folder.
    const size_t end = engine.find("\\~0000.exe");
    if (end != std::string::npos) fs::remove_all(engine.substr(0, end));
  }
}

// A scanner holding a fresh file for 3 s, within the launcher's bound: the run waits it out,
// traces each retry, and ends as it would without it, with no copy left behind. Held longer than
// the bound, a package copy stays with a cleanup line of its own, and the engine's start fails
// with exit code 259, the system's reason in the error log, and a box unless the run is quiet.
TEST_F(HostileE2E, ScannerHoldingFreshFiles) {
  struct Case {
    const char* file;
    DWORD share;
    DWORD hold_ms;
    bool quiet;
    DWORD exit_code;
  };
  const Case cases[] = {
      {"temp.shr", FILE_SHARE_READ, 3000, true, 0},
      {"~0000.shr", FILE_SHARE_READ, 3000, true, 0},
      {"~0000.exe", 0, 3000, true, 0},
      {"temp.shr", FILE_SHARE_READ, 8000, true, 0},
      {"~0000.exe", 0, 8000, true, e2e::kStillActive},
      {"~0000.exe", 0, 8000, false, e2e::kStillActive},
  };
  installer = SmallInstaller();
  installer.Add("temp.shr", testing_support::InstallerRecipe().Package(
                                {{"data.bin", testing_support::RandomBytes(1 << 20, 9)}}));
  std::string setup = WriteInstaller();
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.file) + " held " + std::to_string(c.hold_ms) + " ms" +
                 (c.quiet ? ", quiet" : ""));
    ForgetRun();
    testing_support::WriteFile(TraceLogPath(), std::string());
    e2e::StandInScanner scanner(tmp, c.file, c.share, c.hold_ms);
    RunResult run = Run(setup, c.quiet ? "/An" : "", kHostileBound);
    scanner.Stop();
    EXPECT_TRUE(scanner.held());
    EXPECT_EQ(run.exit_code, c.exit_code) << ErrorLog();
    const std::string w = WorkDirectory();
    // Windows refuses a held file with a sharing violation; Wine says a held program is not
    // found.
    const DWORD refusal = std::string(c.file) == "~0000.exe" && !WindowsItself()
                              ? ERROR_FILE_NOT_FOUND
                              : ERROR_SHARING_VIOLATION;
    const std::string trace = ReadFileText(TraceLogPath());
    EXPECT_NE(trace.find("Debug:'" + w + c.file + "' held, error " + std::to_string(refusal) +
                         ": retry 1 in 100 ms"),
              std::string::npos)
        << trace;
    const bool held_for_good = c.hold_ms > 5100;
    if (std::string(c.file) == "~0000.exe" && held_for_good) {
      const std::string entry = "The installer engine '" + w +
                                "~0000.exe' could not be started: " + e2e::SystemReason(refusal);
      EXPECT_EQ(ErrorLog(), entry + "\r\n");
      EXPECT_TRUE(EngineRecord().empty());
      if (GetEnvironmentVariableA("DISPLAY", nullptr, 0) > 0) {
        EXPECT_EQ(run.warning_text, c.quiet ? "" : entry);
      }
      continue;
    }
    EXPECT_EQ(ErrorLog(), "");
    EXPECT_FALSE(EngineRecord().empty());
    EXPECT_TRUE(testing_support::FileExists(w + "data.bin")) << "every file came out";
    if (c.share == 0) continue;  // the engine, which stays
    EXPECT_EQ(testing_support::FileExists(w + c.file), held_for_good) << "a copy left behind";
    if (held_for_good) {
      EXPECT_NE(ReadFileText(w + "~0000.bat").find("del " + w + c.file + "\r\n"),
                std::string::npos);
    }
  }
  DeleteFileA(TraceLogPath().c_str());
}

// An engine package whose engine is no program: its start fails for good at once, with exit code
// 259, the system's reason in the error log, and a box unless the run is quiet.
TEST_F(HostileE2E, EngineThatIsNoProgram) {
  installer = SmallInstaller();
  installer.Replace("inst32.shr", testing_support::InstallerRecipe().Package(
                                      {{"~0000.exe", Text("this is not a program")}}));
  std::string setup = WriteInstaller();
  for (bool quiet : {true, false}) {
    SCOPED_TRACE(quiet ? "quiet" : "normal");
    ForgetRun();
    RunResult run = Run(setup, quiet ? "/An" : "", kHostileBound);
    EXPECT_EQ(run.exit_code, e2e::kStillActive);
    EXPECT_TRUE(EngineRecord().empty());
    const std::string log = ErrorLog();
    const std::string head = "The installer engine '" + WorkDirectory() +
                             "~0000.exe' could not be "
                             "started: error ";
    ASSERT_EQ(log.rfind(head, 0), 0u) << log;
    const DWORD error = std::strtoul(log.c_str() + head.size(), nullptr, 10);
    EXPECT_NE(error, static_cast<DWORD>(ERROR_SHARING_VIOLATION)) << "nothing holds it";
    const std::string entry = head.substr(0, head.size() - 6) + e2e::SystemReason(error);
    EXPECT_EQ(log, entry + "\r\n");
    if (GetEnvironmentVariableA("DISPLAY", nullptr, 0) > 0) {
      EXPECT_EQ(run.warning_text, quiet ? "" : entry);
    }
  }
}

TEST_F(HostileE2E, LogsThatCannotBeWritten) {
  struct Case {
    const char* what;
    const char* folder;  // made a folder in the Windows directory
    bool complete;       // whether the installer is complete
    DWORD exit_code;
  };
  const Case cases[] = {
      {"error log is a folder, run fails", "tovalin.log", false, 1},
      {"error log is a folder, run completes", "tovalin.log", true, 0},
      {"trace log is a folder, run completes", "dizozud.log", true, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ForgetRun();
    installer = SmallInstaller();
    if (!c.complete) installer.Drop("dosshell.pif");
    std::string setup = WriteInstaller();
    std::string blocked = e2e::WindowsDirectory() + "\\" + c.folder;
    ASSERT_TRUE(CreateDirectoryA(blocked.c_str(), nullptr));
    testing_support::WriteFile(blocked + "\\kept.txt", std::string("kept"));
    RunResult run = Run(setup, "/An", kHostileBound);
    EXPECT_EQ(run.exit_code, c.exit_code);
    EXPECT_EQ(EngineRecord().empty(), !c.complete);
    EXPECT_EQ(testing_support::ListFolder(blocked), std::vector<std::string>{"kept.txt"});
    EXPECT_EQ(ReadFileText(blocked + "\\kept.txt"), "kept");
    DeleteFileA((blocked + "\\kept.txt").c_str());
    RemoveDirectoryA(blocked.c_str());
  }
}

// Another program's directories under the names the run would try first. The system's unique
// names start from the clock's low 16 bits and count up, stepping over names that exist; a run
// started so that its name falls among those taken must step over all of them, and never use
// or touch one.
TEST_F(HostileE2E, WorkDirectoryNamesTakenByAnotherProgram) {
  installer = SmallInstaller();
  std::string setup = WriteInstaller();
  auto number_of_run = [&]() {
    std::string w = WorkDirectory();
    return static_cast<uint32_t>(std::strtoul(w.substr(tmp.size() + 3).c_str(), nullptr, 16));
  };
  auto next = [](uint32_t n) { return ((n + 1) & 0xFFFF) == 0 ? 1u : n + 1; };

  // How far past the clock at its start a run's number lands.
  ForgetRun();
  uint32_t started = GetTickCount();
  Run(setup, "/An", kHostileBound);
  const uint32_t delay = (number_of_run() - started) & 0xFFFF;
  ForgetRun();

  // The names of a second from a few seconds ahead are taken; the first one holds a file.
  constexpr uint32_t kTaken = 1024;
  constexpr uint32_t kLead = 6000;
  const uint32_t first = ((GetTickCount() + kLead) & 0xFFFF) | 1;
  uint32_t number = first;
  std::vector<std::string> taken;
  char name[32];
  for (uint32_t i = 0; i < kTaken; ++i, number = next(number)) {
    wsprintfA(name, "AI%x.tmp", number);
    taken.push_back(tmp + "\\" + name);
    ASSERT_TRUE(CreateDirectoryA(taken.back().c_str(), nullptr));
  }
  wsprintfA(name, "AI%x.tmp", number);  // the first name after them
  testing_support::WriteFile(taken.front() + "\\theirs.txt", std::string("theirs"));

  // Start the run so that its number lands amid the names taken, as far from either end as a
  // start-up slower or quicker than the one measured may stray (Wine under load varies).
  auto landing_offset = [&] { return (GetTickCount() + delay - first) & 0xFFFF; };
  ASSERT_GT(landing_offset(), 0x8000u) << "taking the names took longer than the lead";
  while (landing_offset() > kTaken)
    Sleep(1);
  while (landing_offset() < kTaken / 2)
    Sleep(1);
  RunResult run = Run(setup, "/An", kHostileBound);
  EXPECT_EQ(run.exit_code, 0u) << ErrorLog();
  std::vector<std::string> engine = EngineRecord();
  ASSERT_FALSE(engine.empty());
  EXPECT_EQ(engine[0].rfind("cmdline=" + tmp + "\\" + name + "\\~0000.exe ", 0), 0u) << engine[0];
  EXPECT_EQ(testing_support::ListFolder(taken.front()), std::vector<std::string>{"theirs.txt"});
  EXPECT_EQ(ReadFileText(taken.front() + "\\theirs.txt"), "theirs");
  auto untouched = std::count_if(taken.begin(), taken.end(), [](const std::string& folder) {
    return testing_support::ListFolder(folder).empty();
  });
  EXPECT_EQ(static_cast<size_t>(untouched), taken.size() - 1)
      << "another program's directories stay as they were";
}

// ---- Planted libraries -------------------------------------------------------------------------

const char* const kPlantedNames[] = {"mpr.dll",       "version.dll",  "uxtheme.dll", "dwmapi.dll",
                                     "cryptbase.dll", "profapi.dll",  "userenv.dll", "winmm.dll",
                                     "secur32.dll",   "comctl32.dll", "msimg32.dll", "propsys.dll"};

class PlantingE2E : public HostileE2E {
 protected:
  void Plant(const std::string& folder) {
    Bytes planted = ReadFile(FromBuildTree(TOVALIN_PLANTED_DLL));
    for (const char* name : kPlantedNames)
      testing_support::WriteFile(folder + "\\" + name, planted);
  }

  std::vector<std::string> Marks(const std::string& folder) {
    std::vector<std::string> marks;
    for (const std::string& name : testing_support::ListFolder(folder)) {
      if (name.size() > 7 && name.substr(name.size() - 7) == ".loaded") marks.push_back(name);
    }
    return marks;
  }
};

TEST_F(PlantingE2E, LibrariesBesideTheInstallerAreNeverLoaded) {
  installer = SmallInstaller();
  std::string setup = WriteInstaller();
  Plant(dir.path());

  // The control: a program that loads the same names the ordinary way takes the planted ones.
  std::string probe = dir.Join("probe.exe");
  testing_support::WriteFile(probe, ReadFile(FromBuildTree(TOVALIN_PLANTING_PROBE)));
  std::string names;
  for (const char* name : kPlantedNames)
    names += std::string(names.empty() ? "" : " ") + name;
  Run(probe, names, kHostileBound);
  // Wine already holds some of these names in every process, and a name already loaded is not
  // looked for again; the rest (cryptbase, dwmapi, profapi, propsys, userenv) come from beside
  // the program.
  std::vector<std::string> control = Marks(dir.path());
  EXPECT_GE(control.size(), 5u) << "Wine would load none of them from beside a program";
  for (const std::string& mark : control)
    DeleteFileA(dir.Join(mark).c_str());
  DeleteFileA(probe.c_str());

  // The launcher, with its dialog, the network name of its drive and the engine's start.
  RunResult run = Run(setup, "", kHostileBound);
  EXPECT_EQ(run.exit_code, 0u) << ErrorLog();
  EXPECT_EQ(EngineRecord().size(), 3u) << "the run completes";
  EXPECT_EQ(Marks(dir.path()), std::vector<std::string>{}) << "planted libraries were loaded";
}

TEST_F(PlantingE2E, RedirectionFolderBesideTheInstallerIsRefused) {
  struct Case {
    const char* what;
    bool folder;
  };
  const Case cases[] = {{"folder with planted libraries", true}, {"file", false}};
  installer = SmallInstaller();
  std::string setup = WriteInstaller();
  std::string local = setup + ".local";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ForgetRun();
    if (c.folder) {
      CreateDirectoryA(local.c_str(), nullptr);
      Plant(local);
    } else {
      testing_support::WriteFile(local, std::string("redirect"));
    }
    RunResult run = RunHostile(setup, 1);
    EXPECT_EQ(ErrorLog(),
              "The redirection folder '" + local + "' beside the installer is not allowed.\r\n");
    EXPECT_TRUE(testing_support::ListFolder(tmp).empty()) << "refused before anything is made";
    if (c.folder) {
      EXPECT_EQ(Marks(local), std::vector<std::string>{});
      fs::remove_all(local);
    } else {
      DeleteFileA(local.c_str());
    }
  }
}

}  // namespace
