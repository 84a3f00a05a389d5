#include "pe_resources/icon_file.h"

#include <algorithm>
#include <cstring>
#include <set>

#include "base/little_endian.h"

namespace pe {
namespace {

using endian::LoadLittleEndian16;
using endian::LoadLittleEndian32;
using endian::StoreLittleEndian16;
using endian::StoreLittleEndian32;

constexpr size_t kHeaderSize = 6;
constexpr uint16_t kIconType = 1;
constexpr uint16_t kCursorType = 2;
constexpr size_t kFileEntrySize = 16;
constexpr size_t kGroupEntrySize = 14;

// The bitmap header icons use, and its fields.
constexpr uint32_t kBitmapInfoHeaderSize = 40;
constexpr size_t kBitmapWidthAt = 4;
constexpr size_t kBitmapHeightAt = 8;
constexpr size_t kBitmapPlanesAt = 12;
constexpr size_t kBitmapBitCountAt = 14;
constexpr size_t kBitmapCompressionAt = 16;
constexpr size_t kBitmapColoursUsedAt = 32;
constexpr uint32_t kUncompressed = 0;

// A PNG file: its 8-byte signature, then the IHDR chunk (length 13, type, width, height, ...),
// its integers big-endian.
constexpr uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr size_t kPngHeaderEnd = 8 + 8 + 13 + 4;  // signature, length and type, IHDR, CRC
constexpr uint16_t kPngBitCount = 32;

uint32_t LoadBigEndian32(const uint8_t* bytes) {
  return (uint32_t{bytes[0]} << 24) | (uint32_t{bytes[1]} << 16) | (uint32_t{bytes[2]} << 8) |
         bytes[3];
}

int Fail(std::string* error, const std::string& reason) {
  *error = reason;
  return 0;
}

// Bytes of one row of a bitmap, padded to 4.
uint64_t RowBytes(uint64_t width, uint32_t bit_count) {
  return (width * bit_count + 31) / 32 * 4;
}

int CheckPng(const IconImage& image, const std::string& which, std::string* error) {
  const uint8_t* data = image.data.data();
  if (image.data.size() < kPngHeaderEnd || LoadBigEndian32(data + 8) != 13 ||
      std::memcmp(data + 12, "IHDR", 4) != 0) {
    return Fail(error, which + " is a PNG without its header");
  }
  if (LoadBigEndian32(data + 16) != IconPixels(image.width) ||
      LoadBigEndian32(data + 20) != IconPixels(image.height)) {
    return Fail(error, which + " is a PNG of another size than its entry gives");
  }
  return 1;
}

int CheckBitmap(IconImage* image, const std::string& which, std::string* error) {
  const uint8_t* data = image->data.data();
  const size_t size = image->data.size();
  if (size < kBitmapInfoHeaderSize || LoadLittleEndian32(data) != kBitmapInfoHeaderSize) {
    return Fail(error, which + " is neither a PNG nor a bitmap with a BITMAPINFOHEADER");
  }
  const uint32_t width = IconPixels(image->width);
  const uint32_t height = IconPixels(image->height);
  const uint16_t bit_count = LoadLittleEndian16(data + kBitmapBitCountAt);
  if (LoadLittleEndian32(data + kBitmapWidthAt) != width ||
      LoadLittleEndian32(data + kBitmapHeightAt) != 2 * height) {
    return Fail(error, which + " is a bitmap of another size than its entry gives");
  }
  static const uint16_t kBitCounts[] = {1, 4, 8, 16, 24, 32};
  if (LoadLittleEndian16(data + kBitmapPlanesAt) != 1 ||
      std::find(std::begin(kBitCounts), std::end(kBitCounts), bit_count) == std::end(kBitCounts) ||
      LoadLittleEndian32(data + kBitmapCompressionAt) != kUncompressed) {
    return Fail(error, which + " is a bitmap of a kind icons do not use");
  }
  uint64_t colours = LoadLittleEndian32(data + kBitmapColoursUsedAt);
  if (bit_count <= 8) {
    if (colours == 0) colours = uint64_t{1} << bit_count;
    if (colours > (uint64_t{1} << bit_count)) {
      return Fail(error, which + " has more palette colours than its bits can choose");
    }
  }
  const uint64_t needed = kBitmapInfoHeaderSize + 4 * colours +
                          height * (RowBytes(width, bit_count) + RowBytes(width, 1));
  if (size < needed) {
    return Fail(error, which + " is " + std::to_string(size) + " bytes, too short for its " +
                           std::to_string(needed) + " bytes of rows and mask");
  }
  if (image->planes == 0) image->planes = 1;
  if (image->bit_count == 0) image->bit_count = bit_count;
  return 1;
}

}  // namespace

int ReadIconFile(const uint8_t* bytes, size_t size, std::vector<IconImage>* images,
                 std::string* error) {
  images->clear();
  if (size < kHeaderSize || LoadLittleEndian16(bytes) != 0) {
    return Fail(error, "not an icon file (no icon file header)");
  }
  const uint16_t type = LoadLittleEndian16(bytes + 2);
  if (type == kCursorType) return Fail(error, "a cursor file, not an icon file");
  if (type != kIconType) return Fail(error, "not an icon file (no icon file header)");
  const size_t count = LoadLittleEndian16(bytes + 4);
  if (count == 0) return Fail(error, "an icon file without images");
  if (count > kMostIconImages) {
    return Fail(error, "an icon file that claims " + std::to_string(count) + " images");
  }
  if (size < kHeaderSize + count * kFileEntrySize) {
    return Fail(error, "an icon file cut short in its list of images");
  }
  for (size_t i = 0; i < count; ++i) {
    const uint8_t* entry = bytes + kHeaderSize + i * kFileEntrySize;
    const std::string which = "image " + std::to_string(i + 1);
    IconImage image;
    image.width = entry[0];
    image.height = entry[1];
    image.colour_count = entry[2];
    image.planes = LoadLittleEndian16(entry + 4);
    image.bit_count = LoadLittleEndian16(entry + 6);
    const uint32_t length = LoadLittleEndian32(entry + 8);
    const uint32_t offset = LoadLittleEndian32(entry + 12);
    if (offset > size || length > size - offset) {
      return Fail(error, which + " lies beyond the end of the file");
    }
    image.data.assign(bytes + offset, bytes + offset + length);
    image.png = length >= sizeof kPngSignature &&
                std::memcmp(bytes + offset, kPngSignature, sizeof kPngSignature) == 0;
    if (image.png) {
      if (!CheckPng(image, which, error)) return 0;
      if (image.planes == 0) image.planes = 1;
      if (image.bit_count == 0) image.bit_count = kPngBitCount;
    } else if (!CheckBitmap(&image, which, error)) {
      return 0;
    }
    images->push_back(std::move(image));
  }
  return 1;
}

int ReadIconGroup(const uint8_t* bytes, size_t size, std::vector<IconGroupEntry>* entries,
                  std::string* error) {
  entries->clear();
  if (size < kHeaderSize || LoadLittleEndian16(bytes) != 0 ||
      LoadLittleEndian16(bytes + 2) != kIconType) {
    return Fail(error, "the icon group has no icon group header");
  }
  const size_t count = LoadLittleEndian16(bytes + 4);
  if (size < kHeaderSize + count * kGroupEntrySize) {
    return Fail(error, "the icon group is cut short in its list of images");
  }
  for (size_t i = 0; i < count; ++i) {
    const uint8_t* at = bytes + kHeaderSize + i * kGroupEntrySize;
    IconGroupEntry entry;
    entry.width = at[0];
    entry.height = at[1];
    entry.colour_count = at[2];
    entry.planes = LoadLittleEndian16(at + 4);
    entry.bit_count = LoadLittleEndian16(at + 6);
    entry.size = LoadLittleEndian32(at + 8);
    entry.id = LoadLittleEndian16(at + 12);
    entries->push_back(entry);
  }
  return 1;
}

std::vector<uint8_t> WriteIconGroup(const std::vector<IconGroupEntry>& entries) {
  std::vector<uint8_t> bytes(kHeaderSize + entries.size() * kGroupEntrySize, 0);
  StoreLittleEndian16(&bytes[2], kIconType);
  StoreLittleEndian16(&bytes[4], static_cast<uint16_t>(entries.size()));
  for (size_t i = 0; i < entries.size(); ++i) {
    uint8_t* at = &bytes[kHeaderSize + i * kGroupEntrySize];
    const IconGroupEntry& entry = entries[i];
    at[0] = entry.width;
    at[1] = entry.height;
    at[2] = entry.colour_count;
    StoreLittleEndian16(at + 4, entry.planes);
    StoreLittleEndian16(at + 6, entry.bit_count);
    StoreLittleEndian32(at + 8, entry.size);
    StoreLittleEndian16(at + 12, entry.id);
  }
  return bytes;
}

void ReplaceIconGroup(std::vector<Resource>* resources, const char* group_name,
                      const std::vector<IconImage>& images) {
  const auto is_group = [](const Resource& r) {
    return !r.type.IsName() && r.type.number == kIconGroupResource;
  };
  const auto is_icon = [](const Resource& r) {
    return !r.type.IsName() && r.type.number == kIconResource;
  };
  // The group's name and language as they were, and the icons each group uses.
  ResourceId name = ResourceId::Name(group_name);
  uint32_t language = kLanguageUsEnglish;
  std::set<uint32_t> replaced;
  std::set<uint32_t> kept;
  bool found = false;
  for (const Resource& resource : *resources) {
    if (!is_group(resource)) continue;
    std::vector<IconGroupEntry> entries;
    std::string ignored;
    ReadIconGroup(resource.data.data(), resource.data.size(), &entries, &ignored);
    const bool ours = resource.name.IsNamed(group_name);
    if (ours && !found) {
      name = resource.name;
      language = resource.language;
      found = true;
    }
    for (const IconGroupEntry& entry : entries)
      (ours ? replaced : kept).insert(entry.id);
  }
  resources->erase(std::remove_if(resources->begin(), resources->end(),
                                  [&](const Resource& r) {
                                    return (is_group(r) && r.name.IsNamed(group_name)) ||
                                           (is_icon(r) && !r.name.IsName() &&
                                            replaced.count(r.name.number) != 0 &&
                                            kept.count(r.name.number) == 0);
                                  }),
                   resources->end());
  std::set<uint32_t> used;
  for (const Resource& resource : *resources) {
    if (is_icon(resource) && !resource.name.IsName()) used.insert(resource.name.number);
  }
  std::vector<IconGroupEntry> entries;
  uint16_t next = 1;
  for (const IconImage& image : images) {
    while (used.count(next) != 0)
      ++next;
    Resource icon;
    icon.type = ResourceId::Number(kIconResource);
    icon.name = ResourceId::Number(next);
    icon.language = language;
    icon.data = image.data;
    resources->push_back(icon);
    entries.push_back({image.width, image.height, image.colour_count, image.planes, image.bit_count,
                       static_cast<uint32_t>(image.data.size()), next});
    ++next;
  }
  Resource group;
  group.type = ResourceId::Number(kIconGroupResource);
  group.name = name;
  group.language = language;
  group.data = WriteIconGroup(entries);
  resources->push_back(group);
}

}  // namespace pe
