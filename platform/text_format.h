// Formatted text for the launcher, real on both sides of the seam.
//
// The launcher formats paths, names and a few numbers. On Windows the numbers go through the
// system's own formatter (USER32's wsprintfA) and only the texts are copied here, which keeps a
// whole formatter out of the launcher; elsewhere the portable formatter of base/bounded_text.h
// does it all. Both take the same forms:
//   %s (a text, any length)     %% (a percent sign)
//   %d %i %u %x %X with the flags 0 and -, a width below 100 and the size letter l.
// Any other conversion is copied as written. Like the other bounded helpers: true when the whole
// text fitted; otherwise buffer holds what fitted, NUL-terminated.
#pragma once

#include <cstdarg>
#include <cstddef>

namespace platform {

bool FormatText(char* buffer, size_t capacity, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
bool FormatTextList(char* buffer, size_t capacity, const char* format, va_list arguments);

}  // namespace platform
