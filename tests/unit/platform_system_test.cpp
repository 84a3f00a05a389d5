// Contract of the system-fact services of the platform seam. Each test runs natively against the
// posix side and under Wine against the win32 side; where only one side can show a behaviour
// (a configured network drive, an unreadable locale), the test says so.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>

#include "platform/launcher_windows.h"
#include "platform/retry.h"
#include "tests/support/test_files.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>

#include <ctime>

#include "base/bounded_text.h"
#include "tests/support/pretend_machine.h"
#endif

using testing_support::TempDir;

namespace {

class PlatformSystem : public testing::Test {
 protected:
  void SetUp() override {
#ifndef _WIN32
    pretend::ResetMachine();
    text::Copy(pretend::Machine().windows_directory, sizeof pretend::Machine().windows_directory,
               "C:\\WINDOWS");
    text::Copy(pretend::Machine().abbreviated_language_name,
               sizeof pretend::Machine().abbreviated_language_name, "ENU");
#endif
  }
#ifndef _WIN32
  void TearDown() override {
    pretend::ResetMachine();
  }
#endif
};

// The test's own reading of the local clock, by the system's means.
platform::LocalTime SystemLocalTime() {
  platform::LocalTime now;
#ifdef _WIN32
  SYSTEMTIME local;
  GetLocalTime(&local);
  now = {local.wYear, local.wMonth, local.wDay, local.wHour, local.wMinute, local.wSecond};
#else
  time_t seconds = time(nullptr);
  struct tm local = {};
  localtime_r(&seconds, &local);
  now = {static_cast<uint16_t>(local.tm_year + 1900), static_cast<uint16_t>(local.tm_mon + 1),
         static_cast<uint16_t>(local.tm_mday),        static_cast<uint16_t>(local.tm_hour),
         static_cast<uint16_t>(local.tm_min),         static_cast<uint16_t>(local.tm_sec)};
#endif
  return now;
}

int SecondOfDay(const platform::LocalTime& t) {
  return (t.hour * 60 + t.minute) * 60 + t.second;
}

bool SameDay(const platform::LocalTime& a, const platform::LocalTime& b) {
  return a.year == b.year && a.month == b.month && a.day == b.day;
}

TEST_F(PlatformSystem, LocalClockReadsTheLocalTime) {
  platform::LocalTime before;
  platform::LocalTime now;
  platform::LocalTime after;
  do {  // again if the reading straddled midnight
    before = SystemLocalTime();
    platform::ReadLocalClock(&now);
    after = SystemLocalTime();
  } while (!SameDay(before, after));
  // TZ is EST5EDT for every test, so a UTC reading would be four or five hours off.
  EXPECT_TRUE(SameDay(now, before));
  EXPECT_GE(SecondOfDay(now), SecondOfDay(before));
  EXPECT_LE(SecondOfDay(now), SecondOfDay(after));
}

TEST_F(PlatformSystem, ProcessIdIsTheCallersOwn) {
#ifdef _WIN32
  EXPECT_EQ(platform::CurrentProcessId(), GetCurrentProcessId());
#else
  EXPECT_EQ(platform::CurrentProcessId(), static_cast<uint32_t>(getpid()));
#endif
}

TEST_F(PlatformSystem, AbbreviatedLanguageNameIsThreeLetters) {
  char name[4] = {};
  EXPECT_EQ(platform::AbbreviatedLanguageName(name, sizeof name), 4);
  EXPECT_EQ(std::strlen(name), 3u);
  for (char c : std::string(name))
    EXPECT_TRUE(c >= 'A' && c <= 'Z') << name;
  // Two bytes cannot hold the name: a failure, as GetLocaleInfoA reports it.
  char small[2];
  EXPECT_EQ(platform::AbbreviatedLanguageName(small, sizeof small), 0);
}

TEST_F(PlatformSystem, LocalDriveIsNotConnected) {
  char remote[256] = "unchanged";
  uint32_t length = sizeof remote;
  EXPECT_EQ(platform::NetworkNameOfDevice("C:", remote, &length), 0);
  EXPECT_EQ(platform::NetworkNameOfDevice("\\\\", remote, &length), 0);
}

TEST_F(PlatformSystem, DirectoryEntriesOfFoldersAndFiles) {
  TempDir dir;
  testing_support::WriteFile(dir.Join("file.txt"), std::string("x"));
  EXPECT_TRUE(platform::DirectoryEntryFound(dir.path().c_str()));
  EXPECT_TRUE(platform::DirectoryEntryFound(dir.Join("file.txt").c_str()));
  EXPECT_FALSE(platform::DirectoryEntryFound(dir.Join("missing").c_str()));
}

TEST_F(PlatformSystem, LibrariesStillLoadFromTheSystemDirectory) {
  platform::RestrictDllSearchPath();
#ifdef _WIN32
  HMODULE version = LoadLibraryA("version.dll");
  EXPECT_NE(version, nullptr);
  if (version != nullptr) FreeLibrary(version);
#endif
  // The network library loads lazily after the restriction, and still answers.
  char remote[256];
  uint32_t length = sizeof remote;
  EXPECT_EQ(platform::NetworkNameOfDevice("C:", remote, &length), 0);
#ifdef _WIN32
  // Loaded on demand: the launcher does not import it.
  EXPECT_NE(GetModuleHandleA("mpr.dll"), nullptr);
#endif
}

// One try at opening a file for reading; the handle is closed again at once.
int OpenOnce(void* path) {
  platform::FileHandle file = platform::OpenForReading(static_cast<const char*>(path));
  platform::CloseFile(file);
  return file != platform::kNoFile ? 1 : 0;
}

struct Retries {
  int count = 0;
  uint32_t paused = 0;
  static void Count(void* context, int retry, uint32_t /*error*/, uint32_t pause) {
    Retries* self = static_cast<Retries*>(context);
    EXPECT_EQ(retry, ++self->count);
    self->paused += pause;
  }
};

#ifdef _WIN32
DWORD WINAPI LetGoAfterAMoment(void* file) {
  Sleep(700);
  CloseHandle(static_cast<HANDLE>(file));
  return 0;
}

// Windows itself refuses a file another program holds with no sharing; the retries outlast a
// holder that lets go after a moment, as a scanner does.
TEST_F(PlatformSystem, RetriesOutlastAHolderThatLetsGo) {
  TempDir dir;
  const std::string path = dir.Join("fresh.exe");
  testing_support::WriteFile(path, "MZ");
  HANDLE held = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  HANDLE holder = CreateThread(nullptr, 0, LetGoAfterAMoment, held, 0, nullptr);
  Retries retries;
  platform::RetryObserver observer{Retries::Count, &retries};
  EXPECT_EQ(platform::RetryWhileHeld(OpenOnce, const_cast<char*>(path.c_str()), &observer), 1);
  EXPECT_GE(retries.count, 1);
  EXPECT_GE(retries.paused, 300u);
  WaitForSingleObject(holder, INFINITE);
  CloseHandle(holder);
}
#else
// A file held for N tries: up to the bound the retries wait it out, one pause more than there
// are gives up with the holder's error; a missing file is never retried.
TEST_F(PlatformSystem, RetriesWaitOutAHeldFileWithinTheirBound) {
  TempDir dir;
  const std::string path = dir.Join("fresh.exe");
  testing_support::WriteFile(path, "MZ");
  const uint32_t all_pauses = 100 + 200 + 400 + 800 + 1600 + 2000;
  struct Case {
    int held_for;
    const char* name;
    int opened;
    int retries;
    uint32_t paused;
  } cases[] = {
      {0, "fresh.exe", 1, 0, 0},
      {1, "fresh.exe", 1, 1, 100},
      {3, "fresh.exe", 1, 3, 700},
      {platform::kMostRetries, "fresh.exe", 1, platform::kMostRetries, all_pauses},
      {platform::kMostRetries + 1, "fresh.exe", 0, platform::kMostRetries, all_pauses},
      {2, "missing.exe", 0, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name) + " held for " + std::to_string(c.held_for));
    pretend::Machine().held_refusals = c.held_for;
    text::Copy(pretend::Machine().held_path, sizeof pretend::Machine().held_path, "fresh.exe");
    pretend::Machine().paused_milliseconds = 0;
    Retries retries;
    platform::RetryObserver observer{Retries::Count, &retries};
    std::string target = dir.Join(c.name);
    EXPECT_EQ(platform::RetryWhileHeld(OpenOnce, &target[0], &observer), c.opened);
    EXPECT_EQ(retries.count, c.retries);
    EXPECT_EQ(retries.paused, c.paused);
    EXPECT_EQ(pretend::Machine().paused_milliseconds, c.paused);
    if (!c.opened) {
      EXPECT_EQ(platform::LastError(), c.held_for > 0 && std::string(c.name) == "fresh.exe"
                                           ? static_cast<uint32_t>(EBUSY)
                                           : static_cast<uint32_t>(ENOENT));
    }
  }
}
#endif

