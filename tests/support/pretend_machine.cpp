// The pretend Windows machine's record, its drive letters, its code page and the faults it
// plays on the file services.
#include "tests/support/pretend_machine.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "base/ascii.h"
#include "base/bounded_text.h"
#include "platform/posix/host_machine.h"

namespace pretend {
namespace {

PretendMachine g_machine;

}  // namespace

PretendMachine& Machine() {
  return g_machine;
}

void ResetMachine() {
  std::memset(&g_machine, 0, sizeof g_machine);
}

void SetLeadByteRange(uint8_t first, uint8_t last) {
  for (unsigned b = first; b <= last; ++b)
    g_machine.lead_byte[b] = true;
}

bool ToHostPath(const char* path, char* out, size_t capacity) {
  size_t used = 0;
  const char* rest = path;
  char drive = text::UpperAscii(path[0]);
  if (path[0] != '\0' && path[1] == ':' && drive >= 'A' && drive <= 'Z' &&
      g_machine.drive_root[drive - 'A'][0] != '\0') {
    const char* root = g_machine.drive_root[drive - 'A'];
    used = std::strlen(root);
    if (used >= capacity) return false;
    std::memcpy(out, root, used);
    rest = path + 2;
  }
  for (; *rest != '\0'; ++rest) {
    if (used + 1 >= capacity) return false;
    out[used++] = *rest == '\\' ? '/' : *rest;
  }
  if (used >= capacity) return false;
  out[used] = '\0';
  return true;
}

}  // namespace pretend

namespace platform {

bool posix::HostPathOf(const char* path, char* out, size_t capacity) {
  return pretend::ToHostPath(path, out, capacity);
}

bool posix::HeldByAnotherProgram(const char* path) {
  pretend::PretendMachine& machine = pretend::Machine();
  if (machine.held_refusals <= 0 || machine.held_path[0] == '\0' ||
      std::strstr(path, machine.held_path) == nullptr) {
    return false;
  }
  if (machine.held_after > 0) {
    --machine.held_after;
    return false;
  }
  --machine.held_refusals;
  return true;
}

int32_t WriteBytes(FileHandle file, const void* buffer, uint32_t count) {
  if (file == kNoFile) return -1;
  pretend::PretendMachine& machine = pretend::Machine();
  if (machine.disk_limited && count > 0) {
    if (machine.disk_bytes_left == 0) {
      errno = ENOSPC;
      return -1;
    }
    if (count > machine.disk_bytes_left) {
      count = machine.disk_bytes_left;
      errno = ENOSPC;  // as Windows tells of a write the disk could not take whole
    }
  }
  int32_t done = posix::WriteToDescriptor(static_cast<int>(file), buffer, count);
  if (machine.disk_limited && done > 0) machine.disk_bytes_left -= static_cast<uint32_t>(done);
  return done;
}

int MakeDirectory(const char* path) {
  pretend::PretendMachine& machine = pretend::Machine();
  if (machine.make_directory_failures > 0) {
    --machine.make_directory_failures;
    errno = EEXIST;
    return 0;
  }
  char host[4096];
  if (!pretend::ToHostPath(path, host, sizeof host)) {
    errno = ENAMETOOLONG;
    return 0;
  }
  if (machine.before_make_directory != nullptr) {
    machine.before_make_directory(host, machine.before_make_directory_context);
  }
  return mkdir(host, 0777) == 0 ? 1 : 0;
}

int MakePrivateDirectory(const char* path, bool current_user) {
  // The access list is Windows' business; here the directory is its user's alone, and the
  // record tells the tests whom the launcher asked to let in.
  if (!MakeDirectory(path)) return 0;
  pretend::PretendMachine& machine = pretend::Machine();
  text::Copy(machine.private_directory, sizeof machine.private_directory, path);
  machine.private_directory_for_user = current_user;
  char host[4096];
  if (pretend::ToHostPath(path, host, sizeof host)) chmod(host, 0700);
  return 1;
}

bool ProcessIsElevated() {
  return pretend::Machine().elevated;
}

void* AllocateZeroed(size_t size) {
  pretend::PretendMachine& machine = pretend::Machine();
  if (machine.allocation_failures > 0) {
    --machine.allocation_failures;
    return nullptr;
  }
  return calloc(1, size == 0 ? 1 : size);
}

bool IsLeadByte(uint8_t byte) {
  return pretend::Machine().lead_byte[byte];
}

}  // namespace platform
