#include "base/bounded_text.h"

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

bool Join(char* buffer, size_t capacity, const char* first, const char* second) {
  return Copy(buffer, capacity, first) && Append(buffer, capacity, second);
}

namespace {

// Output of the formatter: everything past the capacity is counted but dropped.
struct Sink {
  char* buffer;
  size_t capacity;
  size_t used;
  void Put(char c) {
    if (used + 1 < capacity) buffer[used] = c;
    ++used;
  }
};

// Numbers are at most a long wide, the widest the formatter takes: on the 32-bit launcher that
// keeps its arithmetic to 32 bits, without the runtime's 64-bit division.
void PutNumber(Sink* out, unsigned long value, bool negative, unsigned base, bool upper, int width,
               bool zero_pad) {
  char digits[24];
  int count = 0;
  const char* symbols = upper ? "0123456789ABCDEF" : "0123456789abcdef";
  do {
    digits[count++] = symbols[value % base];
    value /= base;
  } while (value != 0);
  int length = count + (negative ? 1 : 0);
  if (negative && zero_pad) out->Put('-');
  for (; length < width; ++length)
    out->Put(zero_pad ? '0' : ' ');
  if (negative && !zero_pad) out->Put('-');
  while (count > 0)
    out->Put(digits[--count]);
}

}  // namespace

// A small printf of our own: the launcher formats only texts and integers, and the C runtime's
// full formatter (floating point included) would be most of the launcher's size. It knows
// %s (with a precision), %c, %d, %i, %u, %x, %X with the flags 0 and -, a width, and the
// modifier l;
// any other conversion is copied as written.
bool FormatList(char* buffer, size_t capacity, const char* format, va_list arguments) {
  if (capacity == 0) return false;
  Sink out = {buffer, capacity, 0};
  for (const char* p = format; *p != '\0'; ++p) {
    if (*p != '%') {
      out.Put(*p);
      continue;
    }
    const char* conversion = p++;
    bool zero_pad = false;
    bool left = false;
    for (; *p == '0' || *p == '-'; ++p) {
      if (*p == '0') zero_pad = true;
      if (*p == '-') left = true;
    }
    if (left) zero_pad = false;
    size_t mark = out.used;  // where this conversion's text starts, for left justification
    int width = 0;
    while (*p >= '0' && *p <= '9')
      width = width * 10 + (*p++ - '0');
    size_t precision = static_cast<size_t>(-1);
    if (*p == '.') {
      precision = 0;
      for (++p; *p >= '0' && *p <= '9'; ++p)
        precision = precision * 10 + static_cast<size_t>(*p - '0');
    }
    int left_width = 0;  // a left-justified field is padded after its text
    if (left) {
      left_width = width;
      width = 0;
    }
    bool is_long = false;
    if (*p == 'l') {
      is_long = true;
      ++p;
    }
    switch (*p) {
      case '%':
        out.Put('%');
        break;
      case 'c':
        out.Put(static_cast<char>(va_arg(arguments, int)));
        break;
      case 's': {
        const char* text = va_arg(arguments, const char*);
        if (text == nullptr) text = "(null)";
        size_t length = BoundedLength(text, precision);
        for (size_t i = static_cast<size_t>(width) > length ? length : static_cast<size_t>(width);
             i < static_cast<size_t>(width); ++i) {
          out.Put(' ');
        }
        for (size_t i = 0; i < length; ++i)
          out.Put(text[i]);
        break;
      }
      case 'd':
      case 'i': {
        long value = is_long ? va_arg(arguments, long) : va_arg(arguments, int);
        unsigned long magnitude =
            value < 0 ? 0UL - static_cast<unsigned long>(value) : static_cast<unsigned long>(value);
        PutNumber(&out, magnitude, value < 0, 10, false, width, zero_pad);
        break;
      }
      case 'u':
      case 'x':
      case 'X': {
        unsigned long value =
            is_long ? va_arg(arguments, unsigned long) : va_arg(arguments, unsigned int);
        PutNumber(&out, value, false, *p == 'u' ? 10 : 16, *p == 'X', width, zero_pad);
        break;
      }
      default:  // not ours: copy the conversion as written
        left_width = 0;
        for (const char* q = conversion; q <= p && *q != '\0'; ++q)
          out.Put(*q);
        if (*p == '\0') --p;
        break;
    }
    if (left) {
      for (size_t length = out.used - mark; length < static_cast<size_t>(left_width); ++length)
        out.Put(' ');
    }
  }
  buffer[out.used < capacity ? out.used : capacity - 1] = '\0';
  return out.used < capacity;
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
  while (length < limit && text[length] != '\0')
    ++length;
  return length;
}

}  // namespace text
