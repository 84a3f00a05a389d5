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

// The longest conversion taken: "%", flags, width digits and size letter, without its letter.
constexpr size_t kLongestConversion = 8;

// What wsprintfA writes at most, its NUL included.
constexpr size_t kSystemFormatLimit = 1024;

}  // namespace

bool FormatTextList(char* buffer, size_t capacity, const char* format, va_list arguments) {
  if (capacity == 0) return false;
  Sink out = {buffer, capacity, 0};
  while (char c = *format++) {
    if (c != '%') {
      out.Put(c);
      continue;
    }
    // The conversion as written, up to its letter.
    char conversion[kLongestConversion + 2] = "%";
    size_t length = 1;
    while (length < kLongestConversion &&
           ((*format >= '0' && *format <= '9') || *format == '-' || *format == 'l')) {
      conversion[length++] = *format++;
    }
    const char letter = *format;
    if ((letter == '%' || letter == 's') && length == 1) {
      ++format;
      if (letter == '%') {
        out.Put('%');
      } else {
        const char* text = va_arg(arguments, const char*);
        out.PutText(text != nullptr ? text : "(null)");
      }
    } else if (letter == 'd' || letter == 'i' || letter == 'u' || letter == 'x' || letter == 'X') {
      ++format;
      conversion[length] = letter;
      char number[kSystemFormatLimit + 1];
      wsprintfA(number, conversion, va_arg(arguments, unsigned long));
      number[kSystemFormatLimit] = '\0';
      out.PutText(number);
    } else {  // not ours: copied as written, its letter as ordinary text
      out.PutText(conversion);
    }
  }
  buffer[out.used < capacity ? out.used : capacity - 1] = '\0';
  return out.used < capacity;
}

}  // namespace platform
