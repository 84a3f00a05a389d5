// The decoder against hand-assembled streams: each case is one edge of the format or of the
// callback protocol where a plausible mistake would show.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include "implode/implode.h"
#include "implode/implode_format.h"
#include "tests/support/test_files.h"
#include "tests/unit/implode_test_support.h"

using implode_testing::Bytes;
using implode_testing::CallbackEvent;
using implode_testing::Decode;
using implode_testing::DecodeResult;
using implode_testing::ReadPolicy;
using implode_testing::StreamBits;

namespace {

// Stream bits of the 16 length symbols, first bit first, as the format's table prints them.
const char* const kLengthStreamBits[16] = {
    "101",   "11",    "100",   "011",    "0101",   "0100",   "0011",    "00101",
    "00100", "00011", "00010", "000011", "000010", "000001", "0000001", "0000000"};
const int kLengthExtra[16] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8};
const int kLengthBase[16] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 10, 14, 22, 38, 70, 134, 262};
const int kDistanceValues[64] = {3,   13,  5,   25, 9,   17,  1,   62, 30,  46,  14,  54,  22,
                                 38,  6,   58,  26, 42,  10,  50,  18, 34,  66,  2,   124, 60,
                                 92,  28,  108, 44, 76,  12,  116, 52, 84,  20,  100, 36,  68,
                                 4,   120, 56,  88, 24,  104, 40,  72, 8,   240, 112, 176, 48,
                                 208, 80,  144, 16, 224, 96,  160, 32, 192, 64,  128, 0};

int DistanceBits(int symbol) {
  return symbol == 0    ? 2
         : symbol <= 2  ? 4
         : symbol <= 6  ? 5
         : symbol <= 21 ? 6
         : symbol <= 47 ? 7
                        : 8;
}

// Appends a copy token for the given length (2-518) and distance (1 and up).
void AppendCopy(StreamBits& bits, int length, int distance, int dictionary_bits) {
  int symbol = 15;
  while (kLengthBase[symbol] + 2 > length)
    --symbol;
  bits.Code("1").Code(kLengthStreamBits[symbol]);
  bits.Raw(length - 2 - kLengthBase[symbol], kLengthExtra[symbol]);
  const int low_bits = length == 2 ? 2 : dictionary_bits;
  const int high = (distance - 1) >> low_bits;
  bits.Raw(kDistanceValues[high], DistanceBits(high));
  bits.Raw(distance - 1, low_bits);
}

// What a byte-by-byte copy gives.
void ReferenceCopy(Bytes& output, int length, int distance) {
  for (int i = 0; i < length; ++i)
    output.push_back(output[output.size() - distance]);
}

std::vector<uint32_t> Counts(std::initializer_list<uint32_t> counts) {
  return counts;
}

TEST(ImplodeDecoder, RejectsBadHeadersBeforeWritingAnything) {
  struct Case {
    uint8_t type;
    uint8_t dictionary_bits;
    int32_t expected;
  };
  const Case cases[] = {
      {0, 3, IMPLODE_BAD_DICTIONARY}, {0, 7, IMPLODE_BAD_DICTIONARY},
      {2, 3, IMPLODE_BAD_DICTIONARY},  // the dictionary is checked first
      {5, 7, IMPLODE_BAD_DICTIONARY}, {2, 6, IMPLODE_BAD_TYPE},
      {255, 4, IMPLODE_BAD_TYPE},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << int(c.type) << "/" << int(c.dictionary_bits));
    const DecodeResult decoded = Decode({c.type, c.dictionary_bits, 0x01, 0xFF, 0x00});
    EXPECT_EQ(decoded.result, c.expected);
    EXPECT_TRUE(decoded.write_counts().empty());
  }
}

TEST(ImplodeDecoder, FourByteStreamIsTooShortButFiveBytesDecode) {
  const Bytes four = {0, 6, 0x01, 0xFF};
  const DecodeResult short_one = Decode(four);
  EXPECT_EQ(short_one.result, IMPLODE_TOO_SHORT);
  EXPECT_TRUE(short_one.write_counts().empty());
  EXPECT_EQ(Decode({}).result, IMPLODE_TOO_SHORT);

  for (uint8_t padding : {0x00, 0x5A, 0xFF}) {
    Bytes five = four;
    five.push_back(padding);
    const DecodeResult decoded = Decode(five);
    EXPECT_EQ(decoded.result, IMPLODE_OK);
    EXPECT_EQ(decoded.write_counts(), Counts({0}));
    // The padding arrives with the first read; nothing is asked for after it.
    EXPECT_EQ(decoded.events.size(), 2u);
  }
}

