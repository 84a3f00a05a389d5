#include <cstring>

#include "platform/posix_machine.h"

namespace platform {
namespace {

PosixMachine g_machine;

}  // namespace

PosixMachine& Machine() { return g_machine; }

void ResetMachine() { std::memset(&g_machine, 0, sizeof g_machine); }

void SetLeadByteRange(uint8_t first, uint8_t last) {
  for (unsigned b = first; b <= last; ++b) g_machine.lead_byte[b] = true;
}

bool ToHostPath(const char* path, char* out, size_t capacity) {
  size_t used = 0;
  const char* rest = path;
  char drive = path[0];
  if (drive != '\0' && path[1] == ':') {
    char upper = (drive >= 'a' && drive <= 'z') ? static_cast<char>(drive - 32) : drive;
    if (upper >= 'A' && upper <= 'Z' && g_machine.drive_root[upper - 'A'][0] != '\0') {
      const char* root = g_machine.drive_root[upper - 'A'];
      used = std::strlen(root);
      if (used >= capacity) return false;
      std::memcpy(out, root, used);
      rest = path + 2;
    }
  }
  for (; *rest != '\0'; ++rest) {
    if (used + 1 >= capacity) return false;
    out[used++] = *rest == '\\' ? '/' : *rest;
  }
  if (used >= capacity) return false;
  out[used] = '\0';
  return true;
}

bool IsLeadByte(uint8_t byte) { return g_machine.lead_byte[byte]; }

}  // namespace platform
