// UTF-16 text, which resources hold (version strings, names), to and from UTF-8.
#pragma once

#include <string>

namespace tool {

// Decodes UTF-8 strictly: false for bytes that are no UTF-8 (overlong forms, surrogates, code
// points past U+10FFFF, cut sequences).
bool Utf8ToUtf16(const std::string& text, std::u16string* wide);

// Encodes UTF-16; an unpaired surrogate becomes U+FFFD.
std::string Utf16ToUtf8(const std::u16string& wide);

}  // namespace tool
