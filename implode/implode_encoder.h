// The implode stream encoder: the writer side of the codec, for the tools and the tests. It takes
// input in chunks of any size and passes the stream on through a sink as it goes, so no whole
// file needs to be held. Streams end in the byte that completes the end-of-stream code.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <functional>
#include <vector>

#include "implode/implode_format.h"

// Receives the next `count` bytes of the stream.
using ImplodeSink = std::function<void(const uint8_t* bytes, size_t count)>;

// How hard the encoder looks for copies. Both levels find the cheapest parse of the copies they
// consider; the fast one considers far fewer and makes streams a little longer.
enum ImplodeLevel : uint32_t {
  kImplodeFast = 0,  // the default
  kImplodeBest = 1,  // the smallest streams this encoder makes, several times slower
};

// How the cheapest parse found so far reaches a position: by a literal (length 1) or a copy.
struct ImplodeStep {
  uint32_t cost;  // bits from the start of the block
  uint16_t length;
  uint16_t distance;
};

// The encoder's whole state. Set it up with StartImplodeEncoder; the fields are its own.
struct ImplodeEncoder {
  uint32_t compression_type = kImplodeBinary;
  uint32_t dictionary_bits = 6;
  uint32_t dictionary_size = 4096;
  ImplodeSink sink;
  uint64_t input_total = 0;
  bool finished = false;

  // Costs in bits, which the fixed codes settle in advance: of a literal by byte value, of a
  // copy's flag and length by length, of its distance for a two-byte and for a longer copy.
  std::vector<uint8_t> literal_cost;
  std::vector<uint8_t> length_cost;
  std::vector<uint8_t> length_symbol;  // by length
  std::vector<uint8_t> short_distance_cost;
  std::vector<uint8_t> long_distance_cost;

  // Already encoded history (at most the dictionary) followed by input not yet encoded.
  std::vector<uint8_t> window;
  size_t history = 0;

  // Bits not yet forming a whole byte, and whole bytes not yet handed to the sink.
  uint64_t bit_buffer = 0;
  uint32_t bit_count = 0;
  std::vector<uint8_t> output;

  // Match finding: chains of earlier positions with the same 3-byte hash, and the latest
  // position of every byte pair (for two-byte copies, which only reach 256 back).
  std::vector<int32_t> hash_head;
  std::vector<int32_t> hash_previous;
  std::vector<int32_t> pair_latest;

  // How hard to look: chain links to follow, and the copy length that ends a search.
  uint32_t chain_steps = 0;
  uint32_t good_enough_length = 0;

  // Parsing: the cheapest way found to each position of the block, and the parse read back.
  std::vector<ImplodeStep> steps;
  std::vector<ImplodeStep> parse;
};

// Begins a stream of the given type (kImplodeBinary or kImplodeAscii) and dictionary size code
// (4, 5 or 6 for 1, 2 or 4 KiB) at a level. Returns false, writing nothing, for any other
// values. The same input, settings and level always give the same stream.
bool StartImplodeEncoder(ImplodeEncoder* encoder, uint32_t compression_type,
                         uint32_t dictionary_bits, ImplodeSink sink,
                         ImplodeLevel level = kImplodeFast);

// Takes the next chunk of input; whole blocks are encoded and passed to the sink as they fill.
// Input fed after FinishImplodeEncoder is ignored.
void FeedImplodeEncoder(ImplodeEncoder* encoder, const uint8_t* data, size_t size);

// Encodes what is left, ends the stream and passes the rest of it to the sink.
void FinishImplodeEncoder(ImplodeEncoder* encoder);

// The whole stream for the whole input at once.
std::vector<uint8_t> ImplodeBytes(const uint8_t* data, size_t size, uint32_t compression_type,
                                  uint32_t dictionary_bits, ImplodeLevel level = kImplodeFast);
