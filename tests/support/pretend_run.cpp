// The launcher's run on the host: module path, versions, temporary names, message boxes and
// the engine process all come from the configurable machine record, so tests can drive every
// path of the bootstrap sequence. Temporary files are real files under the mapped drives.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "base/ansi_path.h"
#include "base/bounded_text.h"
#include "platform/launcher_windows.h"
#include "platform/posix/host_machine.h"
#include "resources/strings.h"
#include "tests/support/pretend_machine.h"

namespace platform {
namespace {

constexpr uint32_t kDefaultVersion = 0x0105;  // 5.1

struct StringEntry {
  uint32_t id;
  const char* text;
};

// The launcher's string table, from the list the resource script compiles.
#define STRING_TABLE_ENTRY(name, id, text) {id, text},
const StringEntry kStrings[] = {TOVALIN_LAUNCHER_STRINGS(STRING_TABLE_ENTRY)};
#undef STRING_TABLE_ENTRY

// ---- Names in Unicode, and the pretend code page ------------------------------------------------

// UTF-8 (up to three bytes a character) into NUL-terminated UTF-16; false when it does not fit.
bool Utf8ToWide(const char* utf8, uint16_t* out, size_t capacity) {
  size_t used = 0;
  for (const auto* p = reinterpret_cast<const uint8_t*>(utf8); *p != 0; ++used) {
    if (used + 1 >= capacity) return false;
    uint32_t c = *p++;
    if (c >= 0xE0 && p[0] != 0 && p[1] != 0) {
      c = (c & 0x0F) << 12 | (p[0] & 0x3Fu) << 6 | (p[1] & 0x3Fu);
      p += 2;
    } else if (c >= 0xC0 && p[0] != 0) {
      c = (c & 0x1F) << 6 | (*p++ & 0x3Fu);
    }
    out[used] = static_cast<uint16_t>(c);
  }
  out[used] = 0;
  return true;
}

void WideToUtf8(const uint16_t* wide, std::string* out) {
  out->clear();
  for (; *wide != 0; ++wide) {
    const uint32_t c = *wide;
    if (c < 0x80) {
      *out += static_cast<char>(c);
    } else if (c < 0x800) {
      *out += static_cast<char>(0xC0 | c >> 6);
      *out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      *out += static_cast<char>(0xE0 | c >> 12);
      *out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      *out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
}

// The pretend ANSI code page: U+0000 to U+00FF, a byte each; "?" for anything else.
bool ToPretendAnsi(const uint16_t* wide, char* out, uint32_t capacity) {
  bool whole = true;
  uint32_t used = 0;
  for (; *wide != 0; ++wide) {
    if (used + 1 >= capacity) {
      whole = false;
      break;
    }
    whole = whole && *wide <= 0xFF;
    out[used++] = *wide <= 0xFF ? static_cast<char>(*wide) : '?';
  }
  if (capacity > 0) out[used] = '\0';
  return whole;
}

// Each folder the record gives a short form has it, as a prefix of the path.
bool PretendShortForm(const uint16_t* wide, uint16_t* out, uint32_t capacity) {
  std::string path;
  WideToUtf8(wide, &path);
  const pretend::PretendMachine& machine = pretend::Machine();
  for (const auto& entry : machine.short_name) {
    const size_t length = std::strlen(entry.long_path);
    if (machine.short_names_off || length == 0 || path.compare(0, length, entry.long_path) != 0 ||
        (path.size() > length && path[length] != '\\')) {
      continue;
    }
    path = entry.short_path + path.substr(length);
  }
  return Utf8ToWide(path.c_str(), out, capacity);
}

constexpr text::AnsiPathServices kPretendServices = {ToPretendAnsi, PretendShortForm};

uint32_t AnsiFormOf(const char* system_name, char* buffer, uint32_t capacity, bool* lost) {
  *lost = false;
  uint16_t wide[text::kWidePathCapacity];
  if (system_name[0] == '\0' || !Utf8ToWide(system_name, wide, text::kWidePathCapacity)) {
    if (capacity > 0) buffer[0] = '\0';
    return 0;
  }
  return text::ChooseAnsiPathLength(wide, kPretendServices, buffer, capacity, lost);
}

}  // namespace

uint32_t GetSystemVersion() {
  return pretend::Machine().system_version != 0 ? pretend::Machine().system_version
                                                : kDefaultVersion;
}

uint32_t GetModulePath(char* buffer, uint32_t capacity, bool* lost) {
  return AnsiFormOf(pretend::Machine().module_path, buffer, capacity, lost);
}

int ChangeDrive(int drive_number) {
  if (drive_number < 1 || drive_number > 26) return 0;
  pretend::Machine().current_drive = drive_number;
  return 1;
}

int ChangeDirectory(const char* path) {
  char host[4096];
  if (!pretend::ToHostPath(path, host, sizeof host) || access(host, X_OK) != 0) return 0;
  return text::Copy(pretend::Machine().current_directory,
                    sizeof pretend::Machine().current_directory, path)
             ? 1
             : 0;
}

uint32_t GetTemporaryPath(char* buffer, uint32_t capacity, bool* lost) {
  const char* path = pretend::Machine().temp_path;
  if (path[0] == '\0') {
    *lost = false;
    errno = static_cast<int>(pretend::Machine().temp_path_error);
    return 0;
  }
  return AnsiFormOf(path, buffer, capacity, lost);
}

uint32_t CreateUniqueTempFile(const char* folder, const char* prefix, char* out) {
  for (int attempt = 0; attempt < 0x10000; ++attempt) {
    uint32_t unique = ((pretend::Machine().temp_names_made++) & 0xFFFF) + 1;
    char path[kTempNameCapacity];
    size_t length = std::strlen(folder);
    const char* separator = (length > 0 && folder[length - 1] == '\\') ? "" : "\\";
    if (!text::Format(path, sizeof path, "%s%s%.3s%X.tmp", folder, separator, prefix, unique)) {
      errno = ENAMETOOLONG;
      return 0;
    }
    char host[4096];
    if (!pretend::ToHostPath(path, host, sizeof host)) return 0;
    int fd = open(host, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
      close(fd);
      text::Copy(out, kTempNameCapacity, path);
      return unique;
    }
    if (errno != EEXIST) return 0;
  }
  return 0;
}

void ShowWarningBox(const char* text_in, const char* caption) {
  pretend::PretendMachine& machine = pretend::Machine();
  ++machine.warning_boxes_shown;
  text::Copy(machine.warning_box_text, sizeof machine.warning_box_text, text_in);
  text::Copy(machine.warning_box_caption, sizeof machine.warning_box_caption, caption);
}

int LoadStringText(void* /*instance*/, uint32_t id, char* buffer, int capacity) {
  if (capacity <= 0) return 0;
  buffer[0] = '\0';
  for (const StringEntry& entry : kStrings) {
    if (entry.id == id) {
      text::Copy(buffer, static_cast<size_t>(capacity), entry.text);
      return static_cast<int>(std::strlen(buffer));
    }
  }
  return 0;
}

bool LastErrorIsTransientRefusal() {
  return errno == EBUSY || errno == EACCES;
}

void Pause(uint32_t milliseconds) {
  pretend::Machine().paused_milliseconds += milliseconds;
}

uint32_t SystemErrorText(uint32_t error, char* buffer, uint32_t capacity) {
  if (capacity == 0) return 0;
  text::Copy(buffer, capacity, error == 0 ? "" : std::strerror(static_cast<int>(error)));
  return static_cast<uint32_t>(std::strlen(buffer));
}

int StartProcess(char* command_line, ProcessInfo* started) {
  pretend::PretendMachine& machine = pretend::Machine();
  if (posix::HeldByAnotherProgram(command_line)) {
    errno = machine.held_start_error != 0 ? machine.held_start_error : EBUSY;
    return 0;
  }
  if (machine.run_process == nullptr) {
    errno = ENOEXEC;  // as for a file that is no program
    return 0;
  }
  machine.process_waits = 0;
  machine.process_exit_code =
      machine.run_process(command_line, machine.current_directory, machine.run_process_context);
  started->process = &machine;
  started->thread = &machine;
  return 1;
}

int WaitForProcessEnd(const ProcessInfo& /*started*/, uint32_t /*milliseconds*/) {
  pretend::PretendMachine& machine = pretend::Machine();
  return machine.process_waits++ >= machine.still_running_waits ? 1 : 0;
}

int GetProcessExitCode(const ProcessInfo& /*started*/, uint32_t* exit_code) {
  const pretend::PretendMachine& machine = pretend::Machine();
  if (machine.exit_code_unreadable) return 0;
  bool ended = machine.process_waits > machine.still_running_waits;
  *exit_code = ended ? machine.process_exit_code : kStillActive;
  return 1;
}

void EndProcess(uint32_t exit_code) {
  std::exit(static_cast<int>(exit_code & 0xFF));
}

}  // namespace platform
