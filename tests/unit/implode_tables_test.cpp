// The shared code tables against the figures the format is defined by: every table value must
// be the bit reversal of the inverted canonical code that the code lengths alone determine.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <numeric>
#include <vector>

#include "implode/implode_format.h"

namespace {

// Canonical codes from code lengths, turned into stream-order table values.
std::vector<uint32_t> TableValuesFromLengths(const uint8_t* lengths, int count) {
  std::vector<int> order(count);
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(),
                   [&](int a, int b) { return lengths[a] < lengths[b]; });
  std::vector<uint32_t> values(count);
  uint32_t code = 0;
  int previous_length = lengths[order[0]];
  for (size_t i = 0; i < order.size(); ++i) {
    const int length = lengths[order[i]];
    if (i > 0) code = (code + 1) << (length - previous_length);
    previous_length = length;
    const uint32_t inverted = ~code & ((1u << length) - 1);
    uint32_t reversed = 0;
    for (int bit = 0; bit < length; ++bit) {
      if (inverted & (1u << (length - 1 - bit))) reversed |= 1u << bit;
    }
    values[order[i]] = reversed;
  }
  return values;
}

// Sum of 2^-length over all symbols, scaled: a complete code sums to exactly 1.
bool IsComplete(const uint8_t* lengths, int count) {
  uint64_t sum = 0;
  for (int i = 0; i < count; ++i)
    sum += uint64_t{1} << (16 - lengths[i]);
  return sum == (uint64_t{1} << 16);
}

TEST(ImplodeTables, LengthCodeMatchesItsTable) {
  struct Row {
    int bits;
    int value;
    int extra;
    int base;
  };
  const std::array<Row, 16> rows = {{{3, 5, 0, 0},
                                     {2, 3, 0, 1},
                                     {3, 1, 0, 2},
                                     {3, 6, 0, 3},
                                     {4, 10, 0, 4},
                                     {4, 2, 0, 5},
                                     {4, 12, 0, 6},
                                     {5, 20, 0, 7},
                                     {5, 4, 1, 8},
                                     {5, 24, 2, 10},
                                     {5, 8, 3, 14},
                                     {6, 48, 4, 22},
                                     {6, 16, 5, 38},
                                     {6, 32, 6, 70},
                                     {7, 64, 7, 134},
                                     {7, 0, 8, 262}}};
  for (int symbol = 0; symbol < kImplodeLengthSymbols; ++symbol) {
    SCOPED_TRACE(symbol);
    EXPECT_EQ(kImplodeLengthCodeBits[symbol], rows[symbol].bits);
    EXPECT_EQ(kImplodeLengthCodeValues[symbol], rows[symbol].value);
    EXPECT_EQ(kImplodeLengthExtraBits[symbol], rows[symbol].extra);
    EXPECT_EQ(kImplodeLengthBase[symbol], rows[symbol].base);
  }
  // From symbol 8 on each base is the previous one plus 2^(previous extra bits).
  for (int symbol = 8; symbol < kImplodeLengthSymbols; ++symbol) {
    EXPECT_EQ(kImplodeLengthBase[symbol],
              kImplodeLengthBase[symbol - 1] + (1 << kImplodeLengthExtraBits[symbol - 1]));
  }
  // Symbol 15 with every extra bit set is the end code: the longest copy is 518.
  EXPECT_EQ(kImplodeLengthBase[15] + 254 + 2, 518);
}

TEST(ImplodeTables, DistanceCodeMatchesItsTable) {
  const std::array<int, 64> printed = {3,   13,  5,   25, 9,   17,  1,   62, 30,  46,  14,  54,  22,
                                       38,  6,   58,  26, 42,  10,  50,  18, 34,  66,  2,   124, 60,
                                       92,  28,  108, 44, 76,  12,  116, 52, 84,  20,  100, 36,  68,
                                       4,   120, 56,  88, 24,  104, 40,  72, 8,   240, 112, 176, 48,
                                       208, 80,  144, 16, 224, 96,  160, 32, 192, 64,  128, 0};
  for (int symbol = 0; symbol < kImplodeDistanceSymbols; ++symbol) {
    SCOPED_TRACE(symbol);
    const int expected_bits = symbol == 0    ? 2
                              : symbol <= 2  ? 4
                              : symbol <= 6  ? 5
                              : symbol <= 21 ? 6
                              : symbol <= 47 ? 7
                                             : 8;
    EXPECT_EQ(kImplodeDistanceCodeBits[symbol], expected_bits);
    EXPECT_EQ(kImplodeDistanceCodeValues[symbol], printed[symbol]);
  }
}

TEST(ImplodeTables, AsciiCodeMatchesItsSamples) {
  struct Sample {
    int byte;
    int bits;
    uint32_t value;
  };
  const Sample samples[] = {{0x20, 4, 0x000F},  {0x65, 5, 0x001B},  {0x0A, 7, 0x0062},
                            {0x00, 11, 0x0490}, {0x80, 13, 0x0240}, {0xFF, 13, 0x0000}};
  for (const Sample& sample : samples) {
    SCOPED_TRACE(sample.byte);
    EXPECT_EQ(kImplodeLiteralCodeBits[sample.byte], sample.bits);
    EXPECT_EQ(kImplodeLiteralCodeValues[sample.byte], sample.value);
  }
  // Row 0x80 to 0xAF are all 13 bits long, 0xB0 to 0xDF all 12.
  for (int byte = 0x80; byte < 0xE0; ++byte) {
    EXPECT_EQ(kImplodeLiteralCodeBits[byte], byte < 0xB0 ? 13 : 12) << byte;
  }
}

TEST(ImplodeTables, EveryValueFollowsFromTheCodeLengths) {
  struct Code {
    const char* name;
    const uint8_t* lengths;
    int count;
    std::vector<uint32_t> values;
  };
  const Code codes[] = {
      {"length",
       kImplodeLengthCodeBits,
       kImplodeLengthSymbols,
       {kImplodeLengthCodeValues, kImplodeLengthCodeValues + kImplodeLengthSymbols}},
      {"distance",
       kImplodeDistanceCodeBits,
       kImplodeDistanceSymbols,
       {kImplodeDistanceCodeValues, kImplodeDistanceCodeValues + kImplodeDistanceSymbols}},
      {"literal",
       kImplodeLiteralCodeBits,
       kImplodeLiteralSymbols,
       {kImplodeLiteralCodeValues, kImplodeLiteralCodeValues + kImplodeLiteralSymbols}},
  };
  for (const Code& code : codes) {
    SCOPED_TRACE(code.name);
    EXPECT_TRUE(IsComplete(code.lengths, code.count));
    EXPECT_EQ(TableValuesFromLengths(code.lengths, code.count), code.values);
    // The decoder's own derivation gives the same values.
    std::vector<uint16_t> derived(code.count);
    ImplodeCodeValues(code.lengths, code.count, derived.data());
    EXPECT_EQ(std::vector<uint32_t>(derived.begin(), derived.end()), code.values);
  }
}

}  // namespace
