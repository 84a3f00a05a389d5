#include "tools/display.h"

#include <cstdio>

#include "base/dos_time.h"

namespace tool {

std::string FormatDosDate(uint32_t dos_date) {
  const dos::DateTimeFields fields = dos::UnpackDateTime(dos_date, 0);
  char text[16];
  std::snprintf(text, sizeof text, "%04u-%02u-%02u", fields.year, fields.month, fields.day);
  return text;
}

std::string FormatDosTime(uint32_t dos_time) {
  const dos::DateTimeFields fields = dos::UnpackDateTime(0, dos_time);
  char text[16];
  std::snprintf(text, sizeof text, "%02u:%02u:%02u", fields.hour, fields.minute, fields.second);
  return text;
}

std::string FormatAttributes(uint32_t attributes) {
  struct Bit {
    uint32_t mask;
    char letter;
  };
  static const Bit kBits[] = {{0x01, 'R'}, {0x02, 'H'}, {0x04, 'S'}, {0x10, 'D'}, {0x20, 'A'}};
  std::string text;
  for (const Bit& bit : kBits)
    text += (attributes & bit.mask) != 0 ? bit.letter : '-';
  return text;
}

std::string PrintableName(const std::string& name) {
  std::string out;
  for (char c : name) {
    auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", static_cast<unsigned>(byte));
      out += escaped;
    } else {
      out += c;
    }
  }
  return out;
}

std::string CountOf(uint64_t n, const char* thing) {
  return std::to_string(n) + " " + thing + (n == 1 ? "" : "s");
}

}  // namespace tool