TEST(ImplodeDecoder, EndCodeMayEndInTheLastByte) {
  // Eight literals and the end code fill exactly 11 bytes; one literal leaves 7 spare bits.
  for (int literals : {1, 8}) {
    SCOPED_TRACE(literals);
    StreamBits bits(0, 4);
    Bytes expected;
    for (int i = 0; i < literals; ++i) {
      bits.BinaryLiteral(static_cast<uint8_t>('A' + i));
      expected.push_back(static_cast<uint8_t>('A' + i));
    }
    const DecodeResult decoded = Decode(bits.EndOfStream().Finish());
    EXPECT_EQ(decoded.result, IMPLODE_OK);
    EXPECT_EQ(decoded.output, expected);
    // The refill after the end code finds nothing, and that is accepted for this code only.
    const std::vector<CallbackEvent> events = {{'r', 2048}, {'r', 2048}, {'w', 0u + literals}};
    EXPECT_EQ(decoded.events, events);
  }
}

TEST(ImplodeDecoder, MissingRefillLosesAnyOtherToken) {
  const Bytes stream =
      StreamBits(0, 6).BinaryLiteral('x').BinaryLiteral('y').BinaryLiteral('z').Finish();
  ASSERT_EQ(stream.size(), 6u);
  const DecodeResult decoded = Decode(stream);
  EXPECT_EQ(decoded.result, IMPLODE_TRUNCATED);
  EXPECT_EQ(decoded.output, (Bytes{'x', 'y'}));
  EXPECT_EQ(decoded.write_counts(), Counts({2}));
}

TEST(ImplodeDecoder, StreamCutAnywhereWritesEverythingBeforeTheCut) {
  StreamBits bits(0, 5);
  Bytes expected;
  for (int i = 0; i < 5000; ++i) {
    if (i % 7 == 6) {
      AppendCopy(bits, 6, 5, 5);
      ReferenceCopy(expected, 6, 5);
    } else {
      bits.BinaryLiteral(static_cast<uint8_t>(i * 37));
      expected.push_back(static_cast<uint8_t>(i * 37));
    }
  }
  const Bytes whole = bits.EndOfStream().Finish();
  size_t previous_size = 0;
  for (size_t cut :
       {size_t{6}, size_t{100}, size_t{2048}, size_t{2049}, whole.size() / 2, whole.size() - 3}) {
    SCOPED_TRACE(cut);
    const DecodeResult decoded =
        Decode(Bytes(whole.begin(), whole.begin() + static_cast<ptrdiff_t>(cut)));
    EXPECT_EQ(decoded.result, IMPLODE_TRUNCATED);
    ASSERT_LE(decoded.output.size(), expected.size());
    EXPECT_TRUE(std::equal(decoded.output.begin(), decoded.output.end(), expected.begin()));
    EXPECT_GT(decoded.output.size(), previous_size);
    previous_size = decoded.output.size();
    EXPECT_EQ(decoded.write_counts().back(), decoded.output.size() % 4096);
  }
  // Three bytes short of the end, at most the last two tokens are missing.
  EXPECT_GE(previous_size + size_t{2 * 6}, expected.size());
  EXPECT_EQ(Decode(whole).output, expected);
}

TEST(ImplodeDecoder, DistanceOneRepeatsTheLastByte) {
  for (int length : {2, 3, 10, 11, 100, 518}) {
    SCOPED_TRACE(length);
    StreamBits bits(0, 6);
    bits.BinaryLiteral('a');
    AppendCopy(bits, length, 1, 6);
    const DecodeResult decoded = Decode(bits.EndOfStream().Finish());
    EXPECT_EQ(decoded.result, IMPLODE_OK);
    EXPECT_EQ(decoded.output, Bytes(length + 1, 'a'));
  }
}

TEST(ImplodeDecoder, ShortDistancesRepeatAPattern) {
  for (int distance = 2; distance <= 9; ++distance) {
    SCOPED_TRACE(distance);
    StreamBits bits(0, 4);
    Bytes expected;
    for (int i = 0; i < distance; ++i) {
      bits.BinaryLiteral(static_cast<uint8_t>('0' + i));
      expected.push_back(static_cast<uint8_t>('0' + i));
    }
    AppendCopy(bits, 40, distance, 4);
    ReferenceCopy(expected, 40, distance);
    EXPECT_EQ(Decode(bits.EndOfStream().Finish()).output, expected);
  }
}

