#include "pe_resources/version_info.h"

#include <algorithm>
#include <cstddef>

#include "base/little_endian.h"

namespace pe {
namespace {

using endian::LoadLittleEndian16;
using endian::LoadLittleEndian32;
using endian::StoreLittleEndian16;
using endian::StoreLittleEndian32;

constexpr uint16_t kBinary = 0;
constexpr uint16_t kText = 1;
constexpr size_t kBlockHeaderSize = 6;  // length, value length, type

// VS_FIXEDFILEINFO.
constexpr size_t kFixedSize = 52;
constexpr uint32_t kFixedSignature = 0xFEEF04BD;
constexpr uint32_t kFixedStructureVersion = 0x00010000;
constexpr uint32_t kFlagsMask = 0x3F;
constexpr uint32_t kWindowsNt32 = 0x00040004;  // VOS_NT_WINDOWS32
constexpr uint32_t kApplication = 1;           // VFT_APP
constexpr size_t kFileVersionAt = 8;
constexpr size_t kProductVersionAt = 16;

// US English in UTF-16 (code page 1200), as text for the string table's key and as numbers
// for the translation.
const char16_t kStringTableKey[] = u"040904b0";
constexpr uint16_t kCodePageUtf16 = 1200;
constexpr uint16_t kUsEnglish = 0x0409;

int Fail(std::string* error, const std::string& reason) {
  *error = reason;
  return 0;
}

// Builds blocks into one buffer; each block's length is filled in when it ends.
class BlockWriter {
 public:
  // Starts a block: header, key, padding, value.
  size_t Begin(const std::u16string& key, uint16_t type, const uint8_t* value, size_t value_size,
               uint16_t value_length) {
    Pad();
    const size_t start = bytes_.size();
    bytes_.resize(start + kBlockHeaderSize, 0);
    StoreLittleEndian16(&bytes_[start + 2], value_length);
    StoreLittleEndian16(&bytes_[start + 4], type);
    for (char16_t c : key)
      Append16(c);
    Append16(0);
    Pad();
    bytes_.insert(bytes_.end(), value, value + value_size);
    return start;
  }
  void End(size_t start) {
    StoreLittleEndian16(&bytes_[start], static_cast<uint16_t>(bytes_.size() - start));
  }
  // A string table entry: key and NUL-terminated text, its length counted in characters.
  void String(const std::u16string& key, const std::u16string& text) {
    std::vector<uint8_t> value;
    for (char16_t c : text) {
      value.push_back(static_cast<uint8_t>(c));
      value.push_back(static_cast<uint8_t>(c >> 8));
    }
    value.push_back(0);
    value.push_back(0);
    End(Begin(key, kText, value.data(), value.size(), static_cast<uint16_t>(text.size() + 1)));
  }
  const std::vector<uint8_t>& bytes() const { return bytes_; }

 private:
  void Append16(uint16_t value) {
    bytes_.push_back(static_cast<uint8_t>(value));
    bytes_.push_back(static_cast<uint8_t>(value >> 8));
  }
  void Pad() {
    while (bytes_.size() % 4 != 0)
      bytes_.push_back(0);
  }
  std::vector<uint8_t> bytes_;
};

void StoreVersion(uint8_t* at, const VersionNumber& number) {
  StoreLittleEndian32(at, (uint32_t{number.parts[0]} << 16) | number.parts[1]);
  StoreLittleEndian32(at + 4, (uint32_t{number.parts[2]} << 16) | number.parts[3]);
}

VersionNumber LoadVersion(const uint8_t* at) {
  const uint32_t high = LoadLittleEndian32(at);
  const uint32_t low = LoadLittleEndian32(at + 4);
  VersionNumber number;
  number.parts[0] = static_cast<uint16_t>(high >> 16);
  number.parts[1] = static_cast<uint16_t>(high);
  number.parts[2] = static_cast<uint16_t>(low >> 16);
  number.parts[3] = static_cast<uint16_t>(low);
  return number;
}

// One block as read: its key, value and children, all within [at, end).
struct Block {
  std::u16string key;
  uint16_t value_length;
  uint16_t type;
  const uint8_t* value;
  const uint8_t* value_end;  // where the value ends at the latest: the children's start or end
  const uint8_t* children;
  const uint8_t* end;
};

size_t PaddedTo4(const uint8_t* base, const uint8_t* at) {
  return static_cast<size_t>((4 - (at - base) % 4) % 4);
}

int ReadBlock(const uint8_t* base, const uint8_t* at, const uint8_t* limit, Block* block,
              std::string* error) {
  if (limit - at < static_cast<ptrdiff_t>(kBlockHeaderSize)) {
    return Fail(error, "a version block is cut short");
  }
  const size_t length = LoadLittleEndian16(at);
  if (length < kBlockHeaderSize || length > static_cast<size_t>(limit - at)) {
    return Fail(error, "a version block's length runs past its parent");
  }
  block->end = at + length;
  block->value_length = LoadLittleEndian16(at + 2);
  block->type = LoadLittleEndian16(at + 4);
  block->key.clear();
  const uint8_t* p = at + kBlockHeaderSize;
  for (;; p += 2) {
    if (block->end - p < 2) return Fail(error, "a version block's key has no end");
    const char16_t c = static_cast<char16_t>(LoadLittleEndian16(p));
    if (c == 0) break;
    block->key += c;
  }
  p += 2;
  p += std::min(PaddedTo4(base, p), static_cast<size_t>(block->end - p));
  block->value = p;
  const size_t value_bytes =
      block->type == kText ? size_t{block->value_length} * 2 : size_t{block->value_length};
  if (value_bytes > static_cast<size_t>(block->end - p)) {
    return Fail(error, "a version block's value runs past the block");
  }
  p += value_bytes;
  block->value_end = p;
  p += std::min(PaddedTo4(base, p), static_cast<size_t>(block->end - p));
  block->children = p;
  return 1;
}

// Calls visit for every child block of parent.
template <typename Visit>
int ForEachChild(const uint8_t* base, const Block& parent, Visit visit, std::string* error) {
  for (const uint8_t* at = parent.children; at < parent.end;) {
    Block child;
    if (!ReadBlock(base, at, parent.end, &child, error)) return 0;
    if (!visit(child)) return 0;
    at = child.end +
         std::min(PaddedTo4(base, child.end), static_cast<size_t>(parent.end - child.end));
  }
  return 1;
}

std::u16string TextOf(const Block& block) {
  std::u16string text;
  for (const uint8_t* p = block.value; p + 2 <= block.value_end; p += 2) {
    const char16_t c = static_cast<char16_t>(LoadLittleEndian16(p));
    if (c == 0) break;
    text += c;
  }
  return text;
}

}  // namespace

const char* const kVersionKeys[] = {
    "Comments",     "CompanyName",    "FileDescription", "FileVersion",
    "InternalName", "LegalCopyright", "LegalTrademarks", "OriginalFilename",
    "PrivateBuild", "ProductName",    "ProductVersion",  "SpecialBuild",
};
const size_t kVersionKeyCount = sizeof kVersionKeys / sizeof kVersionKeys[0];

std::string VersionNumber::Text() const {
  return std::to_string(parts[0]) + "." + std::to_string(parts[1]) + "." +
         std::to_string(parts[2]) + "." + std::to_string(parts[3]);
}

bool operator==(const VersionNumber& a, const VersionNumber& b) {
  for (int i = 0; i < 4; ++i) {
    if (a.parts[i] != b.parts[i]) return false;
  }
  return true;
}

int ParseVersionNumber(const std::string& text, VersionNumber* number, std::string* error) {
  *number = VersionNumber();
  size_t at = 0;
  for (int part = 0; part < 4; ++part) {
    if (at >= text.size() || text[at] < '0' || text[at] > '9') {
      if (part == 0) return Fail(error, "\"" + text + "\" does not start with a version number");
      break;  // "1.2." or "1.x": the numbers end before the dot
    }
    uint32_t value = 0;
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
      value = value * 10 + static_cast<uint32_t>(text[at] - '0');
      if (value > 0xFFFF) {
        return Fail(error, "\"" + text + "\": each part of a version number is at most 65535");
      }
    }
    number->parts[part] = static_cast<uint16_t>(value);
    if (at + 1 >= text.size() || text[at] != '.') break;
    ++at;
  }
  return 1;
}

