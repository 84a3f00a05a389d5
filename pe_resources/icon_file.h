// Icon files (.ico), and the icon group resources that carry them in a program.
//
// An icon file starts with a 6-byte header: a reserved 0, the type 1 (2 would be a cursor) and
// the count of images. Then comes a 16-byte entry per image: width and height in pixels (0 for
// 256), the colour count (0 from 8 bits per pixel up), a reserved byte, planes, bits per pixel,
// the image's size in bytes and its offset in the file. An image is a PNG file or a
// device-independent bitmap: a BITMAPINFOHEADER with the height doubled, the palette, the colour
// rows, then a 1-bit mask of the same size, rows padded to 4 bytes.
//
// In a program each image becomes an icon resource (RT_ICON) of its own, and an icon group
// resource (RT_GROUP_ICON) lists them: the same 6-byte header, then 14-byte entries that give
// the image's icon resource ordinal where the file gave its offset. Windows picks the image
// that suits the size it draws from the group's entries.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "pe_resources/resource_tree.h"

namespace pe {

// More images than any real icon holds; a file claiming more is taken for damage.
constexpr size_t kMostIconImages = 256;

struct IconImage {
  uint8_t width = 0;   // as stored: 0 means 256
  uint8_t height = 0;  // as stored: 0 means 256
  uint8_t colour_count = 0;
  uint16_t planes = 0;
  uint16_t bit_count = 0;
  bool png = false;
  std::vector<uint8_t> data;
};

// One entry of an icon group resource.
struct IconGroupEntry {
  uint8_t width = 0;
  uint8_t height = 0;
  uint8_t colour_count = 0;
  uint16_t planes = 0;
  uint16_t bit_count = 0;
  uint32_t size = 0;
  uint16_t id = 0;  // the icon resource's ordinal
};

// Pixels from a stored width or height.
inline uint32_t IconPixels(uint8_t stored) {
  return stored == 0 ? 256 : stored;
}

// Reads an icon file. Each image must lie within the file and be a PNG or a bitmap of the size
// its entry gives, long enough for its rows and its mask, so that Windows never reads past it.
// Planes and bits per pixel that the entry leaves 0 are taken from the image. 1, or 0 with the
// reason in error.
int ReadIconFile(const uint8_t* bytes, size_t size, std::vector<IconImage>* images,
                 std::string* error);

// An icon group resource's entries, and its bytes.
int ReadIconGroup(const uint8_t* bytes, size_t size, std::vector<IconGroupEntry>* entries,
                  std::string* error);
std::vector<uint8_t> WriteIconGroup(const std::vector<IconGroupEntry>& entries);

// Puts images in place of the icon group named group_name (any case) in resources: the group's
// own icon resources go, unless another group shares them; the images become icon resources
// with the lowest ordinals no other icon holds; the group lists them under its old name and
// language (US English for a group that was not there).
void ReplaceIconGroup(std::vector<Resource>* resources, const char* group_name,
                      const std::vector<IconImage>& images);

}  // namespace pe
