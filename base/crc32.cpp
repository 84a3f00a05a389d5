#include "base/crc32.h"

namespace text {
namespace {

constexpr uint32_t kPolynomial = 0xEDB88320u;
constexpr int kSlices = 8;

// tables[0] is the classic byte table; tables[k][b] is the CRC of byte b followed by k zero
// bytes, which lets eight bytes be folded in at once ("slicing by 8").
uint32_t g_tables[kSlices][256];
bool g_ready;

void BuildTables() {
  for (uint32_t byte = 0; byte < 256; ++byte) {
    uint32_t crc = byte;
    for (int bit = 0; bit < 8; ++bit)
      crc = (crc >> 1) ^ (kPolynomial & (0u - (crc & 1)));
    g_tables[0][byte] = crc;
  }
  for (uint32_t byte = 0; byte < 256; ++byte) {
    for (int slice = 1; slice < kSlices; ++slice) {
      const uint32_t previous = g_tables[slice - 1][byte];
      g_tables[slice][byte] = (previous >> 8) ^ g_tables[0][previous & 0xFF];
    }
  }
  g_ready = true;
}

uint32_t Load32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

}  // namespace

uint32_t UpdateCrc32(uint32_t crc, const void* bytes, size_t size) {
  if (!g_ready) BuildTables();
  const uint8_t* p = static_cast<const uint8_t*>(bytes);
  crc = ~crc;
  for (; size >= kSlices; size -= kSlices, p += kSlices) {
    const uint32_t low = crc ^ Load32(p);
    const uint32_t high = Load32(p + 4);
    crc = g_tables[7][low & 0xFF] ^ g_tables[6][(low >> 8) & 0xFF] ^
          g_tables[5][(low >> 16) & 0xFF] ^ g_tables[4][low >> 24] ^ g_tables[3][high & 0xFF] ^
          g_tables[2][(high >> 8) & 0xFF] ^ g_tables[1][(high >> 16) & 0xFF] ^
          g_tables[0][high >> 24];
  }
  for (; size > 0; --size, ++p)
    crc = (crc >> 8) ^ g_tables[0][(crc ^ *p) & 0xFF];
  return ~crc;
}

}  // namespace text