std::vector<uint8_t> WriteVersionInfo(const VersionInfo& info) {
  uint8_t fixed[kFixedSize] = {};
  StoreLittleEndian32(fixed, kFixedSignature);
  StoreLittleEndian32(fixed + 4, kFixedStructureVersion);
  StoreVersion(fixed + kFileVersionAt, info.file_version);
  StoreVersion(fixed + kProductVersionAt, info.product_version);
  StoreLittleEndian32(fixed + 24, kFlagsMask);
  StoreLittleEndian32(fixed + 32, kWindowsNt32);
  StoreLittleEndian32(fixed + 36, kApplication);

  BlockWriter out;
  const size_t root = out.Begin(u"VS_VERSION_INFO", kBinary, fixed, sizeof fixed, kFixedSize);
  const size_t string_file_info = out.Begin(u"StringFileInfo", kText, nullptr, 0, 0);
  const size_t table = out.Begin(kStringTableKey, kText, nullptr, 0, 0);
  for (const auto& string : info.strings)
    out.String(string.first, string.second);
  out.End(table);
  out.End(string_file_info);
  const size_t var_file_info = out.Begin(u"VarFileInfo", kText, nullptr, 0, 0);
  uint8_t translation[4];
  StoreLittleEndian16(translation, kUsEnglish);
  StoreLittleEndian16(translation + 2, kCodePageUtf16);
  out.End(out.Begin(u"Translation", kBinary, translation, sizeof translation, sizeof translation));
  out.End(var_file_info);
  out.End(root);
  return out.bytes();
}

int ReadVersionInfo(const uint8_t* bytes, size_t size, VersionInfo* info, std::string* error) {
  *info = VersionInfo();
  Block root;
  if (!ReadBlock(bytes, bytes, bytes + size, &root, error)) return 0;
  if (root.key != u"VS_VERSION_INFO" ||
      root.value_end - root.value < static_cast<ptrdiff_t>(kFixedSize) ||
      LoadLittleEndian32(root.value) != kFixedSignature) {
    return Fail(error, "the version information has no VS_VERSION_INFO and fixed part");
  }
  info->file_version = LoadVersion(root.value + kFileVersionAt);
  info->product_version = LoadVersion(root.value + kProductVersionAt);
  // The tree is read only as deep as strings sit: root, StringFileInfo, table, string.
  bool table_read = false;
  return ForEachChild(
      bytes, root,
      [&](const Block& child) {
        if (child.key != u"StringFileInfo") return 1;
        return ForEachChild(
            bytes, child,
            [&](const Block& table) {
              if (table_read) return 1;
              table_read = true;
              return ForEachChild(
                  bytes, table,
                  [&](const Block& string) {
                    info->strings.emplace_back(string.key, TextOf(string));
                    return 1;
                  },
                  error);
            },
            error);
      },
      error);
}

}  // namespace pe
