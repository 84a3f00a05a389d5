// Version information (the VERSIONINFO resource): what Explorer's Details tab, SmartScreen and
// GetFileVersionInfo/VerQueryValue show about a program.
//
// The resource is a tree of blocks. Every block is a 16-bit total length, a 16-bit value
// length (in characters for text, in bytes for binary values), a 16-bit type (1 text, 0
// binary), a NUL-terminated UTF-16 key, padding to 4 bytes, the value, padding to 4 bytes, then
// its child blocks, each starting on 4 bytes. The root, "VS_VERSION_INFO", holds the fixed part
// (VS_FIXEDFILEINFO: signature 0xFEEF04BD, the file and product versions as four 16-bit numbers
// each, flags, the operating system and the file type). Its children are "StringFileInfo",
// with one string table per language and code page (key "040904b0": US English, UTF-16) of
// key and text pairs, and "VarFileInfo", whose "Translation" lists those language and code page
// pairs.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace pe {

// A version as four 16-bit numbers, most significant first: 1.2.3.4.
struct VersionNumber {
  uint16_t parts[4] = {0, 0, 0, 0};
  std::string Text() const;
};

bool operator==(const VersionNumber& a, const VersionNumber& b);

// The numbers a version text starts with: one to four decimal numbers separated by dots, each
// at most 65535; missing ones are 0 and anything after them ("1.2 beta") is left to the text.
// 1, or 0 with the reason in error when the text does not start with a number or a number is
// too large.
int ParseVersionNumber(const std::string& text, VersionNumber* number, std::string* error);

struct VersionInfo {
  VersionNumber file_version;
  VersionNumber product_version;
  // Keys and texts of the string table, in the order they are written.
  std::vector<std::pair<std::u16string, std::u16string>> strings;
};

// The keys Windows and Explorer know.
extern const char* const kVersionKeys[];
extern const size_t kVersionKeyCount;

// The VERSIONINFO resource's bytes: the fixed part for an application, one string table in US
// English and UTF-16, and the translation that names it.
std::vector<uint8_t> WriteVersionInfo(const VersionInfo& info);

// Reads a VERSIONINFO resource: the fixed part's versions and the first string table's strings.
// 1, or 0 with the reason in error when the blocks do not nest within each other and the data.
int ReadVersionInfo(const uint8_t* bytes, size_t size, VersionInfo* info, std::string* error);

}  // namespace pe
