#include "implode/implode_format.h"

const uint8_t kImplodeLengthCodeBits[kImplodeLengthSymbols] = {
    3, 2, 3, 3, 4, 4, 4, 5, 5, 5, 5, 6, 6, 6, 7, 7,
};

const uint8_t kImplodeLengthExtraBits[kImplodeLengthSymbols] = {
    0, 0, 0, 0, 0, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8,
};

const uint16_t kImplodeLengthBase[kImplodeLengthSymbols] = {
    0, 1, 2, 3, 4, 5, 6, 7, 8, 10, 14, 22, 38, 70, 134, 262,
};

const uint8_t kImplodeDistanceCodeBits[kImplodeDistanceSymbols] = {
    2, 4, 4, 5, 5, 5, 5, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7,
    7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8,
};

const uint8_t kImplodeLiteralCodeBits[kImplodeLiteralSymbols] = {
    11, 12, 12, 12, 12, 12, 12, 12, 12, 8,  7,  12, 12, 7,  12, 12, 12, 12, 12, 12, 12, 12, 12, 12,
    12, 12, 13, 12, 12, 12, 12, 12, 4,  10, 8,  12, 10, 12, 10, 8,  7,  7,  8,  9,  7,  6,  7,  8,
    7,  6,  7,  7,  7,  7,  8,  7,  7,  8,  8,  12, 11, 7,  9,  11, 12, 6,  7,  6,  6,  5,  7,  8,
    8,  6,  11, 9,  6,  7,  6,  6,  7,  11, 6,  6,  6,  7,  9,  8,  9,  9,  11, 8,  11, 9,  12, 8,
    12, 5,  6,  6,  6,  5,  6,  6,  6,  5,  11, 7,  5,  6,  5,  5,  6,  10, 5,  5,  5,  5,  8,  7,
    8,  8,  10, 11, 11, 12, 12, 12, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13,
    13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13,
    13, 13, 13, 13, 13, 13, 13, 13, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12,
    12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12,
    12, 12, 12, 12, 12, 12, 12, 12, 13, 12, 13, 13, 13, 12, 13, 13, 13, 12, 13, 13, 13, 13, 12, 13,
    13, 13, 12, 12, 12, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13,
};

void ImplodeCodeValues(const uint8_t* code_bits, uint32_t count, uint16_t* values) {
  uint32_t code = 0;  // the next code of the current length
  for (uint32_t length = 1; length <= kImplodeLongestCode; ++length, code <<= 1) {
    for (uint32_t symbol = 0; symbol < count; ++symbol) {
      if (code_bits[symbol] != length) continue;
      uint32_t value = 0;
      for (uint32_t bit = 0; bit < length; ++bit) {
        value |= ((~code >> bit) & 1u) << (length - 1 - bit);
      }
      values[symbol] = static_cast<uint16_t>(value);
      ++code;
    }
  }
}
