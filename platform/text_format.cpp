#include "platform/text_format.h"

namespace platform {

bool FormatText(char* buffer, size_t capacity, const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  bool fits = FormatTextList(buffer, capacity, format, arguments);
  va_end(arguments);
  return fits;
}

}  // namespace platform
