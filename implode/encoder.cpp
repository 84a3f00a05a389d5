// Implode stream encoder.
//
// The format's codes are fixed, so the cost in bits of every literal and every copy is known
// before any input is seen: a literal costs its flag and 8 raw bits (binary) or its ASCII code;
// a copy costs its flag, its length code and extra bits, its distance code and the raw low
// distance bits. That makes the cheapest parse of a block a shortest-path problem, which is what
// this encoder solves instead of choosing greedily or one step lazily.
//
// Input is taken in blocks of 64 KiB, and one pass goes from the front of a block to its back.
// Every way to reach a position comes from before it, so by the time the pass gets there the
// cheapest way there is known; from there it offers a literal and the copies worth considering:
// for each length, only the nearest distance that reaches it, since a nearer copy never costs
// more. Longer copies come from chains of earlier positions that share a 3-byte hash; two-byte
// copies, which may reach only 256 bytes back, come from the latest position of every byte
// pair. At the block's end the parse is read back from there.
//
// The levels differ only in how hard they look for copies: how many chain links they follow,
// and from what length they take a copy as good enough, end the search and skip searching
// inside it. The fast level looks at far fewer candidates and still finds most of what the
// best one does, since the nearest few candidates hold the most useful copies.
//
// Copies never run past the end of the block, so a block's parse is final once it is found and
// its bits can be passed on; the last bytes of the dictionary stay behind as the next block's
// history. Block by block, the hash chains start afresh from that history, so a block's bits
// depend on nothing else and blocks may be coded apart. At the end comes the end-of-stream code,
// whose last byte ends the stream.
#include "implode/implode_encoder.h"

#include <string.h>

#include <algorithm>
#include <utility>

#include "implode/implode_format.h"

