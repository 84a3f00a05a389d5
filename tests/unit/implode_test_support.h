// Shared helpers of the implode tests: a decoder harness that records every callback, and a
// bit writer for assembling streams by hand from the format's own stream bits.
#pragma once

#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "implode/implode.h"

namespace implode_testing {

using Bytes = std::vector<uint8_t>;

// How the test's read callback hands out input.
struct ReadPolicy {
  uint32_t chunk = kImplodeInputBlockSize;  // bytes delivered per call at most (0: random 1-2048)
  uint32_t first_chunk = 0;                 // bytes delivered by the first call (0: as `chunk`)
  uint32_t claim_extra = 0;  // added to the returned count, as a misbehaving callback would
  uint32_t seed = 1;         // for random chunk sizes
  bool strict = false;       // decode with DecodeImplodeStreamStrictly
};

// The size of the next chunk the read callback hands out under `policy`.
uint32_t NextChunkSize(const ReadPolicy& policy, std::mt19937* random, bool first);

// One callback as the decoder made it: 'r' or 'w', and the count (asked for a read, given for
// a write).
struct CallbackEvent {
  char kind;
  uint32_t count;
  bool operator==(const CallbackEvent& other) const {
    return kind == other.kind && count == other.count;
  }
};

struct DecodeResult {
  int32_t result = -1;
  Bytes output;
  std::vector<CallbackEvent> events;
  std::vector<uint32_t> write_counts() const;
};

// Decodes `stream` in a fresh zero-filled work area, or in `work` when given.
DecodeResult Decode(const Bytes& stream, ReadPolicy policy = {}, ImplodeWorkArea* work = nullptr);

std::unique_ptr<ImplodeWorkArea> NewWorkArea();

// Assembles a stream bit by bit, least significant bit of each byte first.
class StreamBits {
 public:
  StreamBits(uint8_t type, uint8_t dictionary_bits) : bytes_{type, dictionary_bits} {}
  // Appends bits written in stream order, first bit first, such as "101".
  StreamBits& Code(const std::string& stream_bits);
  // Appends the low n bits of value, bit 0 first.
  StreamBits& Raw(uint32_t value, int n);
  StreamBits& BinaryLiteral(uint8_t byte) { return Code("0").Raw(byte, 8); }
  StreamBits& EndOfStream() { return Code("1").Code("0000000").Raw(255, 8); }
  // The stream so far, its last byte filled up with zero bits.
  Bytes Finish() const { return bytes_; }
  size_t bit_count() const { return (bytes_.size() - 2) * 8 - (8 - used_) % 8; }

 private:
  Bytes bytes_;
  int used_ = 8;  // bits used in the last byte
};

}  // namespace implode_testing
