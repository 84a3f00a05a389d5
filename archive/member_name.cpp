#include "archive/member_name.h"

#include <cstring>

#include "base/ascii.h"
#include "base/bounded_text.h"
#include "platform/files.h"

namespace archive {
namespace {

uint8_t FoldAsciiCase(uint8_t byte) {
  return static_cast<uint8_t>(text::UpperAscii(static_cast<char>(byte)));
}

bool IsSeparator(uint8_t byte) {
  return byte == '\\' || byte == '/';
}

}  // namespace

int MakeLookupKey(const char* path, char* key, size_t capacity) {
  if (capacity == 0) return 0;
  key[0] = '\0';
  if (path == nullptr) return 0;
  const uint8_t* bytes = reinterpret_cast<const uint8_t*>(path);
  if (bytes[0] != '\0' && bytes[1] == ':') bytes += 2;

  // One pass finds the start of the last component and the last dot within it. A lead byte
  // takes its trail byte along, so a trail byte is never read as "\" or ".".
  size_t name_start = 0;
  size_t dot = 0;
  bool has_dot = false;
  size_t at = 0;
  while (bytes[at] != '\0') {
    uint8_t byte = bytes[at];
    if (platform::IsLeadByte(byte) && bytes[at + 1] != '\0') {
      at += 2;
      continue;
    }
    if (IsSeparator(byte)) {
      name_start = at + 1;
      has_dot = false;
    } else if (byte == '.') {
      dot = at;
      has_dot = true;
    }
    ++at;
  }

  size_t key_length = at - name_start;
  size_t name_length = has_dot ? dot - name_start : key_length;
  size_t extension_length = key_length - name_length;
  if (key_length > kMaxKeyLength || name_length > kMaxKeyNameLength ||
      extension_length > kMaxKeyExtensionLength || key_length >= capacity) {
    return 0;
  }
  return text::CopyPrefix(key, capacity, reinterpret_cast<const char*>(bytes) + name_start,
                          key_length)
             ? 1
             : 0;
}

int NameFieldMatchesKey(const uint8_t* name_field, const char* key) {
  const uint8_t* wanted = reinterpret_cast<const uint8_t*>(key);
  for (size_t i = 0; i < kNameFieldSize; ++i) {
    if (FoldAsciiCase(name_field[i]) != FoldAsciiCase(wanted[i])) return 0;
    if (name_field[i] == '\0') return 1;
  }
  return 0;  // the field never ended: not a name
}

int NameFieldMarksInstallScript(const uint8_t* name_field) {
  static const uint8_t kTag[] = {'.', 'A', 'I', 'C'};
  const void* nul = std::memchr(name_field, 0, kNameFieldSize);
  if (nul == nullptr) return 0;
  size_t length = static_cast<size_t>(static_cast<const uint8_t*>(nul) - name_field);
  for (size_t start = 0; start + sizeof kTag <= length; ++start) {
    size_t i = 0;
    while (i < sizeof kTag && FoldAsciiCase(name_field[start + i]) == kTag[i])
      ++i;
    if (i == sizeof kTag) return 1;
  }
  return 0;
}

}  // namespace archive
