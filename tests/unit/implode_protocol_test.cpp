// The decoder's callback traffic against a model of its bit reader. The model decodes straight
// from the whole stream and only counts what the reader would have to fetch: after every field
// the lookahead must again hold 8 bits, each missing byte comes from the current input block,
// and an empty block means a read. Reads and writes must come in the same order with the same
// counts, and the output must be the same, however the input arrives.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "implode/implode.h"
#include "implode/implode_encoder.h"
#include "implode/implode_format.h"
#include "tests/support/test_files.h"
#include "tests/unit/implode_test_support.h"

using implode_testing::Bytes;
using implode_testing::CallbackEvent;
using implode_testing::Decode;
using implode_testing::DecodeResult;
using implode_testing::ReadPolicy;

namespace {

class ModelDecoder {
 public:
  ModelDecoder(const Bytes& stream, const ReadPolicy& policy)
      : stream_(stream), policy_(policy), random_(policy.seed) {}

  DecodeResult Run() {
    if (!Read() || delivered_ <= 4) return Finish(IMPLODE_TOO_SHORT, false);
    const uint32_t type = stream_[0];
    const uint32_t k = stream_[1];
    if (k < 4 || k > 6) return Finish(IMPLODE_BAD_DICTIONARY, false);
    if (type > 1) return Finish(IMPLODE_BAD_TYPE, false);
    taken_ = 3;
    Bytes window(4096, 0);
    size_t block_start = 4096;
    for (;;) {
      const bool copy = Peek(1) != 0;
      if (!Consume(1)) break;
      if (!copy) {
        const uint32_t literal =
            type == 0 ? Peek(8) : Symbol(kImplodeLiteralCodeBits, kImplodeLiteralCodeValues, 256);
        if (!Consume(type == 0 ? 8 : kImplodeLiteralCodeBits[literal])) break;
        window.push_back(static_cast<uint8_t>(literal));
      } else {
        const uint32_t symbol = Symbol(kImplodeLengthCodeBits, kImplodeLengthCodeValues, 16);
        if (!Consume(kImplodeLengthCodeBits[symbol])) break;
        const uint32_t extra = Peek(kImplodeLengthExtraBits[symbol]);
        const uint32_t value = kImplodeLengthBase[symbol] + extra;
        const bool extra_read = Consume(kImplodeLengthExtraBits[symbol]);
        if (value == 517) return Finish(IMPLODE_OK, true, window, block_start);
        if (!extra_read) break;
        const uint32_t length = value + 2;
        const uint32_t high = Symbol(kImplodeDistanceCodeBits, kImplodeDistanceCodeValues, 64);
        const uint32_t low_bits = length == 2 ? 2 : k;
        if (!Consume(kImplodeDistanceCodeBits[high])) break;
        const uint32_t low = Peek(low_bits);
        if (!Consume(low_bits)) break;
        const size_t distance = ((high << low_bits) | low) + 1;
        for (uint32_t i = 0; i < length; ++i)
          window.push_back(window[window.size() - distance]);
      }
      if (window.size() - block_start >= 4096) {
        events_.push_back({'w', 4096});
        block_start += 4096;
      }
    }
    return Finish(IMPLODE_TRUNCATED, true, window, block_start);
  }

 private:
  bool Read() {
    events_.push_back({'r', kImplodeInputBlockSize});
    const uint32_t chunk = implode_testing::NextChunkSize(policy_, &random_, delivered_ == 0);
    const size_t got = std::min<size_t>(chunk, stream_.size() - delivered_);
    delivered_ += got;
    block_end_ = delivered_;
    return got > 0;
  }

  // The next n stream bits, n up to 16 (past the lookahead too: the model sees the whole
  // stream; bits past its end read as zeros).
  uint32_t Peek(uint32_t n) const {
    const size_t bit = 16 + consumed_;
    uint32_t window = 0;
    for (size_t i = 0; i < 3; ++i) {
      if (bit / 8 + i < stream_.size()) window |= uint32_t{stream_[bit / 8 + i]} << (8 * i);
    }
    return (window >> (bit % 8)) & ((1u << n) - 1);
  }

