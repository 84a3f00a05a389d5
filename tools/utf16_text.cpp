#include "tools/utf16_text.h"

namespace tool {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

void AppendUtf16(char32_t c, std::u16string* wide) {
  if (c < 0x10000) {
    *wide += static_cast<char16_t>(c);
  } else {
    c -= 0x10000;
    *wide += static_cast<char16_t>(0xD800 + (c >> 10));
    *wide += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
  }
}

void AppendUtf8(char32_t c, std::string* text) {
  if (c < 0x80) {
    *text += static_cast<char>(c);
  } else if (c < 0x800) {
    *text += static_cast<char>(0xC0 | (c >> 6));
    *text += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    *text += static_cast<char>(0xE0 | (c >> 12));
    *text += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    *text += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    *text += static_cast<char>(0xF0 | (c >> 18));
    *text += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    *text += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    *text += static_cast<char>(0x80 | (c & 0x3F));
  }
}

}  // namespace

bool Utf8ToUtf16(const std::string& text, std::u16string* wide) {
  wide->clear();
  for (size_t at = 0; at < text.size();) {
    const unsigned char lead = static_cast<unsigned char>(text[at]);
    // The lead byte tells the sequence's length, its own bits of the code point, and the
    // least code point that needs that length (a smaller one would be an overlong form).
    size_t length = 1;
    char32_t c = lead;
    char32_t least = 0;
    if ((lead & 0xE0) == 0xC0) {
      length = 2;
      c = lead & 0x1F;
      least = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
      length = 3;
      c = lead & 0x0F;
      least = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
      length = 4;
      c = lead & 0x07;
      least = 0x10000;
    } else if (lead >= 0x80) {
      return false;
    }
    if (text.size() - at < length) return false;
    for (size_t i = 1; i < length; ++i) {
      const unsigned char next = static_cast<unsigned char>(text[at + i]);
      if ((next & 0xC0) != 0x80) return false;
      c = (c << 6) | (next & 0x3F);
    }
    if (c < least || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return false;
    AppendUtf16(c, wide);
    at += length;
  }
  return true;
}

std::string Utf16ToUtf8(const std::u16string& wide) {
  std::string text;
  for (size_t at = 0; at < wide.size(); ++at) {
    char32_t c = wide[at];
    if (c >= 0xD800 && c <= 0xDBFF && at + 1 < wide.size() && wide[at + 1] >= 0xDC00 &&
        wide[at + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (wide[at + 1] - 0xDC00);
      ++at;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = kReplacement;
    }
    AppendUtf8(c, &text);
  }
  return text;
}

}  // namespace tool
