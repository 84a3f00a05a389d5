// Services that take a file's name, through the ANSI calls the launcher was designed around:
// names are text in the ANSI code page.
#include <windows.h>

#include "platform/files.h"
#include "platform/win32/handles.h"

namespace platform {

FileHandle OpenForReading(const char* path) {
  HFILE file = _lopen(path, OF_READ);
  return file == HFILE_ERROR ? kNoFile : static_cast<FileHandle>(file);
}

FileHandle CreateOrTruncate(const char* path) {
  HFILE file = _lcreat(path, 0);
  return file == HFILE_ERROR ? kNoFile : static_cast<FileHandle>(file);
}

FileHandle CreateForReadWrite(const char* path) {
  return FromHandle(CreateFileA(path, GENERIC_READ | GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
}

FileHandle OpenForAppending(const char* path, bool create_missing) {
  HANDLE handle =
      CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                  create_missing ? OPEN_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return kNoFile;
  SetFilePointer(handle, 0, nullptr, FILE_END);
  return FromHandle(handle);
}

uint32_t GetAttributes(const char* path) {
  return GetFileAttributesA(path);
}

int SetAttributes(const char* path, uint32_t attributes) {
  return SetFileAttributesA(path, attributes) ? 1 : 0;
}

int GetLastWriteDosDateTime(const char* path, uint32_t* dos_date, uint32_t* dos_time) {
  return TakeLastWriteDosDateTime(
      CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                  FILE_ATTRIBUTE_NORMAL, nullptr),
      dos_date, dos_time);
}

int RemoveFile(const char* path) {
  return DeleteFileA(path) ? 1 : 0;
}

int MakeDirectory(const char* path) {
  return CreateDirectoryA(path, nullptr) ? 1 : 0;
}

}  // namespace platform
