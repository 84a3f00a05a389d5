// File services on Windows, through the ANSI calls the launcher was designed around.
#include <windows.h>

#include "platform/platform.h"

namespace platform {
namespace {

HANDLE AsHandle(FileHandle file) {
  return reinterpret_cast<HANDLE>(file);
}
FileHandle FromHandle(HANDLE handle) {
  return handle == INVALID_HANDLE_VALUE ? kNoFile : reinterpret_cast<FileHandle>(handle);
}

// FILETIME from a DOS date and time, both taken as UTC.
bool DosToFileTime(uint32_t dos_date, uint32_t dos_time, FILETIME* out) {
  return DosDateTimeToFileTime(static_cast<WORD>(dos_date), static_cast<WORD>(dos_time), out) !=
         FALSE;
}

}  // namespace

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

int32_t Seek(FileHandle file, int32_t offset, int origin) {
  if (file == kNoFile) return -1;
  LONG at = _llseek(static_cast<HFILE>(file), offset, origin);
  return at == HFILE_ERROR ? -1 : static_cast<int32_t>(at);
}

int32_t ReadBytes(FileHandle file, void* buffer, uint32_t count) {
  if (file == kNoFile) return -1;
  UINT got = _lread(static_cast<HFILE>(file), buffer, count);
  return got == static_cast<UINT>(HFILE_ERROR) ? -1 : static_cast<int32_t>(got);
}

int32_t WriteBytes(FileHandle file, const void* buffer, uint32_t count) {
  if (file == kNoFile) return -1;
  if (count == 0) return 0;  // a zero-length write must not truncate
  DWORD written = 0;
  if (!WriteFile(AsHandle(file), buffer, count, &written, nullptr)) return -1;
  return static_cast<int32_t>(written);
}

void CloseFile(FileHandle file) {
  if (file != kNoFile) CloseHandle(AsHandle(file));
}

uint32_t GetAttributes(const char* path) {
  return GetFileAttributesA(path);
}

int SetAttributes(const char* path, uint32_t attributes) {
  return SetFileAttributesA(path, attributes) ? 1 : 0;
}

int GetLastWriteDosDateTime(const char* path, uint32_t* dos_date, uint32_t* dos_time) {
  HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 0;
  FILETIME written;
  WORD date = 0;
  WORD time = 0;
  BOOL read = GetFileTime(file, nullptr, nullptr, &written) &&
              FileTimeToDosDateTime(&written, &date, &time);
  if (!read) {
    CloseHandle(file);  // which leaves the failed call's error for LastError
    return 0;
  }
  *dos_date = date;
  *dos_time = time;
  return CloseHandle(file) ? 1 : 0;
}

int SetFileDosDateTime(FileHandle file, uint32_t dos_date, uint32_t dos_time) {
  FILETIME moment;
  if (file == kNoFile || !DosToFileTime(dos_date, dos_time, &moment)) return 0;
  return SetFileTime(AsHandle(file), &moment, &moment, &moment) ? 1 : 0;
}

int RemoveFile(const char* path) {
  return DeleteFileA(path) ? 1 : 0;
}

int MakeDirectory(const char* path) {
  return CreateDirectoryA(path, nullptr) ? 1 : 0;
}

bool IsLeadByte(uint8_t byte) {
  return IsDBCSLeadByte(byte) != FALSE;
}

void* AllocateZeroed(size_t size) {
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size);
  if (block == nullptr) return nullptr;
  void* memory = GlobalLock(block);
  if (memory == nullptr) GlobalFree(block);
  return memory;
}

void FreeMemory(void* memory) {
  if (memory == nullptr) return;
  HGLOBAL block = GlobalHandle(memory);
  GlobalUnlock(block);
  GlobalFree(block);
}

uint32_t LastError() {
  return GetLastError();
}

}  // namespace platform