namespace {

constexpr size_t kBlockSize = kImplodeEncoderBlockSize;
constexpr size_t kOutputChunk = 1 << 16;
constexpr uint32_t kShortestCopy = kImplodeShortestCopy;
constexpr uint32_t kLongestCopy = kImplodeLongestCopy;
constexpr uint32_t kShortCopyLowBits = kImplodeShortCopyLowBits;
constexpr uint32_t kShortCopyReach = kImplodeShortCopyReach;
constexpr uint32_t kHashedLength = 3;
constexpr int kHashBits = 15;
constexpr uint32_t kPairCount = 1 << 16;

// Search effort by level: how many chain links to follow, and a length that ends the search and
// skips searching inside the copy (long runs would otherwise cost a full walk and 518 parse
// steps for every byte). For the best level, a walk of the whole 4 KiB dictionary would save
// only another 0.1 % on machine code, at three times the time. The fast level's streams of
// 4 MiB of text and of machine code both come out 1.2 % longer than the best level's, at about
// two and a half times its speed; 8 links instead of 12 would be faster still but lose another
// 0.4 % on machine code.
struct Effort {
  uint32_t chain_steps;
  uint32_t good_enough_length;
};
constexpr Effort kFastEffort = {12, 16};
constexpr Effort kBestEffort = {256, kLongestCopy};

constexpr uint32_t kBitsPerAppend = 32;
constexpr uint32_t kFlagBits = 1;
constexpr uint32_t kRawLiteralBits = 8;
constexpr uint32_t kEmptyStreamPadding = 1;
constexpr uint32_t kUnreachable = 0xFFFFFFFF;

// --- Codes ---------------------------------------------------------------------------------------

uint32_t LengthSymbol(uint32_t length) {
  uint32_t symbol = kImplodeLengthSymbols - 1;
  while (kImplodeLengthBase[symbol] + kShortestCopy > length)
    --symbol;
  return symbol;
}

uint32_t LowDistanceBits(const ImplodeCoding& coding, uint32_t length) {
  return length == kShortestCopy ? kShortCopyLowBits : coding.dictionary_bits;
}

void TabulateCosts(ImplodeCoding* coding) {
  coding->literal_cost.resize(kImplodeLiteralSymbols);
  for (uint32_t byte = 0; byte < kImplodeLiteralSymbols; ++byte) {
    coding->literal_cost[byte] = static_cast<uint8_t>(
        kFlagBits + (coding->compression_type == kImplodeAscii ? kImplodeLiteralCodeBits[byte]
                                                               : kRawLiteralBits));
  }
  coding->length_cost.assign(kLongestCopy + 1, 0);
  coding->length_symbol.assign(kLongestCopy + 1, 0);
  for (uint32_t length = kShortestCopy; length <= kLongestCopy; ++length) {
    const uint32_t symbol = LengthSymbol(length);
    coding->length_symbol[length] = static_cast<uint8_t>(symbol);
    coding->length_cost[length] = static_cast<uint8_t>(kFlagBits + kImplodeLengthCodeBits[symbol] +
                                                       kImplodeLengthExtraBits[symbol]);
  }
  coding->short_distance_cost.assign(kShortCopyReach + 1, 0);
  for (uint32_t distance = 1; distance <= kShortCopyReach; ++distance) {
    coding->short_distance_cost[distance] = static_cast<uint8_t>(
        kImplodeDistanceCodeBits[(distance - 1) >> kShortCopyLowBits] + kShortCopyLowBits);
  }
  coding->long_distance_cost.assign(coding->dictionary_size + 1, 0);
  for (uint32_t distance = 1; distance <= coding->dictionary_size; ++distance) {
    coding->long_distance_cost[distance] =
        static_cast<uint8_t>(kImplodeDistanceCodeBits[(distance - 1) >> coding->dictionary_bits] +
                             coding->dictionary_bits);
  }
}

// --- Bits out ------------------------------------------------------------------------------------

// Moves the whole bytes among the pending bits to `bytes`.
void TakeWholeBytes(ImplodeBits* bits) {
  while (bits->pending_count >= 8) {
    bits->bytes.push_back(static_cast<uint8_t>(bits->pending));
    bits->pending >>= 8;
    bits->pending_count -= 8;
  }
}

// Appends the low n bits of value (n up to 32), bit 0 first. Bytes go out four at a time,
// which keeps the appending out of most calls.
void PutBits(ImplodeBits* bits, uint32_t value, uint32_t n) {
  bits->pending |= (value & ((uint64_t{1} << n) - 1)) << bits->pending_count;
  bits->pending_count += n;
  if (bits->pending_count >= kBitsPerAppend) {
    const uint8_t bytes[] = {
        static_cast<uint8_t>(bits->pending), static_cast<uint8_t>(bits->pending >> 8),
        static_cast<uint8_t>(bits->pending >> 16), static_cast<uint8_t>(bits->pending >> 24)};
    bits->bytes.insert(bits->bytes.end(), bytes, bytes + sizeof bytes);
    bits->pending >>= kBitsPerAppend;
    bits->pending_count -= kBitsPerAppend;
  }
}

void PutLiteral(const ImplodeCoding& coding, ImplodeBits* bits, uint8_t byte) {
  PutBits(bits, 0, kFlagBits);
  if (coding.compression_type == kImplodeAscii) {
    PutBits(bits, kImplodeLiteralCodeValues[byte], kImplodeLiteralCodeBits[byte]);
  } else {
    PutBits(bits, byte, kRawLiteralBits);
  }
}

// A copy's flag, length symbol and extra bits; symbol 15 with extra 255 is the end code.
void PutLength(ImplodeBits* bits, uint32_t symbol, uint32_t extra) {
  PutBits(bits, 1, kFlagBits);
  PutBits(bits, kImplodeLengthCodeValues[symbol], kImplodeLengthCodeBits[symbol]);
  PutBits(bits, extra, kImplodeLengthExtraBits[symbol]);
}

void PutCopy(const ImplodeCoding& coding, ImplodeBits* bits, uint32_t length, uint32_t distance) {
  const uint32_t symbol = coding.length_symbol[length];
  PutLength(bits, symbol, length - kShortestCopy - kImplodeLengthBase[symbol]);
  const uint32_t low_bits = LowDistanceBits(coding, length);
  const uint32_t high = (distance - 1) >> low_bits;
  PutBits(bits, kImplodeDistanceCodeValues[high], kImplodeDistanceCodeBits[high]);
  PutBits(bits, distance - 1, low_bits);
}

// --- Matches -------------------------------------------------------------------------------------

uint32_t Hash3(const uint8_t* at) {
  const uint32_t key = (uint32_t{at[0]} << 16) | (uint32_t{at[1]} << 8) | at[2];
  return (key * 2654435761u) >> (32 - kHashBits);
}

uint32_t Pair(const uint8_t* at) {
  return (uint32_t{at[0]} << 8) | at[1];
}

uint32_t MatchLength(const uint8_t* a, const uint8_t* b, uint32_t limit) {
  uint32_t length = 0;
  while (length + 8 <= limit) {
    uint64_t x, y;
    memcpy(&x, a + length, 8);
    memcpy(&y, b + length, 8);
    if (x != y) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
      // The lowest differing bit lies in the first differing byte.
      return length + static_cast<uint32_t>(__builtin_ctzll(x ^ y)) / 8;
#else
      while (a[length] == b[length])
        ++length;
      return length;
#endif
    }
    length += 8;
  }
  while (length < limit && a[length] == b[length])
    ++length;
  return length;
}

