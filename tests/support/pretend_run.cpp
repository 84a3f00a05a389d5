// The launcher's run on the host: module path, versions, temporary names, message boxes and
// the engine process all come from the configurable machine record, so tests can drive every
// path of the bootstrap sequence. Temporary files are real files under the mapped drives.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/bounded_text.h"
#include "platform/platform.h"
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

}  // namespace

uint32_t GetSystemVersion() {
  return pretend::Machine().system_version != 0 ? pretend::Machine().system_version
                                                : kDefaultVersion;
}

uint32_t GetModulePath(char* buffer, uint32_t capacity) {
  const char* path = pretend::Machine().module_path;
  if (path[0] == '\0' || !text::Copy(buffer, capacity, path)) {
    if (capacity > 0) buffer[0] = '\0';
    return 0;
  }
  return static_cast<uint32_t>(std::strlen(buffer));
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

uint32_t GetTemporaryPath(char* buffer, uint32_t capacity) {
  const char* path = pretend::Machine().temp_path;
  if (path[0] == '\0') {
    errno = static_cast<int>(pretend::Machine().temp_path_error);
    return 0;
  }
  uint32_t length = static_cast<uint32_t>(std::strlen(path));
  if (length < capacity) std::memcpy(buffer, path, length + 1);
  return length < capacity ? length : length + 1;
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

int StartProcess(char* command_line, ProcessInfo* started) {
  pretend::PretendMachine& machine = pretend::Machine();
  if (machine.run_process == nullptr) {
    errno = ENOENT;
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
