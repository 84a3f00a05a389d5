#include "tools/display.h"

#include <cstdio>

namespace tool {

std::string FormatDosDate(uint32_t dos_date) {
  char text[16];
  std::snprintf(text, sizeof text, "%04u-%02u-%02u", 1980u + ((dos_date >> 9) & 0x7Fu),
                (dos_date >> 5) & 0x0Fu, dos_date & 0x1Fu);
  return text;
}

std::string FormatDosTime(uint32_t dos_time) {
  char text[16];
  std::snprintf(text, sizeof text, "%02u:%02u:%02u", (dos_time >> 11) & 0x1Fu,
                (dos_time >> 5) & 0x3Fu, (dos_time & 0x1Fu) * 2);
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
