// Encoder to decoder over varied data in every type and dictionary size: what goes in must come
// out, through the exact stream the decoder accepts, ending in the byte of the end code.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "implode/implode.h"
#include "implode/implode_encoder.h"
#include "implode/implode_format.h"
#include "tests/support/test_files.h"
#include "tests/unit/implode_test_support.h"

using implode_testing::Bytes;
using implode_testing::Decode;
using implode_testing::DecodeResult;

namespace {

Bytes EnglishText(size_t size) {
  static const char* const kWords[] = {
      "the ",       "installer ", "copies ", "files ",    "into ",    "a ",     "work ",
      "directory ", "and ",       "starts ", "engine ",   "which ",   "reads ", "its ",
      "script; ",   "when ",      "done, ",  "cleanup ",  "removes ", "every ", "file.\n",
      "Windows ",   "package ",   "of ",     "progress ", "dialog ",  "shows ", "percent "};
  Bytes text;
  uint32_t state = 12345;
  while (text.size() < size) {
    state = state * 1103515245 + 12345;
    const char* word = kWords[(state >> 16) % (sizeof kWords / sizeof kWords[0])];
    text.insert(text.end(), word, word + strlen(word));
  }
  text.resize(size);
  return text;
}

Bytes Runs(size_t size) {
  Bytes runs;
  uint32_t state = 99;
  while (runs.size() < size) {
    state = state * 1103515245 + 12345;
    runs.insert(runs.end(), 1 + (state >> 20) % 700, static_cast<uint8_t>(state >> 8));
  }
  runs.resize(size);
  return runs;
}

// Structured binary: little records with counters, zero padding and repeated tags.
Bytes RecordLike(size_t size) {
  Bytes data;
  for (uint32_t i = 0; data.size() < size; ++i) {
    const uint8_t record[16] = {'R',
                                'E',
                                'C',
                                0,
                                static_cast<uint8_t>(i),
                                static_cast<uint8_t>(i >> 8),
                                0,
                                0,
                                static_cast<uint8_t>(i * 7),
                                0,
                                0,
                                0,
                                0xFF,
                                0xFE,
                                0,
                                1};
    data.insert(data.end(), record, record + sizeof record);
  }
  data.resize(size);
  return data;
}

struct Sample {
  std::string name;
  Bytes data;
};

std::vector<Sample> Samples() {
  std::vector<Sample> samples = {
      {"empty", {}},
      {"one byte", {0x42}},
      {"two bytes", {0xFF, 0x00}},
      {"text", EnglishText(50000)},
      {"random", testing_support::RandomBytes(20000, 5)},
      {"runs", Runs(60000)},
      {"zeros", Bytes(70000, 0)},
      {"records", RecordLike(40000)},
      {"all bytes", {}},
  };
  for (int i = 0; i < 512; ++i)
    samples.back().data.push_back(static_cast<uint8_t>(i * 61));
  // Sizes around the input and output block boundaries and the encoder's own blocks.
  for (size_t size :
       {2047u, 2048u, 2049u, 4095u, 4096u, 4097u, 8191u, 8192u, 8193u, 65535u, 65536u, 65537u}) {
    samples.push_back({"text " + std::to_string(size), EnglishText(size)});
    samples.push_back({"random " + std::to_string(size), testing_support::RandomBytes(size, 9)});
  }
  return samples;
}

// Every stream must end in the byte that completes its end code: with the last byte dropped,
// the decoder must fail.
void ExpectEndsWithEndCode(const Bytes& stream) {
  const Bytes shorter(stream.begin(), stream.end() - 1);
  EXPECT_NE(Decode(shorter).result, IMPLODE_OK);
}

TEST(ImplodeRoundTrip, EveryTypeDictionaryAndLevelOverVariedData) {
  const std::vector<Sample> samples = Samples();
  for (uint32_t type : {kImplodeBinary, kImplodeAscii}) {
    for (uint32_t k : {4u, 5u, 6u}) {
      for (const Sample& sample : samples) {
        SCOPED_TRACE(testing::Message() << "type " << type << " k " << k << " " << sample.name);
        const Bytes fast = ImplodeBytes(sample.data.data(), sample.data.size(), type, k);
        const Bytes best =
            ImplodeBytes(sample.data.data(), sample.data.size(), type, k, kImplodeBest);
        // The best level considers every copy the fast one does, and more.
        EXPECT_LE(best.size(), fast.size());
        for (const Bytes* stream : {&fast, &best}) {
          ASSERT_GE(stream->size(), 5u);
          EXPECT_EQ((*stream)[0], type);
          EXPECT_EQ((*stream)[1], k);
          const DecodeResult decoded = Decode(*stream);
          ASSERT_EQ(decoded.result, IMPLODE_OK);
          ASSERT_EQ(decoded.output, sample.data);
          if (!sample.data.empty()) ExpectEndsWithEndCode(*stream);
        }
      }
    }
  }
}

TEST(ImplodeRoundTrip, EmptyInputGetsOnePaddingByte) {
  for (uint32_t type : {kImplodeBinary, kImplodeAscii}) {
    const Bytes stream = ImplodeBytes(nullptr, 0, type, 6);
    EXPECT_EQ(stream, (Bytes{static_cast<uint8_t>(type), 6, 0x01, 0xFF, 0x00}));
    const DecodeResult decoded = Decode(stream);
    EXPECT_EQ(decoded.result, IMPLODE_OK);
    EXPECT_TRUE(decoded.output.empty());
  }
}

TEST(ImplodeRoundTrip, ChunkedFeedingGivesTheSameStream) {
  Bytes text = EnglishText(150000);
  const Bytes random = testing_support::RandomBytes(150000, 11);
  text.insert(text.end(), random.begin(), random.end());
  for (ImplodeLevel level : {kImplodeFast, kImplodeBest}) {
    const Bytes whole = ImplodeBytes(text.data(), text.size(), kImplodeAscii, 5, level);
    for (size_t chunk : {1u, 7u, 4096u, 65536u, 100000u}) {
      SCOPED_TRACE(testing::Message() << "level " << level << " chunk " << chunk);
      Bytes stream;
      size_t sink_calls = 0;
      ImplodeEncoder encoder;
      ASSERT_TRUE(StartImplodeEncoder(
          &encoder, kImplodeAscii, 5,
          [&](const uint8_t* bytes, size_t count) {
            stream.insert(stream.end(), bytes, bytes + count);
            ++sink_calls;
          },
          level));
      for (size_t offset = 0; offset < text.size(); offset += chunk) {
        FeedImplodeEncoder(&encoder, text.data() + offset, std::min(chunk, text.size() - offset));
      }
      FinishImplodeEncoder(&encoder);
      // Nothing may follow the end code.
      FeedImplodeEncoder(&encoder, text.data(), 100);
      FinishImplodeEncoder(&encoder);
      EXPECT_EQ(stream, whole);
      EXPECT_GT(sink_calls, 1u);  // output flows before the input ends
    }
  }
}

// The cutter that the encoder and the package writer share hands on the same blocks, each with
// the dictionary's worth of input before it, however the input arrives; no empty last block.
TEST(ImplodeRoundTrip, CutterHandsOnTheSameBlocksHoweverTheInputComes) {
  const Bytes input = testing_support::RandomBytes(2 * kImplodeEncoderBlockSize + 100, 17);
  for (size_t total : {size_t{0}, size_t{100}, 2 * kImplodeEncoderBlockSize, input.size()}) {
    for (size_t chunk : {1u, 4096u, 65536u, 100000u}) {
      SCOPED_TRACE(testing::Message() << "total " << total << " chunk " << chunk);
      std::vector<Bytes> blocks;  // each block's history and bytes
      std::vector<size_t> histories;
      ImplodeBlockCutter cutter;
      cutter.dictionary_size = 2048;
      const ImplodeBlockTaker take = [&](const uint8_t* window, size_t history, size_t size) {
        blocks.emplace_back(window, window + history + size);
        histories.push_back(history);
      };
      for (size_t offset = 0; offset < total; offset += chunk)
        CutImplodeBlocks(&cutter, input.data() + offset, std::min(chunk, total - offset), take);
      CutLastImplodeBlock(&cutter, take);
      EXPECT_EQ(cutter.input_total, total);
      ASSERT_EQ(blocks.size(), (total + kImplodeEncoderBlockSize - 1) / kImplodeEncoderBlockSize);
      for (size_t i = 0; i < blocks.size(); ++i) {
        const size_t start = i * kImplodeEncoderBlockSize;
        const size_t history = std::min<size_t>(start, 2048);
        const size_t end = std::min(start + kImplodeEncoderBlockSize, total);
        EXPECT_EQ(histories[i], history);
        EXPECT_EQ(blocks[i], Bytes(input.begin() + static_cast<ptrdiff_t>(start - history),
                                   input.begin() + static_cast<ptrdiff_t>(end)));
      }
    }
  }
}

// Blocks coded apart, in any order and each with scratch of its own (as threads would), join into
// the stream the encoder makes of the whole input.
TEST(ImplodeRoundTrip, BlocksCodedApartJoinIntoTheSameStream) {
  Bytes mixed = EnglishText(100000);
  const Bytes random = testing_support::RandomBytes(70000, 13);
  mixed.insert(mixed.end(), random.begin(), random.end());
  for (size_t size : {size_t{0}, size_t{1}, size_t{65535}, size_t{65536}, size_t{65537},
                      size_t{131072}, mixed.size()}) {
    for (uint32_t type : {kImplodeBinary, kImplodeAscii}) {
      for (ImplodeLevel level : {kImplodeFast, kImplodeBest}) {
        const uint32_t k = type == kImplodeBinary ? 6 : 4;
        SCOPED_TRACE(testing::Message()
                     << "size " << size << " type " << type << " level " << level);
        ImplodeCoding coding;
        ASSERT_TRUE(SetUpImplodeCoding(&coding, type, k, level));
        std::vector<ImplodeBits> blocks((size + kImplodeEncoderBlockSize - 1) /
                                        kImplodeEncoderBlockSize);
        for (size_t i = blocks.size(); i-- > 0;) {
          ImplodeBlockScratch scratch;
          const size_t start = i * kImplodeEncoderBlockSize;
          const size_t history = std::min<size_t>(start, coding.dictionary_size);
          EncodeImplodeBlock(coding, &scratch, mixed.data() + start - history, history,
                             std::min(kImplodeEncoderBlockSize, size - start), &blocks[i]);
        }
        ImplodeBits stream;
        PutImplodeHeader(coding, &stream);
        for (const ImplodeBits& block : blocks)
          AppendImplodeBits(&stream, block);
        PutImplodeEnd(&stream, size);
        EXPECT_EQ(stream.pending_count, 0u);
        EXPECT_EQ(stream.bytes, ImplodeBytes(mixed.data(), size, type, k, level));
      }
    }
  }
}

TEST(ImplodeRoundTrip, RejectsUnknownSettings) {
  ImplodeEncoder encoder;
  auto sink = [](const uint8_t*, size_t) { FAIL() << "nothing may be written"; };
  EXPECT_FALSE(StartImplodeEncoder(&encoder, 2, 6, sink));
  EXPECT_FALSE(StartImplodeEncoder(&encoder, 0, 3, sink));
  EXPECT_FALSE(StartImplodeEncoder(&encoder, 1, 7, sink));
  EXPECT_FALSE(StartImplodeEncoder(&encoder, 0, 6, sink, static_cast<ImplodeLevel>(2)));
  ImplodeCoding coding;
  EXPECT_FALSE(SetUpImplodeCoding(&coding, 2, 6, kImplodeFast));
  EXPECT_FALSE(SetUpImplodeCoding(&coding, 0, 7, kImplodeBest));
  EXPECT_FALSE(SetUpImplodeCoding(&coding, 1, 6, static_cast<ImplodeLevel>(2)));
}

TEST(ImplodeRoundTrip, CompressesWhatRepeats) {
  struct Case {
    const char* name;
    Bytes data;
    uint32_t type;
    double most;  // largest acceptable compressed share of the input
  };
  const Case cases[] = {
      {"zeros", Bytes(100000, 0), kImplodeBinary, 0.01},
      {"text binary", EnglishText(100000), kImplodeBinary, 0.40},
      {"text ascii", EnglishText(100000), kImplodeAscii, 0.35},
      {"records", RecordLike(100000), kImplodeBinary, 0.30},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Bytes stream = ImplodeBytes(c.data.data(), c.data.size(), c.type, 6);
    EXPECT_LT(stream.size(), c.data.size() * c.most);
  }
  // Random bytes cannot shrink; binary literals cost 9 bits for 8.
  const Bytes random = testing_support::RandomBytes(100000, 3);
  EXPECT_LT(ImplodeBytes(random.data(), random.size(), kImplodeBinary, 6).size(),
            random.size() * 9 / 8 + 16);
}

// FNV-1a, 64 bits: enough to tell whether a stream changed.
uint64_t Fingerprint(const Bytes& bytes) {
  uint64_t hash = 14695981039346656037u;
  for (uint8_t byte : bytes)
    hash = (hash ^ byte) * 1099511628211u;
  return hash;
}

// The best level is the cheapest parse the encoder has always found: its streams must not change
// as the encoder is made faster, or packages built before would no longer be rebuilt the same.
TEST(ImplodeRoundTrip, BestLevelStreamsStayTheSame) {
  Bytes mixed = EnglishText(70000);
  const Bytes random = testing_support::RandomBytes(30000, 8);
  mixed.insert(mixed.end(), random.begin(), random.end());
  mixed.insert(mixed.end(), 40000, 0);
  const Bytes records = RecordLike(90000);
  mixed.insert(mixed.end(), records.begin(), records.end());
  const Bytes runs = Runs(60000);
  struct Case {
    const Bytes* data;
    uint32_t type;
    uint32_t k;
    size_t size;
    uint64_t fingerprint;
  };
  const Case cases[] = {
      {&mixed, kImplodeBinary, 4, 78797, 0x3b056aa79019dffdu},
      {&mixed, kImplodeBinary, 5, 79310, 0xed8e4298e030c41cu},
      {&mixed, kImplodeBinary, 6, 71054, 0xed4a5c9cd67e2e5bu},
      {&mixed, kImplodeAscii, 4, 92178, 0xe7e1f5d2df61b62eu},
      {&mixed, kImplodeAscii, 5, 92710, 0xba46dde17a52f5ecu},
      {&mixed, kImplodeAscii, 6, 82061, 0xf0ced60d6af7c853u},
      {&runs, kImplodeBinary, 6, 822, 0x96b75840a753d4e5u},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "type " << c.type << " k " << c.k << " size " << c.size);
    const Bytes stream = ImplodeBytes(c.data->data(), c.data->size(), c.type, c.k, kImplodeBest);
    EXPECT_EQ(stream.size(), c.size);
    EXPECT_EQ(Fingerprint(stream), c.fingerprint);
  }
}