// One block being coded: the settings, the thread's working memory, and the window of history
// and block bytes.
struct BlockCoder {
  const ImplodeCoding& coding;
  ImplodeBlockScratch& scratch;
  const uint8_t* window;
};

// The hash of the bytes at position, where they lie within the block (else unused).
uint32_t HashAt(const BlockCoder& coder, size_t position, size_t end) {
  return position + kHashedLength <= end ? Hash3(coder.window + position) : 0;
}

// Enters position into the hash chains and the pair table; `hash` is HashAt's.
void Remember(BlockCoder* coder, size_t position, size_t end, uint32_t hash) {
  ImplodeBlockScratch& scratch = coder->scratch;
  if (position + kHashedLength <= end) {
    scratch.hash_previous[position] = scratch.hash_head[hash];
    scratch.hash_head[hash] = static_cast<int32_t>(position);
  }
  if (position + kShortestCopy <= end) {
    scratch.pair_latest[Pair(coder->window + position)] = static_cast<int32_t>(position);
  }
}

void Relax(ImplodeStep* to, uint32_t cost, uint32_t length, uint32_t distance) {
  if (cost < to->cost) {
    *to = ImplodeStep{cost, static_cast<uint16_t>(length), static_cast<uint16_t>(distance)};
  }
}

// Offers the parse every copy worth considering at `position`, reached at cost `here`; `steps`
// are the parse's steps from that position on. Copies are found by increasing length, and each
// length is offered only at the nearest distance that reaches it, since a nearer copy never
// costs more. Returns the longest length found.
uint32_t OfferCopies(const BlockCoder& coder, size_t position, size_t end, uint32_t hash,
                     uint32_t here, ImplodeStep* steps) {
  const ImplodeCoding& coding = coder.coding;
  const ImplodeBlockScratch& scratch = coder.scratch;
  const uint8_t* window = coder.window;
  const uint32_t limit = static_cast<uint32_t>(std::min<size_t>(kLongestCopy, end - position));
  if (limit < kShortestCopy) return 0;
  const uint8_t* length_cost = coding.length_cost.data();
  uint32_t next_length = kShortestCopy;  // lengths below it have been offered
  // Every length not yet offered up to `length`, at `distance`: the two-byte copy only within
  // its shorter reach and with its own low distance bits.
  auto offer = [&](uint32_t length, uint32_t distance) {
    if (next_length == kShortestCopy) {
      if (distance <= kShortCopyReach) {
        Relax(&steps[kShortestCopy],
              here + length_cost[kShortestCopy] + coding.short_distance_cost[distance],
              kShortestCopy, distance);
      }
      ++next_length;
    }
    const uint32_t distance_cost = here + coding.long_distance_cost[distance];
    for (; next_length <= length; ++next_length) {
      Relax(&steps[next_length], distance_cost + length_cost[next_length], next_length, distance);
    }
  };
  uint32_t best = 0;
  const int32_t pair_at = scratch.pair_latest[Pair(window + position)];
  if (pair_at >= 0 && position - static_cast<size_t>(pair_at) <= kShortCopyReach) {
    offer(kShortestCopy, static_cast<uint32_t>(position - static_cast<size_t>(pair_at)));
    best = kShortestCopy;
  }
  if (limit < kHashedLength) return best;
  // Chains end with -1, and candidates further back than the dictionary are of no use: one
  // comparison tells both.
  const int64_t nearest_useless =
      std::max<int64_t>(-1, static_cast<int64_t>(position) - coding.dictionary_size - 1);
  int32_t candidate = scratch.hash_head[hash];
  for (uint32_t step = 0; step < coding.chain_steps && candidate > nearest_useless; ++step) {
    const size_t distance = position - static_cast<size_t>(candidate);
    // Only a candidate that beats the best so far at its last byte can be longer.
    if (window[candidate + best] == window[position + best]) {
      const uint32_t length = MatchLength(window + candidate, window + position, limit);
      if (length > best && length >= kHashedLength) {
        offer(length, static_cast<uint32_t>(distance));
        best = length;
        if (length == limit || length >= coding.good_enough_length) break;
      }
    }
    candidate = scratch.hash_previous[candidate];
  }
  return best;
}

