// The numbers by wsprintfA, the texts copied here: the launcher carries no formatter of its own.
// A file of its own, so that the import comes only with its use.
#include "platform/text_format.h"

#include <windows.h>

namespace platform {
namespace {

// Output that counts what does not fit and drops it.
struct Sink {
  char* buffer;
  size_t capacity;
  size_t used;
  void Put(char c) {
    if (used + 1 < capacity) buffer[used] = c;
    ++used;
  }
  void PutText(const char* text) {
    while (*text != '\0')
      Put(*text++);
  }
};

// "%", flags, at most two width digits and "l": the longest conversion taken, without its letter.
constexpr size_t kLongestConversion = 6;

bool IsNumberLetter(char c) {
  return c == 'd' || c == 'i' || c == 'u' || c == 'x' || c == 'X';
}

}  // namespace

bool FormatTextList(char* buffer, size_t capacity, const char* format, va_list arguments) {
  if (capacity == 0) return false;
  Sink out = {buffer, capacity, 0};
  for (const char* p = format; *p != '\0'; ++p) {
    if (*p != '%') {
      out.Put(*p);
      continue;
    }
    // The conversion as written, up to its letter: flags, width digits, size letter.
    char conversion[kLongestConversion + 2];
    size_t length = 0;
    size_t digits = 0;
    size_t longs = 0;
    conversion[length++] = '%';
    while (length < kLongestConversion &&
           (p[1] == '0' || p[1] == '-' || p[1] == 'l' || (p[1] >= '1' && p[1] <= '9'))) {
      if (p[1] >= '0' && p[1] <= '9') ++digits;
      if (p[1] == 'l') ++longs;
      conversion[length++] = *++p;
    }
    const char letter = p[1];
    if (letter == '%' && length == 1) {
      out.Put('%');
      ++p;
    } else if (letter == 's' && length == 1) {
      const char* text = va_arg(arguments, const char*);
      out.PutText(text != nullptr ? text : "(null)");
      ++p;
    } else if (IsNumberLetter(letter) && digits <= 2 && longs <= 1) {
      conversion[length++] = letter;
      conversion[length] = '\0';
      // Two width digits and an 11-character number at most: far below the buffer.
      char number[32];
      wsprintfA(number, conversion, va_arg(arguments, unsigned long));
      out.PutText(number);
      ++p;
    } else {  // not ours: copy the conversion as written, its letter as ordinary text
      conversion[length] = '\0';
      out.PutText(conversion);
    }
  }
  buffer[out.used < capacity ? out.used : capacity - 1] = '\0';
  return out.used < capacity;
}

}  // namespace platform