  template <typename Value>
  uint32_t Symbol(const uint8_t* bits, const Value* values, uint32_t count) const {
    const uint32_t next = Peek(16);
    for (uint32_t symbol = 0; symbol < count; ++symbol) {
      if ((next & ((1u << bits[symbol]) - 1)) == values[symbol]) return symbol;
    }
    ADD_FAILURE() << "incomplete code";
    return 0;
  }

  // Drops n bits, then takes whole bytes until 8 lookahead bits are held again.
  bool Consume(uint32_t n) {
    consumed_ += n;
    while ((taken_ - 2) * 8 < consumed_ + 8) {
      if (taken_ == block_end_ && !Read()) return false;
      ++taken_;
    }
    return true;
  }

  DecodeResult Finish(int32_t result, bool writes, const Bytes& window = {},
                      size_t block_start = 0) {
    DecodeResult out;
    out.result = result;
    if (writes) {
      events_.push_back({'w', static_cast<uint32_t>(window.size() - block_start)});
      out.output.assign(window.begin() + 4096, window.end());
    }
    out.events = events_;
    return out;
  }

  const Bytes& stream_;
  ReadPolicy policy_;
  std::mt19937 random_;
  size_t delivered_ = 0;
  size_t block_end_ = 0;
  size_t taken_ = 0;
  size_t consumed_ = 0;
  std::vector<CallbackEvent> events_;
};

std::vector<Bytes> Streams() {
  std::vector<Bytes> streams;
  Bytes text;
  const char* sentence = "Every file of the package is written with its own time. ";
  while (text.size() < 30000)
    text.insert(text.end(), sentence, sentence + strlen(sentence));
  const Bytes random = testing_support::RandomBytes(12000, 21);
  text.insert(text.end(), random.begin(), random.end());
  for (uint32_t type : {kImplodeBinary, kImplodeAscii}) {
    for (uint32_t k : {4u, 6u}) {
      streams.push_back(ImplodeBytes(text.data(), text.size(), type, k));
      Bytes cut = streams.back();
      cut.resize(cut.size() / 3);
      streams.push_back(cut);
    }
  }
  // Noise with a valid header: every bit pattern decodes to something until the input ends.
  for (uint32_t seed = 1; seed <= 6; ++seed) {
    Bytes noise = testing_support::RandomBytes(size_t{3000} * seed, seed);
    noise[0] = static_cast<uint8_t>(seed % 2);
    noise[1] = static_cast<uint8_t>(4 + seed % 3);
    streams.push_back(noise);
  }
  return streams;
}

TEST(ImplodeProtocol, CallbacksMatchTheModelForEveryInputChunking) {
  const std::vector<Bytes> streams = Streams();
  std::vector<ReadPolicy> policies;
  // Blocks just wider and narrower than what the fast path needs for one token's peeks (6 bytes
  // on 32-bit machines, 8 on 64-bit ones), so that it starts and stops at every offset.
  for (uint32_t chunk : {2048u, 2047u, 700u, 9u, 8u, 7u, 6u, 5u}) {
    ReadPolicy policy;
    policy.chunk = chunk;
    policies.push_back(policy);
  }
  // Random chunk sizes move the block edges, where the fast path hands over to the plain one,
  // across every kind of token and every output block boundary.
  for (uint32_t seed = 1; seed <= 16; ++seed) {
    ReadPolicy policy;
    policy.chunk = 0;
    policy.first_chunk = 5 + seed;
    policy.seed = seed;
    policies.push_back(policy);
  }
  for (size_t i = 0; i < streams.size(); ++i) {
    for (const ReadPolicy& policy : policies) {
      SCOPED_TRACE(testing::Message()
                   << "stream " << i << " chunk " << policy.chunk << " seed " << policy.seed);
      const DecodeResult actual = Decode(streams[i], policy);
      const DecodeResult model = ModelDecoder(streams[i], policy).Run();
      EXPECT_EQ(actual.result, model.result);
      ASSERT_EQ(actual.events, model.events);
      // Fresh work areas hold zeros, as the model's history does.
      EXPECT_EQ(actual.output, model.output);
    }
  }
}

}  // namespace
