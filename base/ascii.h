// ASCII case, the only case the launcher knows. Names are bytes in the ANSI code page, where
// a byte above 0x7F may be half of a double-byte character: only the letters A to Z and a to z
// are ever folded, every other byte compares exactly.
#pragma once

namespace text {

constexpr char UpperAscii(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// Whether two texts are equal when the ASCII letters are taken without regard to case.
bool EqualsIgnoringAsciiCase(const char* a, const char* b);

}  // namespace text