// The cheapest parse by brute force, over every distance of every copy: its cost in bits.
uint64_t CheapestParseBits(const Bytes& data, uint32_t type, uint32_t k) {
  const size_t n = data.size();
  std::vector<uint64_t> cost(n + 1, UINT64_MAX);
  cost[0] = 0;
  for (size_t i = 0; i < n; ++i) {
    const uint64_t literal = 1 + (type == kImplodeAscii ? kImplodeLiteralCodeBits[data[i]] : 8);
    cost[i + 1] = std::min(cost[i + 1], cost[i] + literal);
    for (size_t distance = 1; distance <= std::min<size_t>(i, 64u << k); ++distance) {
      for (size_t length = 1; length <= 518 && i + length <= n; ++length) {
        if (data[i + length - 1] != data[i + length - 1 - distance]) break;
        if (length == 1 || (length == 2 && distance > 256)) continue;
        int symbol = 15;
        while (kImplodeLengthBase[symbol] + 2u > length)
          --symbol;
        const uint32_t low_bits = length == 2 ? 2 : k;
        const uint64_t copy = 1 + kImplodeLengthCodeBits[symbol] + kImplodeLengthExtraBits[symbol] +
                              kImplodeDistanceCodeBits[(distance - 1) >> low_bits] + low_bits;
        cost[i + length] = std::min(cost[i + length], cost[i] + copy);
      }
    }
  }
  return cost[n];
}

TEST(ImplodeRoundTrip, StreamsAreAsShortAsTheCheapestParse) {
  std::mt19937 random(17);
  for (int round = 0; round < 40; ++round) {
    Bytes data(20 + random() % 400);
    const uint32_t alphabet = 2 + random() % 6;
    std::generate(data.begin(), data.end(),
                  [&] { return static_cast<uint8_t>('a' + random() % alphabet); });
    for (uint32_t type : {kImplodeBinary, kImplodeAscii}) {
      for (uint32_t k : {4u, 6u}) {
        SCOPED_TRACE(testing::Message() << "round " << round << " type " << type << " k " << k);
        // Header, parse, end code, and the last byte filled up.
        const uint64_t bits = CheapestParseBits(data, type, k) + 16;
        EXPECT_EQ(ImplodeBytes(data.data(), data.size(), type, k, kImplodeBest).size(),
                  2 + (bits + 7) / 8);
      }
    }
  }
}

}  // namespace
