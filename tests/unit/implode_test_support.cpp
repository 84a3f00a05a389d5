#include "tests/unit/implode_test_support.h"

#include <algorithm>
#include <cstring>
#include <random>

namespace implode_testing {

namespace {

struct Harness {
  const Bytes* stream;
  size_t offset;
  ReadPolicy policy;
  std::mt19937 random;
  DecodeResult* out;
  ImplodeWorkArea* work;
};

uint32_t ReadChunk(uint8_t* buffer, uint32_t* count, void* user_param) {
  Harness* harness = static_cast<Harness*>(user_param);
  harness->out->events.push_back({'r', *count});
  // The decoder must hand over its own input buffer and ask for a whole block each time.
  if (buffer != harness->work->input_buffer || *count != kImplodeInputBlockSize) return 0;
  const uint32_t chunk = NextChunkSize(harness->policy, &harness->random, harness->offset == 0);
  const size_t left = harness->stream->size() - harness->offset;
  const uint32_t delivered = static_cast<uint32_t>(std::min<size_t>({left, chunk, *count}));
  if (delivered > 0) memcpy(buffer, harness->stream->data() + harness->offset, delivered);
  harness->offset += delivered;
  *count = 0xDEADBEEF;  // ignored by the decoder
  return delivered + (delivered > 0 ? harness->policy.claim_extra : 0);
}

void WriteBlock(uint8_t* buffer, uint32_t* count, void* user_param) {
  Harness* harness = static_cast<Harness*>(user_param);
  harness->out->events.push_back({'w', *count});
  harness->out->output.insert(harness->out->output.end(), buffer, buffer + *count);
}

}  // namespace

uint32_t NextChunkSize(const ReadPolicy& policy, std::mt19937* random, bool first) {
  uint32_t chunk = policy.chunk;
  if (chunk == 0) chunk = 1 + (*random)() % kImplodeInputBlockSize;
  if (first && policy.first_chunk != 0) chunk = policy.first_chunk;
  return chunk;
}

std::vector<uint32_t> DecodeResult::write_counts() const {
  std::vector<uint32_t> counts;
  for (const CallbackEvent& event : events) {
    if (event.kind == 'w') counts.push_back(event.count);
  }
  return counts;
}

std::unique_ptr<ImplodeWorkArea> NewWorkArea() {
  auto work = std::make_unique<ImplodeWorkArea>();
  memset(work.get(), 0, sizeof(ImplodeWorkArea));
  return work;
}

DecodeResult Decode(const Bytes& stream, ReadPolicy policy, ImplodeWorkArea* work) {
  std::unique_ptr<ImplodeWorkArea> own;
  if (work == nullptr) {
    own = NewWorkArea();
    work = own.get();
  }
  DecodeResult result;
  Harness harness{&stream, 0, policy, std::mt19937(policy.seed), &result, work};
  result.result = policy.strict ? DecodeImplodeStreamStrictly(ReadChunk, WriteBlock, work, &harness)
                                : DecodeImplodeStream(ReadChunk, WriteBlock, work, &harness);
  return result;
}

StreamBits& StreamBits::Code(const std::string& stream_bits) {
  for (char bit : stream_bits) {
    if (used_ == 8) {
      bytes_.push_back(0);
      used_ = 0;
    }
    if (bit == '1') bytes_.back() = static_cast<uint8_t>(bytes_.back() | (1u << used_));
    ++used_;
  }
  return *this;
}

StreamBits& StreamBits::Raw(uint32_t value, int n) {
  std::string bits;
  for (int i = 0; i < n; ++i)
    bits += ((value >> i) & 1) ? '1' : '0';
  return Code(bits);
}

}  // namespace implode_testing
