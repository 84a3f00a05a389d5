// The implode stream encoder: the writer side of the codec, for the tools and the tests. It takes
// input in chunks of any size and passes the stream on through a sink as it goes, so no whole
// file needs to be held. Streams end in the byte that completes the end-of-stream code.
//
// The input is coded in blocks of kImplodeEncoderBlockSize bytes. A block's bits depend on its own
// bytes and on the dictionary's worth of input before it, nothing else, and the blocks' bits
// simply follow one another in the stream. So the blocks of a stream may also be coded apart, on
// as many threads as there are, and joined in order into the very same stream: the second half
// of this header is for that.
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

constexpr size_t kImplodeEncoderBlockSize = 65536;

// What a stream's settings fix before any input is seen, shared by everything that codes its
// blocks: the costs in bits that the fixed codes give a literal by byte value, a copy's flag and
// length by length, its distance for a two-byte and for a longer copy; and the search effort.
struct ImplodeCoding {
  uint32_t compression_type = kImplodeBinary;
  uint32_t dictionary_bits = 6;
  uint32_t dictionary_size = 4096;
  uint32_t chain_steps = 0;         // hash-chain links to follow
  uint32_t good_enough_length = 0;  // a copy this long ends the search
  std::vector<uint8_t> literal_cost;
  std::vector<uint8_t> length_cost;
  std::vector<uint8_t> length_symbol;  // by length
  std::vector<uint8_t> short_distance_cost;
  std::vector<uint8_t> long_distance_cost;
};

// How the cheapest parse found so far reaches a position: by a literal (length 1) or a copy.
struct ImplodeStep {
  uint32_t cost;  // bits from the start of the block
  uint16_t length;
  uint16_t distance;
};

// The working memory of coding blocks, one for each thread that does: chains of earlier
// positions with the same 3-byte hash, the latest position of every byte pair (for two-byte
// copies, which only reach 256 back), the cheapest way found to each position of the block and
// the parse read back. About 1.7 MiB once grown.
struct ImplodeBlockScratch {
  std::vector<int32_t> hash_head;
  std::vector<int32_t> hash_previous;
  std::vector<int32_t> pair_latest;
  std::vector<ImplodeStep> steps;
  std::vector<ImplodeStep> parse;
};

// Bits in stream order: whole bytes, then `pending_count` bits (fewer than 32) that follow them.
struct ImplodeBits {
  std::vector<uint8_t> bytes;
  uint64_t pending = 0;
  uint32_t pending_count = 0;
};

// The input of one stream cut into blocks, each handed on with the dictionary's worth of input
// before it: the loop every coder of a stream runs, whether it codes each block at once (the
// encoder below) or hands the blocks to other threads (the package writer).
struct ImplodeBlockCutter {
  size_t dictionary_size = 0;
  uint64_t input_total = 0;
  // Input already handed on (at most the dictionary) followed by input not yet handed on.
  std::vector<uint8_t> window;
  size_t history = 0;
};

// Receives a block: the `size` bytes at window + history, which follow the `history` bytes
// before them. The window is the cutter's, valid during the call only.
using ImplodeBlockTaker = std::function<void(const uint8_t* window, size_t history, size_t size)>;

// Takes the next chunk of input and hands on every block it fills.
void CutImplodeBlocks(ImplodeBlockCutter* cutter, const uint8_t* data, size_t size,
                      const ImplodeBlockTaker& take);

// Hands on what is left as the last, shorter block, unless nothing is.
void CutLastImplodeBlock(ImplodeBlockCutter* cutter, const ImplodeBlockTaker& take);

// The encoder's whole state. Set it up with StartImplodeEncoder; the fields are its own.
struct ImplodeEncoder {
  ImplodeCoding coding;
  ImplodeBlockScratch scratch;
  ImplodeSink sink;
  bool finished = false;
  ImplodeBlockCutter blocks;
  // The stream's bits not yet handed to the sink.
  ImplodeBits output;
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

// --- Coding blocks apart -------------------------------------------------------------------------
//
// A stream made this way: SetUpImplodeCoding; PutImplodeHeader; for each block of input in
// order, EncodeImplodeBlock into bits of its own (on any thread, each with its own scratch) and
// AppendImplodeBits those to the stream's bits in order; PutImplodeEnd. Whole bytes of the
// stream's bits may be taken out of `bytes` at any time. The stream is the one ImplodeBytes
// makes of the same input.

// Same settings and return as StartImplodeEncoder.
bool SetUpImplodeCoding(ImplodeCoding* coding, uint32_t compression_type, uint32_t dictionary_bits,
                        ImplodeLevel level);

// The stream's two header bytes.
void PutImplodeHeader(const ImplodeCoding& coding, ImplodeBits* stream);

// Appends the bits of the `size` bytes at window + history (at most kImplodeEncoderBlockSize),
// which follow the `history` bytes before them: the input's last min(input so far, dictionary
// size) bytes before the block.
void EncodeImplodeBlock(const ImplodeCoding& coding, ImplodeBlockScratch* scratch,
                        const uint8_t* window, size_t history, size_t size, ImplodeBits* bits);

void AppendImplodeBits(ImplodeBits* stream, const ImplodeBits& bits);

// The end-of-stream code and the fill of its last byte, after which all of the stream is in
// `bytes`. `input_size` is the size of all input: an empty input's stream gets a padding byte,
// as header and end code alone make 4 bytes, which a decoder takes for a cut-off stream.
void PutImplodeEnd(ImplodeBits* stream, uint64_t input_size);