TEST_F(PlatformSystem, SystemErrorTextsAreTheSystemsOwn) {
  char text[256];
#ifdef _WIN32
  const uint32_t denied = ERROR_ACCESS_DENIED;
#else
  const uint32_t denied = EACCES;
#endif
  uint32_t length = platform::SystemErrorText(denied, text, sizeof text);
  ASSERT_GT(length, 0u);
  EXPECT_EQ(std::strlen(text), length);
  EXPECT_NE(text[length - 1], '\n');  // no line break to spoil a log line or a box
  EXPECT_NE(std::string(text).find("denied"), std::string::npos) << text;
}

#ifndef _WIN32
// What only the posix side can be made to show: the facts tests configure.

TEST_F(PlatformSystem, PinnedFactsComeFromTheMachine) {
  pretend::PretendMachine& machine = pretend::Machine();
  machine.clock_pinned = true;
  machine.pinned_clock = {2000, 1, 1, 9, 5, 7};
  machine.process_id = 1234;
  platform::LocalTime now;
  platform::ReadLocalClock(&now);
  EXPECT_EQ(now.year, 2000);
  EXPECT_EQ(now.hour, 9);
  EXPECT_EQ(now.second, 7);
  EXPECT_EQ(platform::CurrentProcessId(), 1234u);

  machine.windows_directory[0] = '\0';
  char directory[260] = "x";
  EXPECT_EQ(platform::WindowsDirectory(directory, sizeof directory), 0u);
  EXPECT_STREQ(directory, "");

  machine.abbreviated_language_name[0] = '\0';
  char name[4] = "old";
  EXPECT_EQ(platform::AbbreviatedLanguageName(name, sizeof name), 0);
}

