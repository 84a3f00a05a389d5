// File services on Windows for open files, memory and errors; the services that take a file's
// name are in file_names.cpp (ANSI names, for the launcher) and file_names_utf8.cpp (UTF-8 names
// opened by the wide calls, for the tool).
#include <windows.h>

#include "platform/files.h"
#include "platform/win32/handles.h"

namespace platform {
namespace {

// FILETIME from a DOS date and time, both taken as UTC.
bool DosToFileTime(uint32_t dos_date, uint32_t dos_time, FILETIME* out) {
  return DosDateTimeToFileTime(static_cast<WORD>(dos_date), static_cast<WORD>(dos_time), out) !=
         FALSE;
}

}  // namespace

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

int SetFileDosDateTime(FileHandle file, uint32_t dos_date, uint32_t dos_time) {
  FILETIME moment;
  if (file == kNoFile || !DosToFileTime(dos_date, dos_time, &moment)) return 0;
  return SetFileTime(AsHandle(file), &moment, &moment, &moment) ? 1 : 0;
}

bool IsLeadByte(uint8_t byte) {
  return IsDBCSLeadByte(byte) != FALSE;
}

// A fixed block is its own address: nothing to lock, and its pointer frees it. A moveable block
// locked for its whole life, as the launcher's blocks are, behaves the same and needs three more
// imports.
void* AllocateZeroed(size_t size) {
  return GlobalAlloc(GPTR, size);
}

void FreeMemory(void* memory) {
  if (memory != nullptr) GlobalFree(memory);
}

uint32_t LastError() {
  return GetLastError();
}

void SetLastErrorCode(uint32_t error) {
  SetLastError(error);
}

int TakeLastWriteDosDateTime(HANDLE file, uint32_t* dos_date, uint32_t* dos_time) {
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

}  // namespace platform
