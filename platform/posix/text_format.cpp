#include "platform/text_format.h"

#include "base/bounded_text.h"

namespace platform {

bool FormatTextList(char* buffer, size_t capacity, const char* format, va_list arguments) {
  return text::FormatList(buffer, capacity, format, arguments);
}

}  // namespace platform