TEST_F(PlatformSystem, ConfiguredNetworkConnections) {
  pretend::PretendMachine& machine = pretend::Machine();
  text::Copy(machine.network_connection['X' - 'A'], 256, "\\\\srv\\pub");
  const struct Case {
    const char* local_name;
    uint32_t length;
    uint32_t result;
    const char* remote;
  } cases[] = {
      {"X:", 256, 0, "\\\\srv\\pub"}, {"x:", 256, 0, "\\\\srv\\pub"},
      {"X:", 10, 0, "\\\\srv\\pub"},  // exactly the name and its NUL
      {"X:", 9, 234, nullptr},        // ERROR_MORE_DATA, with the size needed
      {"Y:", 256, 2250, nullptr},     // ERROR_NOT_CONNECTED
      {"X", 256, 1200, nullptr},      // ERROR_BAD_DEVICE
      {"X:\\", 256, 1200, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.local_name) + " length " + std::to_string(c.length));
    char remote[256] = "";
    uint32_t length = c.length;
    // Connected, or not; the pretend machine leaves WNet's reason in LastError.
    EXPECT_EQ(platform::NetworkNameOfDevice(c.local_name, remote, &length), c.result == 0 ? 1 : 0);
    if (c.result != 0) {
      EXPECT_EQ(platform::LastError(), c.result);
    }
    if (c.remote != nullptr) {
      EXPECT_STREQ(remote, c.remote);
    }
    if (c.result == 234) {
      EXPECT_EQ(length, 10u);
    }
  }
}

TEST_F(PlatformSystem, NetworkFoldersAreFoundBelowReachableSharesOnly) {
  TempDir dir;
  std::filesystem::create_directory(dir.Join("App"));
  pretend::PretendMachine& machine = pretend::Machine();
  text::Copy(machine.share[1].name, 256, "\\\\srv\\pub");
  text::Copy(machine.share[1].host_folder, 512, dir.path().c_str());
  EXPECT_TRUE(platform::DirectoryEntryFound("\\\\srv\\pub\\App"));
  EXPECT_TRUE(platform::DirectoryEntryFound("\\\\SRV\\PUB\\App"));
  EXPECT_FALSE(platform::DirectoryEntryFound("\\\\srv\\pub\\Gone"));
  EXPECT_FALSE(platform::DirectoryEntryFound("\\\\srv\\pub"));    // a share's root
  EXPECT_FALSE(platform::DirectoryEntryFound("\\\\srv\\pub\\"));  // nor with a backslash
  EXPECT_FALSE(platform::DirectoryEntryFound("\\\\srv\\public\\App"));
  EXPECT_FALSE(platform::DirectoryEntryFound("\\\\other\\pub\\App"));
}
#endif

}  // namespace
