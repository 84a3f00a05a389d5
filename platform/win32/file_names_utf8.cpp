// Services that take a file's name, for the tool on Windows: names are UTF-8 text, opened by the
// wide calls, so that every name the system holds can be opened, whatever the ANSI code page. The
// tool links these (platform_host); the launcher, an ANSI program, links file_names.cpp instead.
#include <windows.h>

#include <string>

#include "platform/files.h"
#include "platform/win32/handles.h"

namespace platform {
namespace {

// A name as UTF-16; invalid UTF-8 names nothing.
struct WideName {
  explicit WideName(const char* utf8) {
    int length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8, -1, nullptr, 0);
    if (length <= 0) {
      SetLastError(ERROR_INVALID_NAME);
      return;
    }
    text.resize(static_cast<size_t>(length));
    ok = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8, -1, &text[0], length) == length;
  }
  std::wstring text;
  bool ok = false;
};

HANDLE Open(const char* path, DWORD access, DWORD disposition) {
  WideName name(path);
  if (!name.ok) return INVALID_HANDLE_VALUE;
  return CreateFileW(name.text.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                     disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

FileHandle OpenForReading(const char* path) {
  return FromHandle(Open(path, GENERIC_READ, OPEN_EXISTING));
}

FileHandle CreateOrTruncate(const char* path) {
  return FromHandle(Open(path, GENERIC_WRITE, CREATE_ALWAYS));
}

FileHandle CreateForReadWrite(const char* path) {
  return FromHandle(Open(path, GENERIC_READ | GENERIC_WRITE, CREATE_ALWAYS));
}

FileHandle OpenForAppending(const char* path, bool create_missing) {
  HANDLE handle = Open(path, GENERIC_WRITE, create_missing ? OPEN_ALWAYS : OPEN_EXISTING);
  if (handle != INVALID_HANDLE_VALUE) SetFilePointer(handle, 0, nullptr, FILE_END);
  return FromHandle(handle);
}

uint32_t GetAttributes(const char* path) {
  WideName name(path);
  return name.ok ? GetFileAttributesW(name.text.c_str()) : kNoAttributes;
}

int SetAttributes(const char* path, uint32_t attributes) {
  WideName name(path);
  return name.ok && SetFileAttributesW(name.text.c_str(), attributes) ? 1 : 0;
}

int GetLastWriteDosDateTime(const char* path, uint32_t* dos_date, uint32_t* dos_time) {
  return TakeLastWriteDosDateTime(Open(path, GENERIC_READ, OPEN_EXISTING), dos_date, dos_time);
}

int RemoveFile(const char* path) {
  WideName name(path);
  return name.ok && DeleteFileW(name.text.c_str()) ? 1 : 0;
}

int MakeDirectory(const char* path) {
  WideName name(path);
  return name.ok && CreateDirectoryW(name.text.c_str(), nullptr) ? 1 : 0;
}

}  // namespace platform
