// Arbitrary bytes through the implode decoder. The first two input bytes seed the read
// callback's chunk sizes; the rest is the stream. Each stream is decoded twice: in whole blocks
// and in random chunks (some of them claiming more than they deliver). Besides memory errors
// this catches any breach of the callback protocol and any dependence of the output on how the
// input arrives.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <vector>

#include "implode/implode.h"

namespace {

struct Source {
  const uint8_t* data;
  size_t size;
  size_t offset;
  uint32_t random;  // 0: whole blocks
  bool lies;        // may claim more than it delivers
  const ImplodeWorkArea* work;
  std::vector<uint8_t> output;
  bool last_write_seen;
};

uint32_t NextRandom(uint32_t* state) {
  *state = *state * 1103515245u + 12345u;
  return *state >> 8;
}

// cppcheck-suppress constParameter ; the callback type fixes the signature
uint32_t ReadChunk(uint8_t* buffer, uint32_t* count, void* user_param) {
  Source* source = static_cast<Source*>(user_param);
  if (buffer != source->work->input_buffer || *count != kImplodeInputBlockSize) abort();
  size_t chunk = kImplodeInputBlockSize;
  uint32_t claim_extra = 0;
  if (source->random != 0) {
    const uint32_t roll = NextRandom(&source->random);
    chunk = roll % 8 == 0 ? 1 + roll % kImplodeInputBlockSize : 1 + roll % 16;
    if (source->offset == 0 && chunk < 5) chunk = 5;
    if (source->lies && roll % 13 == 0) claim_extra = roll % 5000;
  }
  const size_t left = source->size - source->offset;
  const size_t delivered = chunk < left ? chunk : left;
  memcpy(buffer, source->data + source->offset, delivered);
  source->offset += delivered;
  return static_cast<uint32_t>(delivered) + (delivered > 0 ? claim_extra : 0);
}

void WriteBlock(uint8_t* buffer, uint32_t* count, void* user_param) {
  Source* source = static_cast<Source*>(user_param);
  // Full blocks, then exactly one final call with what is left.
  if (source->last_write_seen || *count > kImplodeOutputBlockSize) abort();
  if (buffer != source->work->window + kImplodeHistorySize) abort();
  source->last_write_seen = *count < kImplodeOutputBlockSize;
  source->output.insert(source->output.end(), buffer, buffer + *count);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const uint32_t seed = (uint32_t{data[0]} << 8 | data[1]) + 1;
  static ImplodeWorkArea work;

  memset(&work, 0, sizeof work);
  Source whole = {data + 2, size - 2, 0, 0, false, &work, {}, false};
  const int32_t whole_result = DecodeImplodeStream(ReadChunk, WriteBlock, &work, &whole);
  if (whole_result < IMPLODE_OK || whole_result > IMPLODE_TRUNCATED) abort();
  const bool decoded = whole_result == IMPLODE_OK || whole_result == IMPLODE_TRUNCATED;
  if (decoded != whole.last_write_seen) abort();

  // Honest random chunks from a clean window must give the very same result and bytes.
  memset(&work, 0, sizeof work);
  Source honest = {data + 2, size - 2, 0, seed, false, &work, {}, false};
  if (DecodeImplodeStream(ReadChunk, WriteBlock, &work, &honest) != whole_result) abort();
  if (honest.output != whole.output) abort();

  // Lying chunks, in the work area as the last decode left it: anything may come out, but
  // nothing outside the work area may be touched.
  Source liar = {data + 2, size - 2, 0, seed ^ 0x5A5A, true, &work, {}, false};
  DecodeImplodeStream(ReadChunk, WriteBlock, &work, &liar);
  return 0;
}
