// The system's file handles as the platform's FileHandle, on the win32 side.
#pragma once

#include <windows.h>

#include "platform/files.h"

namespace platform {

inline HANDLE AsHandle(FileHandle file) {
  return reinterpret_cast<HANDLE>(file);
}

inline FileHandle FromHandle(HANDLE handle) {
  return handle == INVALID_HANDLE_VALUE ? kNoFile : reinterpret_cast<FileHandle>(handle);
}

// The last-write time of an open file (INVALID_HANDLE_VALUE when it could not be opened) as DOS
// date and time; the handle is closed. Non-zero on success; on failure LastError tells why.
int TakeLastWriteDosDateTime(HANDLE file, uint32_t* dos_date, uint32_t* dos_time);

}  // namespace platform
