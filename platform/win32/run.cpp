// The launcher's run on Windows: its own module, temporary names, the message box, the string
// table, the engine process, pauses and the system's error texts.
#include <windows.h>

#include "platform/launcher_windows.h"

namespace platform {

uint32_t GetSystemVersion() {
  return GetVersion();
}

// As the C runtime's _chdrive does it, without the C runtime: the root of a drive named "X:"
// alone is that drive's current directory.
int ChangeDrive(int drive_number) {
  if (drive_number < 1 || drive_number > 26) return 0;
  const char drive[] = {static_cast<char>('A' + drive_number - 1), ':', '\0'};
  return SetCurrentDirectoryA(drive) ? 1 : 0;
}

int ChangeDirectory(const char* path) {
  return SetCurrentDirectoryA(path) ? 1 : 0;
}

uint32_t CreateUniqueTempFile(const char* folder, const char* prefix, char* out) {
  return GetTempFileNameA(folder, prefix, 0, out);
}

bool LastErrorIsTransientRefusal() {
  const DWORD error = GetLastError();
  return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION ||
         error == ERROR_ACCESS_DENIED;
}

void Pause(uint32_t milliseconds) {
  Sleep(milliseconds);
}

uint32_t SystemErrorText(uint32_t error, char* buffer, uint32_t capacity) {
  if (capacity == 0) return 0;
  DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                error, 0, buffer, capacity, nullptr);
  // The system's texts end in a line break, which a log line or a box does not want.
  while (length > 0 &&
         (buffer[length - 1] == '\n' || buffer[length - 1] == '\r' || buffer[length - 1] == ' ')) {
    --length;
  }
  buffer[length] = '\0';
  return length;
}

void ShowWarningBox(const char* text, const char* caption) {
  MessageBoxA(nullptr, text, caption, MB_OK | MB_ICONEXCLAMATION);
}

int LoadStringText(void* instance, uint32_t id, char* buffer, int capacity) {
  if (capacity <= 0) return 0;
  buffer[0] = '\0';
  return LoadStringA(static_cast<HINSTANCE>(instance), id, buffer, capacity);
}

int StartProcess(char* command_line, ProcessInfo* started) {
  STARTUPINFOA startup;
  ZeroMemory(&startup, sizeof startup);
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info;
  ZeroMemory(&info, sizeof info);
  if (!CreateProcessA(nullptr, command_line, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &info)) {
    return 0;
  }
  started->process = info.hProcess;
  started->thread = info.hThread;
  return 1;
}

int WaitForProcessEnd(const ProcessInfo& started, uint32_t milliseconds) {
  return WaitForSingleObject(started.process, milliseconds) == WAIT_OBJECT_0 ? 1 : 0;
}

int GetProcessExitCode(const ProcessInfo& started, uint32_t* exit_code) {
  DWORD code = 0;
  if (!GetExitCodeProcess(started.process, &code)) return 0;
  *exit_code = code;
  return 1;
}

void EndProcess(uint32_t exit_code) {
  ExitProcess(exit_code);
}

}  // namespace platform
