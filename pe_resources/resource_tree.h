// The resources of a PE image, read out of their section into a flat list and written back.
//
// The resource section starts with a tree three levels deep: resource types, then names, then
// languages. Each level is a directory: a 16-byte header (characteristics, a time stamp, a
// version, the count of entries with names and the count of entries with ordinals) followed by
// 8-byte entries. An entry's first word is its key: an ordinal, or with the high bit set the
// offset of a counted UTF-16 name (a 16-bit length, then the characters, no NUL). Its second
// word is an offset too: with the high bit set, of the directory one level down; clear, of a
// 16-byte data entry, which gives the data's address in memory (an RVA, not an offset in the
// section), its size and a code page. All other offsets count from the section's start.
//
// The loader finds a key by halving: entries with names come first, ordered by their UTF-16
// code units, then ordinals in ascending order. It looks names up in upper case, which is why
// resource compilers store them so. A rewritten tree keeps that order and carries no time stamp,
// so the same resources always give the same bytes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace pe {

// Resource types by ordinal.
constexpr uint32_t kIconResource = 3;
constexpr uint32_t kDialogResource = 5;
constexpr uint32_t kStringResource = 6;
constexpr uint32_t kIconGroupResource = 14;
constexpr uint32_t kVersionResource = 16;
constexpr uint32_t kManifestResource = 24;

// US English, the language of the launcher's resources.
constexpr uint32_t kLanguageUsEnglish = 0x0409;

// Limits on what a tree may hold, so that a hostile section cannot make the reader build a
// huge list from directories that point at each other.
constexpr size_t kMostResources = 4096;
constexpr size_t kMostResourceBytes = 64u << 20;

// A type or name: an ordinal, or a name when name is not empty.
struct ResourceId {
  uint32_t number = 0;
  std::u16string name;

  static ResourceId Number(uint32_t number);
  // A name from ASCII text, kept as given.
  static ResourceId Name(const char* ascii);
  bool IsName() const { return !name.empty(); }
  // Whether this is the name given, ignoring the case of ASCII letters, as lookups do.
  bool IsNamed(const char* ascii) const;
  // "#3" for an ordinal; the name, its characters outside ASCII as "?".
  std::string Text() const;
};

bool operator==(const ResourceId& a, const ResourceId& b);
// The directory order: names first, by code units, then ordinals, ascending.
bool operator<(const ResourceId& a, const ResourceId& b);

struct Resource {
  ResourceId type;
  ResourceId name;
  uint32_t language = 0;
  uint32_t code_page = 0;
  std::vector<uint8_t> data;
};

// Reads the tree at the start of section (the size bytes of the resource section, which the
// image maps at section_rva) into resources, in directory order. 1, or 0 with the reason in
// error when the tree is not one: offsets outside the section, a level of the wrong kind, data
// outside the section, the same resource twice, more than the limits above.
int ReadResourceTree(const uint8_t* section, size_t size, uint32_t section_rva,
                     std::vector<Resource>* resources, std::string* error);

// The bytes of a resource section that holds resources, for an image that maps it at
// section_rva: the directories, the data entries, the names, then the data, each piece 8-byte
// aligned. resources may come in any order but must not hold the same type, name and language
// twice.
std::vector<uint8_t> WriteResourceTree(const std::vector<Resource>& resources,
                                       uint32_t section_rva);

}  // namespace pe
