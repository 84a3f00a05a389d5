#include "launcher/path_text.h"

#include <cstdint>

#include "platform/files.h"

namespace {

// Steps to the next character: two bytes for a lead byte that has a trail, else one.
const char* NextCharacter(const char* p) {
  if (platform::IsLeadByte(static_cast<uint8_t>(*p)) && p[1] != '\0') return p + 2;
  return p + 1;
}

}  // namespace

const char* FindFirstBackslash(const char* text) {
  for (const char* p = text; *p != '\0'; p = NextCharacter(p)) {
    if (*p == '\\') return p;
  }
  return nullptr;
}

const char* FindLastBackslash(const char* text) {
  const char* last = nullptr;
  for (const char* p = text; *p != '\0'; p = NextCharacter(p)) {
    if (*p == '\\') last = p;
  }
  return last;
}

char* FindLastBackslash(char* text) {
  return const_cast<char*>(FindLastBackslash(static_cast<const char*>(text)));
}
