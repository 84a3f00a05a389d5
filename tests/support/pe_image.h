// A small but real 32-bit PE image, for tests and fuzz targets that sign installers or hand the
// readers files that claim a signature: signing tools take it for an executable, and its data
// directories can be set at will.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/little_endian.h"
#include "pe/pe_format.h"

namespace testing_support {

// Where the image's optional header and its directories lie.
constexpr uint32_t kPeImageHeaderAt = 64;
constexpr uint32_t kPeImageOptionalAt = kPeImageHeaderAt + pe::kOptionalHeaderAt;

// DOS header, PE header, a 32-bit optional header with 16 directories, one code section of
// 512 bytes holding a single return instruction: 1,024 bytes in all.
inline std::vector<uint8_t> MinimalPeImage() {
  std::vector<uint8_t> image(1024, 0);
  uint8_t* p = image.data();
  using endian::StoreLittleEndian16;
  using endian::StoreLittleEndian32;
  StoreLittleEndian16(p, pe::kDosMagic);
  StoreLittleEndian32(p + pe::kPeHeaderOffsetAt, kPeImageHeaderAt);
  uint8_t* header = p + kPeImageHeaderAt;
  StoreLittleEndian32(header, pe::kPeSignature);
  StoreLittleEndian16(header + 4, 0x14C);  // i386
  StoreLittleEndian16(header + pe::kSectionCountAt, 1);
  StoreLittleEndian16(header + pe::kOptionalHeaderSizeAt, 224);
  StoreLittleEndian16(header + 22, 0x0102);  // executable, 32-bit
  uint8_t* optional = p + kPeImageOptionalAt;
  StoreLittleEndian16(optional, pe::kMagic32);
  StoreLittleEndian32(optional + 4, 0x200);      // size of code
  StoreLittleEndian32(optional + 16, 0x1000);    // entry point
  StoreLittleEndian32(optional + 20, 0x1000);    // base of code
  StoreLittleEndian32(optional + 28, 0x400000);  // image base
  StoreLittleEndian32(optional + 32, 0x1000);    // section alignment
  StoreLittleEndian32(optional + 36, 0x200);     // file alignment
  StoreLittleEndian16(optional + 40, 4);         // operating system version
  StoreLittleEndian16(optional + 48, 4);         // subsystem version
  StoreLittleEndian32(optional + 56, 0x2000);    // size of image
  StoreLittleEndian32(optional + 60, 0x200);     // size of headers
  StoreLittleEndian16(optional + 68, 2);         // GUI subsystem
  StoreLittleEndian32(optional + 72, 0x100000);  // stack reserve, commit; heap reserve, commit
  StoreLittleEndian32(optional + 76, 0x1000);
  StoreLittleEndian32(optional + 80, 0x100000);
  StoreLittleEndian32(optional + 84, 0x1000);
  StoreLittleEndian32(optional + pe::kDirectoryCountAt32, 16);
  uint8_t* section = optional + 224;
  const char name[8] = {'.', 't', 'e', 'x', 't'};
  for (int i = 0; i < 8; ++i)
    section[i] = static_cast<uint8_t>(name[i]);
  StoreLittleEndian32(section + 8, 0x200);        // virtual size
  StoreLittleEndian32(section + 12, 0x1000);      // virtual address
  StoreLittleEndian32(section + 16, 0x200);       // size of raw data
  StoreLittleEndian32(section + 20, 0x200);       // pointer to raw data
  StoreLittleEndian32(section + 36, 0x60000020);  // code, executable, readable
  image[0x200] = 0xC3;                            // ret
  return image;
}

// Sets a directory of an image made by MinimalPeImage.
inline void SetPeDirectory(std::vector<uint8_t>* image, uint32_t index, uint32_t address,
                           uint32_t size) {
  uint8_t* directory =
      image->data() + kPeImageOptionalAt + pe::kDirectoriesAt32 + index * pe::kDirectorySize;
  endian::StoreLittleEndian32(directory, address);
  endian::StoreLittleEndian32(directory + 4, size);
}

// A section of an image made by PeImageOfSections.
struct TestSection {
  std::string name;
  std::vector<uint8_t> data;              // the raw data; none for uninitialised data
  uint32_t virtual_size = 0;              // 0: the data's size
  uint32_t characteristics = 0x40000040;  // initialised data, readable
};

struct TestImage {
  std::vector<uint8_t> bytes;
  std::vector<uint32_t> addresses;  // each section's, in memory
  std::vector<uint32_t> offsets;    // each section's raw data, in the file
};

// A 32-bit image laid out as linkers lay one out: 1,024 bytes of headers, then the sections, each
// at the next multiple of 0x1000 in memory and of 0x200 in the file. Directories start empty.
inline TestImage PeImageOfSections(const std::vector<TestSection>& sections) {
  using endian::StoreLittleEndian16;
  using endian::StoreLittleEndian32;
  TestImage image;
  image.bytes = MinimalPeImage();
  image.bytes.resize(0x400);
  uint8_t* header = image.bytes.data() + kPeImageHeaderAt;
  StoreLittleEndian16(header + pe::kSectionCountAt, static_cast<uint16_t>(sections.size()));
  uint32_t address = 0x1000;
  uint32_t initialised = 0;
  for (size_t i = 0; i < sections.size(); ++i) {
    const TestSection& section = sections[i];
    const uint32_t raw_size = (static_cast<uint32_t>(section.data.size()) + 0x1FF) & ~0x1FFu;
    const uint32_t virtual_size = section.virtual_size != 0
                                      ? section.virtual_size
                                      : static_cast<uint32_t>(section.data.size());
    const uint32_t offset = raw_size != 0 ? static_cast<uint32_t>(image.bytes.size()) : 0;
    uint8_t* entry = image.bytes.data() + kPeImageOptionalAt + 224 + i * pe::kSectionHeaderSize;
    for (size_t c = 0; c < section.name.size() && c < 8; ++c)
      entry[c] = static_cast<uint8_t>(section.name[c]);
    StoreLittleEndian32(entry + pe::kSectionVirtualSizeAt, virtual_size);
    StoreLittleEndian32(entry + pe::kSectionVirtualAddressAt, address);
    StoreLittleEndian32(entry + pe::kSectionRawSizeAt, raw_size);
    StoreLittleEndian32(entry + pe::kSectionRawOffsetAt, offset);
    StoreLittleEndian32(entry + pe::kSectionCharacteristicsAt, section.characteristics);
    image.addresses.push_back(address);
    image.offsets.push_back(offset);
    image.bytes.insert(image.bytes.end(), section.data.begin(), section.data.end());
    image.bytes.resize(image.bytes.size() + (raw_size - section.data.size()), 0);
    if ((section.characteristics & pe::kSectionHoldsInitializedData) != 0) initialised += raw_size;
    address += (virtual_size + 0xFFF) & ~0xFFFu;
  }
  uint8_t* optional = image.bytes.data() + kPeImageOptionalAt;
  StoreLittleEndian32(optional + pe::kSizeOfInitializedDataAt, initialised);
  StoreLittleEndian32(optional + pe::kSizeOfImageAt, address);
  StoreLittleEndian32(optional + pe::kSizeOfHeadersAt, 0x400);
  StoreLittleEndian32(optional + pe::kCheckSumAt, 0x1234);
  return image;
}

// Where LauncherLikeImage maps its resources, and the base relocations it carries: two places in
// the code's first page.
constexpr uint32_t kLauncherLikeResourcesAt = 0x4000;
inline std::vector<uint8_t> LauncherLikeRelocations() {
  std::vector<uint8_t> blocks = {0x00, 0x10, 0, 0, 12, 0, 0, 0, 0x10, 0x30, 0x20, 0x30};
  return blocks;
}

// An image as linkers make the launcher: code, data, uninitialised data, then the resource
// section (a tree laid out for kLauncherLikeResourcesAt), then the base relocations.
inline TestImage LauncherLikeImage(const std::vector<uint8_t>& resources) {
  std::vector<uint8_t> code(0x300);
  for (size_t i = 0; i < code.size(); ++i)
    code[i] = static_cast<uint8_t>(i * 7 + 1);
  TestImage image = PeImageOfSections({{".text", code, 0, 0x60000020},
                                       {".data", std::vector<uint8_t>(0x100, 0xDA), 0, 0xC0000040},
                                       {".bss", {}, 0x800, 0xC0000080},
                                       {".rsrc", resources, 0, 0x40000040},
                                       {".reloc", LauncherLikeRelocations(), 0, 0x42000040}});
  SetPeDirectory(&image.bytes, pe::kResourceDirectory, image.addresses[3],
                 static_cast<uint32_t>(resources.size()));
  SetPeDirectory(&image.bytes, pe::kBaseRelocationDirectory, image.addresses[4], 12);
  return image;
}

}  // namespace testing_support