TEST(ImplodeDecoder, TwoByteCopyReadsTwoLowBitsWhateverTheDictionary) {
  for (uint8_t k : {4, 5, 6}) {
    SCOPED_TRACE(int(k));
    StreamBits bits(0, k);
    const Bytes random = testing_support::RandomBytes(size_t{1} << (k + 6), k);
    Bytes expected = random;
    for (uint8_t byte : random)
      bits.BinaryLiteral(byte);
    AppendCopy(bits, 2, 256, k);  // the farthest a two-byte copy reaches
    ReferenceCopy(expected, 2, 256);
    AppendCopy(bits, 2, 3, k);
    ReferenceCopy(expected, 2, 3);
    AppendCopy(bits, 3, 1 << (k + 6), k);  // and the farthest a longer one does
    ReferenceCopy(expected, 3, 1 << (k + 6));
    const DecodeResult decoded = Decode(bits.EndOfStream().Finish());
    EXPECT_EQ(decoded.result, IMPLODE_OK);
    EXPECT_EQ(decoded.output, expected);
  }
}

TEST(ImplodeDecoder, CopiesBeforeTheFirstByteReadTheWindowAsItWas) {
  // Not a valid stream, but a hostile one may do it: a fresh work area yields zeros, a reused
  // one the end of the previous stream's history, and nothing outside the work area is read.
  StreamBits bits(0, 6);
  bits.BinaryLiteral('x');
  AppendCopy(bits, 518, 4096, 6);
  const Bytes stream = bits.EndOfStream().Finish();
  auto work = implode_testing::NewWorkArea();
  Bytes expected(519, 0);
  expected[0] = 'x';
  EXPECT_EQ(Decode(stream, {}, work.get()).output, expected);

  const Bytes previous = testing_support::RandomBytes(9000, 3);
  StreamBits filler(0, 6);
  for (uint8_t byte : previous)
    filler.BinaryLiteral(byte);
  ASSERT_EQ(Decode(filler.EndOfStream().Finish(), {}, work.get()).output, previous);
  // History now holds previous[4096, 8192); 4,096 back from the first copy byte is its start.
  Bytes reused = {'x'};
  reused.insert(reused.end(), previous.begin() + 4097, previous.begin() + 4097 + 518);
  EXPECT_EQ(Decode(stream, {}, work.get()).output, reused);
}

TEST(ImplodeDecoder, StrictDecodingStopsAtACopyBeforeTheFirstByte) {
  // Literals first, then one copy: strictly, the copy may reach the first byte but no further,
  // until a block has been handed over and the whole history is the stream's own. Either way
  // the bytes before the refused copy are written, as for a cut stream.
  const struct Case {
    int literals;
    int length;
    int distance;
    int32_t strict_result;
  } cases[] = {
      {0, 2, 1, IMPLODE_REACHES_BEFORE_START},         {1, 3, 1, IMPLODE_OK},
      {1, 2, 2, IMPLODE_REACHES_BEFORE_START},         {10, 518, 10, IMPLODE_OK},
      {10, 3, 11, IMPLODE_REACHES_BEFORE_START},       {4095, 518, 4095, IMPLODE_OK},
      {4095, 518, 4096, IMPLODE_REACHES_BEFORE_START}, {5000, 518, 4096, IMPLODE_OK},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << c.literals << " literals, copy " << c.length << " from " << c.distance);
    StreamBits bits(0, 6);
    Bytes before = testing_support::RandomBytes(static_cast<size_t>(c.literals), 5);
    for (uint8_t byte : before)
      bits.BinaryLiteral(byte);
    AppendCopy(bits, c.length, c.distance, 6);
    const Bytes stream = bits.EndOfStream().Finish();
    ReadPolicy strict;
    strict.strict = true;
    const DecodeResult checked = Decode(stream, strict);
    const DecodeResult plain = Decode(stream);
    EXPECT_EQ(checked.result, c.strict_result);
    EXPECT_EQ(plain.result, IMPLODE_OK);
    if (c.strict_result == IMPLODE_OK) {
      EXPECT_EQ(checked.events, plain.events);
      EXPECT_EQ(checked.output, plain.output);
    } else {
      EXPECT_EQ(checked.output, before);
    }
  }
}

TEST(ImplodeDecoder, OutputOfWholeBlocksEndsWithAnEmptyWrite) {
  for (int blocks : {1, 2, 3}) {
    SCOPED_TRACE(blocks);
    StreamBits bits(0, 6);
    bits.BinaryLiteral('q');
    int left = blocks * 4096 - 1;
    while (left > 0) {
      int take = std::min(left, 518);
      if (left - take == 1) --take;  // no copy is shorter than 2
      AppendCopy(bits, take, 1, 6);
      left -= take;
    }
    const DecodeResult decoded = Decode(bits.EndOfStream().Finish());
    EXPECT_EQ(decoded.result, IMPLODE_OK);
    EXPECT_EQ(decoded.output, Bytes(size_t{4096} * static_cast<size_t>(blocks), 'q'));
    std::vector<uint32_t> expected(blocks, 4096);
    expected.push_back(0);
    EXPECT_EQ(decoded.write_counts(), expected);
  }
}

