// Windows system facts on Linux. What Linux cannot tell (the Windows directory, the locale's
// abbreviated language name, mapped network drives, which network folders can be reached)
// comes from the machine record that tests configure; the clock and the process id come from
// the host unless a test pins them.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>

#include "base/ascii.h"
#include "base/bounded_text.h"
#include "platform/launcher_windows.h"
#include "tests/support/pretend_machine.h"

namespace platform {
namespace {

// Win32 error codes the network lookup reports, so that callers see the same values on both
// sides.
constexpr uint32_t kErrorMoreData = 234;
constexpr uint32_t kErrorBadDevice = 1200;
constexpr uint32_t kErrorNotConnected = 2250;

constexpr size_t kHostPathCapacity = 4096;

bool SameTextIgnoringCase(const char* a, const char* b, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    if (text::UpperAscii(a[i]) != text::UpperAscii(b[i])) return false;
  }
  return true;
}

// The host folder behind a network path: the configured share whose name the path starts with,
// followed by the rest of the path. False for a path on no configured share, and for the share's
// root, which a directory-entry search never finds.
bool NetworkPathToHost(const char* path, char* out, size_t capacity) {
  for (const pretend::PretendMachine::Share& share : pretend::Machine().share) {
    size_t name_length = text::BoundedLength(share.name, sizeof share.name);
    if (name_length == 0 || !SameTextIgnoringCase(path, share.name, name_length)) continue;
    const char* rest = path + name_length;
    if (rest[0] != '\\' || rest[1] == '\0') continue;
    if (!text::Copy(out, capacity, share.host_folder)) return false;
    char host_rest[kHostPathCapacity];
    return pretend::ToHostPath(rest, host_rest, sizeof host_rest) &&
           text::Append(out, capacity, host_rest);
  }
  return false;
}

}  // namespace

uint32_t WindowsDirectory(char* buffer, uint32_t capacity) {
  const char* directory = pretend::Machine().windows_directory;
  if (directory[0] == '\0' || !text::Copy(buffer, capacity, directory)) {
    if (capacity > 0) buffer[0] = '\0';
    return 0;
  }
  return static_cast<uint32_t>(std::strlen(buffer));
}

void ReadLocalClock(LocalTime* now) {
  if (pretend::Machine().clock_pinned) {
    *now = pretend::Machine().pinned_clock;
    return;
  }
  time_t seconds = time(nullptr);
  struct tm local = {};
  localtime_r(&seconds, &local);
  now->year = static_cast<uint16_t>(local.tm_year + 1900);
  now->month = static_cast<uint16_t>(local.tm_mon + 1);
  now->day = static_cast<uint16_t>(local.tm_mday);
  now->hour = static_cast<uint16_t>(local.tm_hour);
  now->minute = static_cast<uint16_t>(local.tm_min);
  now->second = static_cast<uint16_t>(local.tm_sec);
}

uint32_t CurrentProcessId() {
  uint32_t configured = pretend::Machine().process_id;
  return configured != 0 ? configured : static_cast<uint32_t>(getpid());
}

int32_t AbbreviatedLanguageName(char* buffer, int32_t capacity) {
  const char* name = pretend::Machine().abbreviated_language_name;
  if (name[0] == '\0' || capacity <= 0) return 0;
  // Like GetLocaleInfoA, a name that does not fit is a failure, not a cut text.
  if (!text::Copy(buffer, static_cast<size_t>(capacity), name)) return 0;
  return static_cast<int32_t>(std::strlen(buffer) + 1);
}

int NetworkNameOfDevice(const char* local_name, char* remote_name, uint32_t* length) {
  // The reason goes where LastError finds it, as the win32 side leaves it.
  auto not_connected = [](uint32_t reason) {
    errno = static_cast<int>(reason);
    return 0;
  };
  char drive = text::UpperAscii(local_name[0]);
  if (drive < 'A' || drive > 'Z' || local_name[1] != ':' || local_name[2] != '\0') {
    return not_connected(kErrorBadDevice);
  }
  const char* remote = pretend::Machine().network_connection[drive - 'A'];
  if (remote[0] == '\0') return not_connected(kErrorNotConnected);
  uint32_t needed = static_cast<uint32_t>(std::strlen(remote) + 1);
  if (needed > *length) {
    *length = needed;
    return not_connected(kErrorMoreData);
  }
  text::Copy(remote_name, *length, remote);
  return 1;
}

bool DirectoryEntryFound(const char* path) {
  char host[kHostPathCapacity];
  if (path[0] == '\\' && path[1] == '\\') {
    if (!NetworkPathToHost(path, host, sizeof host)) return false;
  } else if (!pretend::ToHostPath(path, host, sizeof host)) {
    return false;
  }
  struct stat st;
  return stat(host, &st) == 0;
}

void RestrictDllSearchPath() {}

}  // namespace platform
