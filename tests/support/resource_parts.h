// Parts for tests of the resource writer: resources, bitmap icon images and icon files, and the
// resources of a launcher in small. For tests that link pe_resources.
#pragma once

#include <algorithm>
#include <cstdint>
#include <tuple>
#include <vector>

#include "base/little_endian.h"
#include "pe_resources/icon_file.h"
#include "pe_resources/resource_tree.h"

namespace testing_support {

inline pe::Resource MakeResource(pe::ResourceId type, pe::ResourceId name, uint32_t language,
                                 std::vector<uint8_t> data) {
  pe::Resource resource;
  resource.type = type;
  resource.name = name;
  resource.language = language;
  resource.data = data;
  return resource;
}

// A bitmap icon image: BITMAPINFOHEADER, then palette, rows and mask all of one byte.
inline std::vector<uint8_t> BitmapImage(uint32_t size, uint16_t bit_count) {
  const uint32_t palette = bit_count <= 8 ? 4u << bit_count : 0;
  std::vector<uint8_t> image(
      40 + palette + size * ((size * bit_count + 31) / 32 * 4 + (size + 31) / 32 * 4), 7);
  std::fill(image.begin(), image.begin() + 40, 0);
  image[0] = 40;
  endian::StoreLittleEndian32(&image[4], size);
  endian::StoreLittleEndian32(&image[8], 2 * size);
  image[12] = 1;
  image[14] = static_cast<uint8_t>(bit_count);
  return image;
}

// An icon file of (size, bits per pixel, image) entries.
inline std::vector<uint8_t> IcoFile(
    const std::vector<std::tuple<uint8_t, uint16_t, std::vector<uint8_t>>>& images) {
  std::vector<uint8_t> file = {0, 0, 1, 0, static_cast<uint8_t>(images.size()), 0};
  file.resize(6 + 16 * images.size());
  for (size_t i = 0; i < images.size(); ++i) {
    uint8_t* entry = &file[6 + 16 * i];
    const std::vector<uint8_t>& image = std::get<2>(images[i]);
    entry[0] = entry[1] = std::get<0>(images[i]);
    endian::StoreLittleEndian16(entry + 6, std::get<1>(images[i]));
    endian::StoreLittleEndian32(entry + 8, static_cast<uint32_t>(image.size()));
    endian::StoreLittleEndian32(entry + 12, static_cast<uint32_t>(file.size()));
    file.insert(file.end(), image.begin(), image.end());
  }
  return file;
}

// A launcher's resources in small: the icon and its group, the dialog, a string block twice.
inline std::vector<pe::Resource> LauncherLikeResources() {
  using pe::ResourceId;
  return {MakeResource(ResourceId::Number(pe::kIconResource), ResourceId::Number(1), 0x409,
                       BitmapImage(32, 4)),
          MakeResource(ResourceId::Number(pe::kDialogResource), ResourceId::Name("PROMPTDLG"),
                       0x409, std::vector<uint8_t>(90, 0xD1)),
          MakeResource(ResourceId::Number(pe::kStringResource), ResourceId::Number(13), 0x409,
                       std::vector<uint8_t>(70, 0x53)),
          MakeResource(ResourceId::Number(pe::kStringResource), ResourceId::Number(13), 0x407,
                       std::vector<uint8_t>(71, 0x54)),
          MakeResource(ResourceId::Number(pe::kIconGroupResource), ResourceId::Name("INSTALL"),
                       0x409, pe::WriteIconGroup({{32, 32, 16, 1, 4, 744, 1}}))};
}

}  // namespace testing_support
