#include "platform/bounded_text.h"

#include <cstdio>
#include <cstring>

namespace text {

bool CopyPrefix(char* buffer, size_t capacity, const char* source, size_t count) {
  if (capacity == 0) return false;
  size_t length = BoundedLength(source, count);
  bool fits = length < capacity;
  if (!fits) length = capacity - 1;
  std::memmove(buffer, source, length);
  buffer[length] = '\0';
  return fits;
}

bool Copy(char* buffer, size_t capacity, const char* source) {
  return CopyPrefix(buffer, capacity, source, static_cast<size_t>(-1));
}

bool Append(char* buffer, size_t capacity, const char* source) {
  size_t used = BoundedLength(buffer, capacity);
  if (used >= capacity) return false;  // not even terminated: refuse to touch it
  return Copy(buffer + used, capacity - used, source);
}

bool FormatList(char* buffer, size_t capacity, const char* format, va_list arguments) {
  if (capacity == 0) return false;
  int needed = std::vsnprintf(buffer, capacity, format, arguments);
  if (needed < 0) {
    buffer[0] = '\0';
    return false;
  }
  return static_cast<size_t>(needed) < capacity;
}

bool Format(char* buffer, size_t capacity, const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  bool fits = FormatList(buffer, capacity, format, arguments);
  va_end(arguments);
  return fits;
}

size_t BoundedLength(const char* text, size_t limit) {
  size_t length = 0;
  while (length < limit && text[length] != '\0') ++length;
  return length;
}

}  // namespace text
