// The real Linux host, where the shipped tool runs: paths are used as given, and writes,
// directories and memory fail only when the system makes them fail. A Linux file name is bytes
// in UTF-8 or whatever the user chose, never in a double-byte ANSI code page, so no byte is a
// lead byte.
#include <sys/stat.h>

#include <cstdlib>

#include "base/bounded_text.h"
#include "platform/files.h"
#include "platform/posix/host_machine.h"

namespace platform {

bool posix::HostPathOf(const char* path, char* out, size_t capacity) {
  return text::Copy(out, capacity, path);
}

bool posix::HeldByAnotherProgram(const char* /*path*/) {
  return false;  // what another program holds, the system refuses by itself
}

int32_t WriteBytes(FileHandle file, const void* buffer, uint32_t count) {
  if (file == kNoFile) return -1;
  return posix::WriteToDescriptor(static_cast<int>(file), buffer, count);
}

int MakeDirectory(const char* path) {
  return mkdir(path, 0777) == 0 ? 1 : 0;
}

void* AllocateZeroed(size_t size) {
  return calloc(1, size == 0 ? 1 : size);
}

bool IsLeadByte(uint8_t /*byte*/) {
  return false;
}

}  // namespace platform