// Reads the cheapest parse of a block of `size` bytes back from its end.
void ReadBackParse(ImplodeBlockScratch* scratch, size_t size) {
  scratch->parse.clear();
  for (size_t offset = size; offset > 0; offset -= scratch->steps[offset].length) {
    scratch->parse.push_back(scratch->steps[offset]);
  }
  std::reverse(scratch->parse.begin(), scratch->parse.end());
}

// Hands the stream's whole bytes to the sink once there are enough of them.
void PassOutput(ImplodeEncoder* encoder, size_t at_least) {
  TakeWholeBytes(&encoder->output);
  std::vector<uint8_t>& bytes = encoder->output.bytes;
  if (!bytes.empty() && bytes.size() >= at_least) {
    encoder->sink(bytes.data(), bytes.size());
    bytes.clear();
  }
}

// Hands on the first `size` bytes after the history and keeps the dictionary's worth of what is
// then the end of the input handed on as the next history.
void HandOn(ImplodeBlockCutter* cutter, size_t size, const ImplodeBlockTaker& take) {
  take(cutter->window.data(), cutter->history, size);
  const size_t end = cutter->history + size;
  const size_t keep = std::min(end, cutter->dictionary_size);
  cutter->window.erase(cutter->window.begin(),
                       cutter->window.begin() + static_cast<ptrdiff_t>(end - keep));
  cutter->history = keep;
}

// The encoder's taker: codes the block into the stream and passes on what is whole.
ImplodeBlockTaker EncodeBlocks(ImplodeEncoder* encoder) {
  return [encoder](const uint8_t* window, size_t history, size_t size) {
    EncodeImplodeBlock(encoder->coding, &encoder->scratch, window, history, size, &encoder->output);
    PassOutput(encoder, kOutputChunk);
  };
}

}  // namespace

bool SetUpImplodeCoding(ImplodeCoding* coding, uint32_t compression_type, uint32_t dictionary_bits,
                        ImplodeLevel level) {
  if (compression_type != kImplodeBinary && compression_type != kImplodeAscii) return false;
  if (level != kImplodeFast && level != kImplodeBest) return false;
  if (dictionary_bits < kImplodeSmallestDictionaryBits ||
      dictionary_bits > kImplodeLargestDictionaryBits) {
    return false;
  }
  *coding = ImplodeCoding();
  coding->compression_type = compression_type;
  coding->dictionary_bits = dictionary_bits;
  coding->dictionary_size = kImplodeDictionaryUnit << dictionary_bits;
  const Effort effort = level == kImplodeBest ? kBestEffort : kFastEffort;
  coding->chain_steps = effort.chain_steps;
  coding->good_enough_length = effort.good_enough_length;
  TabulateCosts(coding);
  return true;
}

void PutImplodeHeader(const ImplodeCoding& coding, ImplodeBits* stream) {
  TakeWholeBytes(stream);
  stream->bytes.push_back(static_cast<uint8_t>(coding.compression_type));
  stream->bytes.push_back(static_cast<uint8_t>(coding.dictionary_bits));
}

void EncodeImplodeBlock(const ImplodeCoding& coding, ImplodeBlockScratch* scratch,
                        const uint8_t* window, size_t history, size_t size, ImplodeBits* bits) {
  BlockCoder coder{coding, *scratch, window};
  const size_t start = history;
  const size_t end = start + size;
  scratch->hash_head.assign(size_t{1} << kHashBits, -1);
  scratch->pair_latest.assign(kPairCount, -1);
  scratch->hash_previous.resize(end);
  for (size_t position = 0; position < start; ++position)
    Remember(&coder, position, end, HashAt(coder, position, end));

  // One pass from front to back: every way to reach a position comes from before it, so the
  // cheapest is known by the time the position's own literal and copies are offered.
  std::vector<ImplodeStep>& steps = scratch->steps;
  steps.assign(size + 1, ImplodeStep{kUnreachable, 0, 0});
  steps[0].cost = 0;
  size_t skip_until = start;
  for (size_t position = start; position < end; ++position) {
    const size_t offset = position - start;
    const uint32_t here = steps[offset].cost;
    const uint32_t hash = HashAt(coder, position, end);
    Relax(&steps[offset + 1], here + coding.literal_cost[window[position]], 1, 0);
    if (position >= skip_until) {
      const uint32_t best = OfferCopies(coder, position, end, hash, here, &steps[offset]);
      if (best >= coding.good_enough_length) skip_until = position + best;
    }
    Remember(&coder, position, end, hash);
  }
  ReadBackParse(scratch, size);

  size_t position = start;
  for (const ImplodeStep& step : scratch->parse) {
    if (step.length == 1) {
      PutLiteral(coding, bits, window[position]);
    } else {
      PutCopy(coding, bits, step.length, step.distance);
    }
    position += step.length;
  }
}