TEST(ImplodeDecoder, LongestCopyFromTheBlocksLastPositionOverhangs) {
  // 4,095 literals bring the output position to 8,191; a 518-byte copy from a whole dictionary
  // back then ends 517 bytes into the next block.
  StreamBits bits(0, 6);
  Bytes expected = testing_support::RandomBytes(4095, 7);
  for (uint8_t byte : expected)
    bits.BinaryLiteral(byte);
  AppendCopy(bits, 518, 4095, 6);
  ReferenceCopy(expected, 518, 4095);
  bits.BinaryLiteral('!');
  expected.push_back('!');
  const DecodeResult decoded = Decode(bits.EndOfStream().Finish());
  EXPECT_EQ(decoded.result, IMPLODE_OK);
  EXPECT_EQ(decoded.output, expected);
  EXPECT_EQ(decoded.write_counts(), Counts({4096, 518}));
}

TEST(ImplodeDecoder, ReachesEveryAsciiLookupTable) {
  struct Case {
    uint8_t byte;
    const char* stream_bits;
  };
  const Case cases[] = {
      {0x20, "1111"},           // literal_lookup directly
      {0x00, "00001001001"},    // escape, then literal_lookup_4
      {0x80, "0000001001000"},  // escape, then literal_lookup_6
      {0xFF, "0000000000000"},  // 8 zero bits, then literal_lookup_8
      {0x65, "11011"},         {0x0A, "0100011"},
  };
  StreamBits all(1, 4);
  Bytes expected;
  for (const Case& c : cases) {
    SCOPED_TRACE(int(c.byte));
    const DecodeResult one =
        Decode(StreamBits(1, 4).Code("0").Code(c.stream_bits).EndOfStream().Finish());
    EXPECT_EQ(one.result, IMPLODE_OK);
    EXPECT_EQ(one.output, Bytes{c.byte});
    all.Code("0").Code(c.stream_bits);
    expected.push_back(c.byte);
  }
  EXPECT_EQ(Decode(all.EndOfStream().Finish()).output, expected);
}

TEST(ImplodeDecoder, AsciiLongCodesSplitAsTheFormatCounts) {
  auto work = implode_testing::NewWorkArea();
  ASSERT_EQ(Decode(StreamBits(1, 6).EndOfStream().Code("0").Finish(), {}, work.get()).result,
            IMPLODE_OK);
  // Reduced lengths tell the four cases apart: 69 direct, 86 by 4 bits, 69 by 6, 32 by 8.
  int direct = 0, by4 = 0, by6 = 0, by8 = 0;
  for (int byte = 0; byte < 256; ++byte) {
    const int full = kImplodeLiteralCodeBits[byte];
    const int reduced = work->literal_bits[byte];
    EXPECT_LE(reduced, 8) << byte;
    if (full == reduced)
      ++direct;
    else if (full - reduced == 4)
      ++by4;
    else if (full - reduced == 6)
      ++by6;
    else if (full - reduced == 8)
      ++by8;
  }
  EXPECT_EQ(direct, 69);
  EXPECT_EQ(by4, 86);
  EXPECT_EQ(by6, 69);
  EXPECT_EQ(by8, 32);
}

}  // namespace

