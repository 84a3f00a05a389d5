// A small but real 32-bit PE image, for tests and fuzz targets that sign installers or hand the
// readers files that claim a signature: signing tools take it for an executable, and its data
// directories can be set at will.
#pragma once

#include <cstdint>
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

}  // namespace testing_support
