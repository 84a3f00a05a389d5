// Waiting out a held file and telling what the system said, on Windows. A file of its own: the
// launcher links it only where it uses it, and each system call it names costs the stub an
// import whether or not the linker keeps the function.
#include <windows.h>

#include "platform/launcher_windows.h"

namespace platform {

bool LastErrorIsTransientRefusal() {
  const DWORD error = GetLastError();
  return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION ||
         error == ERROR_ACCESS_DENIED;
}

// A wait on the launcher's own process, which cannot end while it waits, is a sleep; and it
// spares the stub an import, as the wait on the engine imports the call already.
void Pause(uint32_t milliseconds) {
  WaitForSingleObject(reinterpret_cast<HANDLE>(-1), milliseconds);
}

uint32_t SystemErrorText(uint32_t error, char* buffer, uint32_t capacity) {
  if (capacity == 0) return 0;
  DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                error, 0, buffer, capacity, nullptr);
  // The system's texts end in a line break (and some in a blank), which a log line or a box does
  // not want.
  while (length > 0 && static_cast<unsigned char>(buffer[length - 1]) <= ' ')
    --length;
  buffer[length] = '\0';
  return length;
}

}  // namespace platform
