// The launcher's run on the host: module path, versions, temporary names, message boxes and
// the engine process all come from the configurable machine record, so tests can drive every
// path of the bootstrap sequence. Temporary files are real files under the mapped drives.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/bounded_text.h"
#include "platform/platform.h"
#include "platform/posix_machine.h"

namespace platform {
namespace {

constexpr uint32_t kStillActive = 259;
constexpr uint32_t kDefaultVersion = 0x0105;  // 5.1

struct StringEntry {
  uint32_t id;
  const char* text;
};

// The launcher's string table, as the resource script carries it.
const StringEntry kStrings[] = {
    {201, " was not found. "},
    {202, "Installation file is missing or corrupt!"},
    {203, "Warning"},
    {204, "Another installer is running. You must finish it first!"},
    {205, "Error copy file from '%s' to '%s'"},
    {206, "The installer engine in '%s' is damaged and was not started."},
    {207, "Cannot create a work directory in '%s'."},
    {208, "Not enough memory to start the installation."},
    {209, "A path or command line is too long: %s"},
    {210, "The redirection folder '%s' beside the installer is not allowed."},
    {211, "The cleanup script '%s' could not be written whole."},
};

}  // namespace

uint32_t GetSystemVersion() {
  return Machine().system_version != 0 ? Machine().system_version : kDefaultVersion;
}

uint32_t GetModulePath(char* buffer, uint32_t capacity) {
  const char* path = Machine().module_path;
  if (path[0] == '\0' || !text::Copy(buffer, capacity, path)) {
    if (capacity > 0) buffer[0] = '\0';
    return 0;
  }
  return static_cast<uint32_t>(std::strlen(buffer));
}

int ChangeDrive(int drive_number) {
  if (drive_number < 1 || drive_number > 26) return 0;
  Machine().current_drive = drive_number;
  return 1;
}

int ChangeDirectory(const char* path) {
  char host[4096];
  if (!ToHostPath(path, host, sizeof host) || access(host, X_OK) != 0) return 0;
  return text::Copy(Machine().current_directory, sizeof Machine().current_directory, path) ? 1 : 0;
}

uint32_t GetTemporaryPath(char* buffer, uint32_t capacity) {
  const char* path = Machine().temp_path;
  if (path[0] == '\0') {
    errno = static_cast<int>(Machine().temp_path_error);
    return 0;
  }
  uint32_t length = static_cast<uint32_t>(std::strlen(path));
  if (length < capacity) std::memcpy(buffer, path, length + 1);
  return length < capacity ? length : length + 1;
}

uint32_t CreateUniqueTempFile(const char* folder, const char* prefix, char* out) {
  for (int attempt = 0; attempt < 0x10000; ++attempt) {
    uint32_t unique = ((Machine().temp_names_made++) & 0xFFFF) + 1;
    char path[kTempNameCapacity];
    size_t length = std::strlen(folder);
    const char* separator = (length > 0 && folder[length - 1] == '\\') ? "" : "\\";
    if (!text::Format(path, sizeof path, "%s%s%.3s%X.tmp", folder, separator, prefix, unique)) {
      errno = ENAMETOOLONG;
      return 0;
    }
    char host[4096];
    if (!ToHostPath(path, host, sizeof host)) return 0;
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
  PosixMachine& machine = Machine();
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
  PosixMachine& machine = Machine();
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
  PosixMachine& machine = Machine();
  return machine.process_waits++ >= machine.still_running_waits ? 1 : 0;
}

int GetProcessExitCode(const ProcessInfo& /*started*/, uint32_t* exit_code) {
  const PosixMachine& machine = Machine();
  if (machine.exit_code_unreadable) return 0;
  bool ended = machine.process_waits > machine.still_running_waits;
  *exit_code = ended ? machine.process_exit_code : kStillActive;
  return 1;
}

int CallAtExit(void (*handler)()) {
  return std::atexit(handler) == 0 ? 1 : 0;
}

void EndProcess(uint32_t exit_code) {
  std::exit(static_cast<int>(exit_code & 0xFF));
}

}  // namespace platform
