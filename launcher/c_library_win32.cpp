// The few C library functions the launcher stub calls, so that it imports no C runtime DLL. Each
// call into a DLL goes through the import table and carries a base relocation, and every
// imported name takes room of its own; these are a few bytes each. Byte-at-a-time is fast
// enough here: the launcher searches short texts and moves one window of 4 KiB per block.
//
// Built without builtins (see CMakeLists.txt), so that the compiler does not turn a loop below
// back into a call to the function it is in.
#include <stddef.h>

extern "C" {

size_t strlen(const char* text) {
  const char* end = text;
  while (*end != '\0')
    ++end;
  return static_cast<size_t>(end - text);
}

int strcmp(const char* a, const char* b) {
  while (*a != '\0' && *a == *b) {
    ++a;
    ++b;
  }
  return static_cast<unsigned char>(*a) - static_cast<unsigned char>(*b);
}

char* strchr(const char* text, int wanted) {
  for (;; ++text) {
    if (*text == static_cast<char>(wanted)) return const_cast<char*>(text);
    if (*text == '\0') return nullptr;
  }
}

char* strrchr(const char* text, int wanted) {
  const char* last = nullptr;
  for (;; ++text) {
    if (*text == static_cast<char>(wanted)) last = text;
    if (*text == '\0') return const_cast<char*>(last);
  }
}

char* strstr(const char* text, const char* wanted) {
  for (;; ++text) {
    size_t i = 0;
    while (wanted[i] != '\0' && text[i] == wanted[i])
      ++i;
    if (wanted[i] == '\0') return const_cast<char*>(text);
    if (*text == '\0') return nullptr;
  }
}

void* memchr(const void* bytes, int wanted, size_t count) {
  const unsigned char* p = static_cast<const unsigned char*>(bytes);
  for (; count > 0; --count, ++p) {
    if (*p == static_cast<unsigned char>(wanted)) return const_cast<unsigned char*>(p);
  }
  return nullptr;
}

int memcmp(const void* a, const void* b, size_t count) {
  const unsigned char* p = static_cast<const unsigned char*>(a);
  const unsigned char* q = static_cast<const unsigned char*>(b);
  for (; count > 0; --count, ++p, ++q) {
    if (*p != *q) return *p - *q;
  }
  return 0;
}

// Overlapping ranges are moved front to back or back to front, whichever keeps the source whole.
void* memmove(void* destination, const void* source, size_t count) {
  unsigned char* to = static_cast<unsigned char*>(destination);
  const unsigned char* from = static_cast<const unsigned char*>(source);
  if (to < from) {
    while (count-- > 0)
      *to++ = *from++;
  } else {
    while (count-- > 0)
      to[count] = from[count];
  }
  return destination;
}

}  // extern "C"
