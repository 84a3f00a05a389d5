// The system's file handles as the platform's FileHandle, on the win32 side.
#pragma once

#include <windows.h>

#include "platform/platform.h"

namespace platform {

inline HANDLE AsHandle(FileHandle file) {
  return reinterpret_cast<HANDLE>(file);
}

inline FileHandle FromHandle(HANDLE handle) {
  return handle == INVALID_HANDLE_VALUE ? kNoFile : reinterpret_cast<FileHandle>(handle);
}

}  // namespace platform
