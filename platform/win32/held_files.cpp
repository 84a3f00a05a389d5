// Waiting out a held file and telling what the system said, on Windows. A file of its own: the
// launcher links it only where it uses it, and each system call it names costs the stub an
// import whether or not the linker keeps the function.
#include <windows.h>

#include "platform/launcher_windows.h"

namespace platform {

void SetLastErrorCode(uint32_t error) {
  SetLastError(error);
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

}  // namespace platform