void AppendImplodeBits(ImplodeBits* stream, const ImplodeBits& bits) {
  const std::vector<uint8_t>& bytes = bits.bytes;
  size_t at = 0;
  for (; at + 4 <= bytes.size(); at += 4) {
    PutBits(stream,
            uint32_t{bytes[at]} | (uint32_t{bytes[at + 1]} << 8) | (uint32_t{bytes[at + 2]} << 16) |
                (uint32_t{bytes[at + 3]} << 24),
            32);
  }
  for (; at < bytes.size(); ++at)
    PutBits(stream, bytes[at], 8);
  PutBits(stream, static_cast<uint32_t>(bits.pending), bits.pending_count);
}

void PutImplodeEnd(ImplodeBits* stream, uint64_t input_size) {
  PutLength(stream, kImplodeEndOfStreamSymbol, kImplodeEndOfStreamExtra);
  TakeWholeBytes(stream);
  if (stream->pending_count > 0) PutBits(stream, 0, 8 - stream->pending_count);
  TakeWholeBytes(stream);
  if (input_size == 0) stream->bytes.insert(stream->bytes.end(), kEmptyStreamPadding, 0);
}

void CutImplodeBlocks(ImplodeBlockCutter* cutter, const uint8_t* data, size_t size,
                      const ImplodeBlockTaker& take) {
  cutter->input_total += size;
  while (size > 0) {
    const size_t room = cutter->history + kBlockSize - cutter->window.size();
    const size_t take_now = std::min(room, size);
    cutter->window.insert(cutter->window.end(), data, data + take_now);
    data += take_now;
    size -= take_now;
    if (cutter->window.size() == cutter->history + kBlockSize) HandOn(cutter, kBlockSize, take);
  }
}

void CutLastImplodeBlock(ImplodeBlockCutter* cutter, const ImplodeBlockTaker& take) {
  const size_t pending = cutter->window.size() - cutter->history;
  if (pending > 0) HandOn(cutter, pending, take);
}

bool StartImplodeEncoder(ImplodeEncoder* encoder, uint32_t compression_type,
                         uint32_t dictionary_bits, ImplodeSink sink, ImplodeLevel level) {
  ImplodeCoding coding;
  if (!SetUpImplodeCoding(&coding, compression_type, dictionary_bits, level)) return false;
  *encoder = ImplodeEncoder();
  encoder->coding = std::move(coding);
  encoder->sink = std::move(sink);
  encoder->blocks.dictionary_size = encoder->coding.dictionary_size;
  PutImplodeHeader(encoder->coding, &encoder->output);
  return true;
}

void FeedImplodeEncoder(ImplodeEncoder* encoder, const uint8_t* data, size_t size) {
  if (encoder->finished) return;  // the end code is out; nothing may follow it
  CutImplodeBlocks(&encoder->blocks, data, size, EncodeBlocks(encoder));
}

void FinishImplodeEncoder(ImplodeEncoder* encoder) {
  if (encoder->finished) return;
  encoder->finished = true;
  CutLastImplodeBlock(&encoder->blocks, EncodeBlocks(encoder));
  PutImplodeEnd(&encoder->output, encoder->blocks.input_total);
  PassOutput(encoder, 0);
}

std::vector<uint8_t> ImplodeBytes(const uint8_t* data, size_t size, uint32_t compression_type,
                                  uint32_t dictionary_bits, ImplodeLevel level) {
  std::vector<uint8_t> stream;
  ImplodeEncoder encoder;
  if (!StartImplodeEncoder(
          &encoder, compression_type, dictionary_bits,
          [&stream](const uint8_t* bytes, size_t count) {
            stream.insert(stream.end(), bytes, bytes + count);
          },
          level)) {
    return stream;
  }
  FeedImplodeEncoder(&encoder, data, size);
  FinishImplodeEncoder(&encoder);
  return stream;
}
