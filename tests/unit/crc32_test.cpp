#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "base/crc32.h"

namespace {

// One bit at a time, straight from the definition.
uint32_t BitwiseCrc32(const std::vector<uint8_t>& bytes, size_t begin, size_t end) {
  uint32_t reg = 0xFFFFFFFFu;
  for (size_t i = begin; i < end; ++i) {
    reg ^= bytes[i];
    for (int bit = 0; bit < 8; ++bit)
      reg = (reg >> 1) ^ (0xEDB88320u & (0u - (reg & 1)));
  }
  return ~reg;
}

TEST(Crc32, KnownValues) {
  EXPECT_EQ(text::UpdateCrc32(text::kCrc32Start, "", 0), 0u);
  EXPECT_EQ(text::UpdateCrc32(text::kCrc32Start, "123456789", 9), 0xCBF43926u);
}

// Every length around the block sizes of each way of computing it (eight bytes, sixteen, four
// lanes of sixteen), at every alignment, and in pieces split anywhere, gives the bitwise CRC.
TEST(Crc32, AgreesWithTheDefinitionAtEveryLengthAlignmentAndSplit) {
  std::vector<uint8_t> bytes(4096 + 16);
  uint32_t state = 1;
  for (uint8_t& byte : bytes) {
    state = state * 1664525u + 1013904223u;
    byte = static_cast<uint8_t>(state >> 24);
  }
  for (size_t offset = 0; offset < 16; ++offset) {
    for (size_t size : {0, 1, 7, 8, 15, 16, 17, 63, 64, 65, 79, 80, 127, 128, 129, 200, 4096}) {
      SCOPED_TRACE(testing::Message() << "offset " << offset << ", size " << size);
      const uint32_t expected = BitwiseCrc32(bytes, offset, offset + size);
      EXPECT_EQ(text::UpdateCrc32(text::kCrc32Start, bytes.data() + offset, size), expected);
      for (size_t split : {size_t{1}, size_t{13}, size / 2, size - size / 3}) {
        if (split > size) continue;
        uint32_t crc = text::UpdateCrc32(text::kCrc32Start, bytes.data() + offset, split);
        crc = text::UpdateCrc32(crc, bytes.data() + offset + split, size - split);
        EXPECT_EQ(crc, expected) << "split at " << split;
      }
    }
  }
}

}  // namespace