namespace {

Bytes MixedStream(uint8_t type, Bytes* expected) {
  StreamBits bits(type, 6);
  for (int i = 0; i < 6000; ++i) {
    if (i % 5 == 4) {
      AppendCopy(bits, 3 + i % 40, 1 + (i * 13) % 4000, 6);
      ReferenceCopy(*expected, 3 + i % 40, 1 + (i * 13) % 4000);
    } else {
      bits.BinaryLiteral(static_cast<uint8_t>(i * 7));
      expected->push_back(static_cast<uint8_t>(i * 7));
    }
  }
  return bits.EndOfStream().Finish();
}

TEST(ImplodeDecoder, ShortReadsAreSimplyFollowedByMoreReads) {
  Bytes expected(4096, 0);  // copies may reach into the zero history at first
  const Bytes stream = MixedStream(0, &expected);
  expected.erase(expected.begin(), expected.begin() + 4096);
  for (uint32_t chunk : {1u, 3u, 7u, 8u, 9u, 1000u, 2047u, 0u}) {
    SCOPED_TRACE(chunk);
    ReadPolicy policy;
    policy.chunk = chunk;
    policy.first_chunk = 5;  // the first read must carry more than 4 bytes
    const DecodeResult decoded = Decode(stream, policy);
    EXPECT_EQ(decoded.result, IMPLODE_OK);
    EXPECT_EQ(decoded.output, expected);
    if (chunk != 0) {
      // One read per chunk, and at most one more that finds the end.
      const size_t reads = static_cast<size_t>(
          std::count_if(decoded.events.begin(), decoded.events.end(),
                        [](const CallbackEvent& event) { return event.kind == 'r'; }));
      const size_t chunks = 1 + (stream.size() - 5 + chunk - 1) / chunk;
      EXPECT_GE(reads, chunks);
      EXPECT_LE(reads, chunks + 1);
    }
  }
}

TEST(ImplodeDecoder, ReadClaimsBeyondTheBlockAreHeldToIt) {
  Bytes expected(4096, 0);
  const Bytes stream = MixedStream(0, &expected);
  expected.erase(expected.begin(), expected.begin() + 4096);
  ReadPolicy liar;
  liar.claim_extra = 5000;
  // Were the claim believed, the decoder would take the lookup tables behind its input buffer
  // for input and the output would differ.
  const DecodeResult decoded = Decode(stream, liar);
  EXPECT_EQ(decoded.result, IMPLODE_OK);
  EXPECT_EQ(decoded.output, expected);
  // Even the first read: a 5-byte stream that claims to be long still decodes.
  EXPECT_EQ(Decode({0, 6, 0x01, 0xFF, 0x00}, liar).result, IMPLODE_OK);
}

TEST(ImplodeDecoder, WorkAreaFieldsKeepTheirOrderAndSizes) {
  struct Field {
    const char* name;
    size_t offset;
    size_t size;
    size_t alignment;
  };
#define IMPLODE_FIELD(name, type)                                                        \
  Field {                                                                                \
#name, offsetof(ImplodeWorkArea, name), sizeof(ImplodeWorkArea::name), alignof(type) \
  }
  const Field fields[] = {
      IMPLODE_FIELD(compression_type, uint32_t),
      IMPLODE_FIELD(output_position, uint32_t),
      IMPLODE_FIELD(dictionary_bits, uint32_t),
      IMPLODE_FIELD(dictionary_mask, uint32_t),
      IMPLODE_FIELD(bit_buffer, uint32_t),
      IMPLODE_FIELD(extra_bits, uint32_t),
      IMPLODE_FIELD(input_position, uint32_t),
      IMPLODE_FIELD(input_count, uint32_t),
      IMPLODE_FIELD(user_param, void*),
      IMPLODE_FIELD(read_fn, void*),
      IMPLODE_FIELD(write_fn, void*),
      IMPLODE_FIELD(window, uint8_t),
      IMPLODE_FIELD(input_buffer, uint8_t),
      IMPLODE_FIELD(distance_lookup, uint8_t),
      IMPLODE_FIELD(length_lookup, uint8_t),
      IMPLODE_FIELD(literal_lookup, uint8_t),
      IMPLODE_FIELD(literal_lookup_4, uint8_t),
      IMPLODE_FIELD(literal_lookup_6, uint8_t),
      IMPLODE_FIELD(literal_lookup_8, uint8_t),
      IMPLODE_FIELD(literal_bits, uint8_t),
      IMPLODE_FIELD(distance_bits, uint8_t),
      IMPLODE_FIELD(length_bits, uint8_t),
      IMPLODE_FIELD(length_extra_bits, uint8_t),
      IMPLODE_FIELD(length_base, uint16_t),
  };
#undef IMPLODE_FIELD
  const size_t sizes[] = {4,
                          4,
                          4,
                          4,
                          4,
                          4,
                          4,
                          4,
                          sizeof(void*),
                          sizeof(void*),
                          sizeof(void*),
                          4096 + 4096 + 517,
                          2048,
                          256,
                          256,
                          256,
                          256,
                          128,
                          256,
                          256,
                          64,
                          16,
                          16,
                          32};
  size_t end = 0;
  for (size_t i = 0; i < std::size(fields); ++i) {
    SCOPED_TRACE(fields[i].name);
    EXPECT_EQ(fields[i].size, sizes[i]);
    // Each field follows the one before it, with no more padding than its alignment needs.
    EXPECT_GE(fields[i].offset, end);
    EXPECT_LT(fields[i].offset, end + fields[i].alignment);
    end = fields[i].offset + fields[i].size;
  }
}

}  // namespace
