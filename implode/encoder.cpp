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
// history. At the end comes the end-of-stream code, whose last byte ends the stream.
#include "implode/implode_encoder.h"

#include <string.h>

#include <algorithm>
#include <utility>

#include "implode/implode_format.h"

namespace {

constexpr size_t kBlockSize = 1 << 16;
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
// 4 MiB of text and of machine code both come out 1.2 % longer than the best level's, at
// three to four times its speed; 8 links instead of 12 would be faster still but lose another
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

uint32_t LowDistanceBits(const ImplodeEncoder& encoder, uint32_t length) {
  return length == kShortestCopy ? kShortCopyLowBits : encoder.dictionary_bits;
}

void TabulateCosts(ImplodeEncoder* encoder) {
  encoder->literal_cost.resize(kImplodeLiteralSymbols);
  for (uint32_t byte = 0; byte < kImplodeLiteralSymbols; ++byte) {
    encoder->literal_cost[byte] = static_cast<uint8_t>(
        kFlagBits + (encoder->compression_type == kImplodeAscii ? kImplodeLiteralCodeBits[byte]
                                                                : kRawLiteralBits));
  }
  encoder->length_cost.assign(kLongestCopy + 1, 0);
  encoder->length_symbol.assign(kLongestCopy + 1, 0);
  for (uint32_t length = kShortestCopy; length <= kLongestCopy; ++length) {
    const uint32_t symbol = LengthSymbol(length);
    encoder->length_symbol[length] = static_cast<uint8_t>(symbol);
    encoder->length_cost[length] = static_cast<uint8_t>(kFlagBits + kImplodeLengthCodeBits[symbol] +
                                                        kImplodeLengthExtraBits[symbol]);
  }
  encoder->short_distance_cost.assign(kShortCopyReach + 1, 0);
  for (uint32_t distance = 1; distance <= kShortCopyReach; ++distance) {
    encoder->short_distance_cost[distance] = static_cast<uint8_t>(
        kImplodeDistanceCodeBits[(distance - 1) >> kShortCopyLowBits] + kShortCopyLowBits);
  }
  encoder->long_distance_cost.assign(encoder->dictionary_size + 1, 0);
  for (uint32_t distance = 1; distance <= encoder->dictionary_size; ++distance) {
    encoder->long_distance_cost[distance] =
        static_cast<uint8_t>(kImplodeDistanceCodeBits[(distance - 1) >> encoder->dictionary_bits] +
                             encoder->dictionary_bits);
  }
}

// --- Bits out ------------------------------------------------------------------------------------

// Moves the whole bytes of the bit buffer to the output.
void TakeWholeBytes(ImplodeEncoder* encoder) {
  while (encoder->bit_count >= 8) {
    encoder->output.push_back(static_cast<uint8_t>(encoder->bit_buffer));
    encoder->bit_buffer >>= 8;
    encoder->bit_count -= 8;
  }
}

void PassOutput(ImplodeEncoder* encoder) {
  TakeWholeBytes(encoder);
  if (!encoder->output.empty()) encoder->sink(encoder->output.data(), encoder->output.size());
  encoder->output.clear();
}

// Appends the low n bits of value (n up to 16), bit 0 first. Bytes go to the output four at a
// time, which keeps the appending out of most calls.
void PutBits(ImplodeEncoder* encoder, uint32_t value, uint32_t n) {
  encoder->bit_buffer |= (value & ((uint64_t{1} << n) - 1)) << encoder->bit_count;
  encoder->bit_count += n;
  if (encoder->bit_count >= kBitsPerAppend) {
    const uint8_t bytes[] = {static_cast<uint8_t>(encoder->bit_buffer),
                             static_cast<uint8_t>(encoder->bit_buffer >> 8),
                             static_cast<uint8_t>(encoder->bit_buffer >> 16),
                             static_cast<uint8_t>(encoder->bit_buffer >> 24)};
    encoder->output.insert(encoder->output.end(), bytes, bytes + sizeof bytes);
    encoder->bit_buffer >>= kBitsPerAppend;
    encoder->bit_count -= kBitsPerAppend;
  }
}

void PutLiteral(ImplodeEncoder* encoder, uint8_t byte) {
  PutBits(encoder, 0, kFlagBits);
  if (encoder->compression_type == kImplodeAscii) {
    PutBits(encoder, kImplodeLiteralCodeValues[byte], kImplodeLiteralCodeBits[byte]);
  } else {
    PutBits(encoder, byte, kRawLiteralBits);
  }
}

// A copy's flag, length symbol and extra bits; symbol 15 with extra 255 is the end code.
void PutLength(ImplodeEncoder* encoder, uint32_t symbol, uint32_t extra) {
  PutBits(encoder, 1, kFlagBits);
  PutBits(encoder, kImplodeLengthCodeValues[symbol], kImplodeLengthCodeBits[symbol]);
  PutBits(encoder, extra, kImplodeLengthExtraBits[symbol]);
}

void PutCopy(ImplodeEncoder* encoder, uint32_t length, uint32_t distance) {
  const uint32_t symbol = encoder->length_symbol[length];
  PutLength(encoder, symbol, length - kShortestCopy - kImplodeLengthBase[symbol]);
  const uint32_t low_bits = LowDistanceBits(*encoder, length);
  const uint32_t high = (distance - 1) >> low_bits;
  PutBits(encoder, kImplodeDistanceCodeValues[high], kImplodeDistanceCodeBits[high]);
  PutBits(encoder, distance - 1, low_bits);
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

// The hash of the bytes at position, where they lie within the block (else unused).
uint32_t HashAt(const ImplodeEncoder& encoder, size_t position, size_t end) {
  return position + kHashedLength <= end ? Hash3(encoder.window.data() + position) : 0;
}

// Enters position into the hash chains and the pair table; `hash` is HashAt's.
void Remember(ImplodeEncoder* encoder, size_t position, size_t end, uint32_t hash) {
  const uint8_t* at = encoder->window.data() + position;
  if (position + kHashedLength <= end) {
    encoder->hash_previous[position] = encoder->hash_head[hash];
    encoder->hash_head[hash] = static_cast<int32_t>(position);
  }
  if (position + kShortestCopy <= end) {
    encoder->pair_latest[Pair(at)] = static_cast<int32_t>(position);
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
uint32_t OfferCopies(ImplodeEncoder* encoder, size_t position, size_t end, uint32_t hash,
                     uint32_t here, ImplodeStep* steps) {
  const uint8_t* window = encoder->window.data();
  const uint32_t limit = static_cast<uint32_t>(std::min<size_t>(kLongestCopy, end - position));
  if (limit < kShortestCopy) return 0;
  const uint8_t* length_cost = encoder->length_cost.data();
  uint32_t next_length = kShortestCopy;  // lengths below it have been offered
  // Every length not yet offered up to `length`, at `distance`: the two-byte copy only within
  // its shorter reach and with its own low distance bits.
  auto offer = [&](uint32_t length, uint32_t distance) {
    if (next_length == kShortestCopy) {
      if (distance <= kShortCopyReach) {
        Relax(&steps[kShortestCopy],
              here + length_cost[kShortestCopy] + encoder->short_distance_cost[distance],
              kShortestCopy, distance);
      }
      ++next_length;
    }
    const uint32_t distance_cost = here + encoder->long_distance_cost[distance];
    for (; next_length <= length; ++next_length) {
      Relax(&steps[next_length], distance_cost + length_cost[next_length], next_length, distance);
    }
  };
  uint32_t best = 0;
  const int32_t pair_at = encoder->pair_latest[Pair(window + position)];
  if (pair_at >= 0 && position - static_cast<size_t>(pair_at) <= kShortCopyReach) {
    offer(kShortestCopy, static_cast<uint32_t>(position - static_cast<size_t>(pair_at)));
    best = kShortestCopy;
  }
  if (limit < kHashedLength) return best;
  // Chains end with -1, and candidates further back than the dictionary are of no use: one
  // comparison tells both.
  const int64_t nearest_useless =
      std::max<int64_t>(-1, static_cast<int64_t>(position) - encoder->dictionary_size - 1);
  int32_t candidate = encoder->hash_head[hash];
  for (uint32_t step = 0; step < encoder->chain_steps && candidate > nearest_useless; ++step) {
    const size_t distance = position - static_cast<size_t>(candidate);
    // Only a candidate that beats the best so far at its last byte can be longer.
    if (window[candidate + best] == window[position + best]) {
      const uint32_t length = MatchLength(window + candidate, window + position, limit);
      if (length > best && length >= kHashedLength) {
        offer(length, static_cast<uint32_t>(distance));
        best = length;
        if (length == limit || length >= encoder->good_enough_length) break;
      }
    }
    candidate = encoder->hash_previous[candidate];
  }
  return best;
}

// Reads the cheapest parse of a block of `size` bytes back from its end.
void ReadBackParse(ImplodeEncoder* encoder, size_t size) {
  encoder->parse.clear();
  for (size_t offset = size; offset > 0; offset -= encoder->steps[offset].length) {
    encoder->parse.push_back(encoder->steps[offset]);
  }
  std::reverse(encoder->parse.begin(), encoder->parse.end());
}

// Encodes the first `size` bytes after the history and keeps the dictionary's worth of what is
// then the end of the encoded input as the next history.
void EncodeBlock(ImplodeEncoder* encoder, size_t size) {
  const size_t start = encoder->history;
  const size_t end = start + size;
  std::fill(encoder->hash_head.begin(), encoder->hash_head.end(), -1);
  std::fill(encoder->pair_latest.begin(), encoder->pair_latest.end(), -1);
  encoder->hash_previous.resize(end);
  for (size_t position = 0; position < start; ++position)
    Remember(encoder, position, end, HashAt(*encoder, position, end));

  // One pass from front to back: every way to reach a position comes from before it, so the
  // cheapest is known by the time the position's own literal and copies are offered.
  std::vector<ImplodeStep>& steps = encoder->steps;
  steps.assign(size + 1, ImplodeStep{kUnreachable, 0, 0});
  steps[0].cost = 0;
  size_t skip_until = start;
  for (size_t position = start; position < end; ++position) {
    const size_t offset = position - start;
    const uint32_t here = steps[offset].cost;
    const uint32_t hash = HashAt(*encoder, position, end);
    Relax(&steps[offset + 1], here + encoder->literal_cost[encoder->window[position]], 1, 0);
    if (position >= skip_until) {
      const uint32_t best = OfferCopies(encoder, position, end, hash, here, &steps[offset]);
      if (best >= encoder->good_enough_length) skip_until = position + best;
    }
    Remember(encoder, position, end, hash);
  }
  ReadBackParse(encoder, size);

  size_t position = start;
  for (const ImplodeStep& step : encoder->parse) {
    if (step.length == 1) {
      PutLiteral(encoder, encoder->window[position]);
    } else {
      PutCopy(encoder, step.length, step.distance);
    }
    position += step.length;
  }
  if (encoder->output.size() >= kOutputChunk) PassOutput(encoder);

  const size_t keep = std::min<size_t>(end, encoder->dictionary_size);
  encoder->window.erase(encoder->window.begin(),
                        encoder->window.begin() + static_cast<ptrdiff_t>(end - keep));
  encoder->history = keep;
}

}  // namespace

bool StartImplodeEncoder(ImplodeEncoder* encoder, uint32_t compression_type,
                         uint32_t dictionary_bits, ImplodeSink sink, ImplodeLevel level) {
  if (compression_type != kImplodeBinary && compression_type != kImplodeAscii) return false;
  if (level != kImplodeFast && level != kImplodeBest) return false;
  if (dictionary_bits < kImplodeSmallestDictionaryBits ||
      dictionary_bits > kImplodeLargestDictionaryBits) {
    return false;
  }
  *encoder = ImplodeEncoder();
  encoder->compression_type = compression_type;
  encoder->dictionary_bits = dictionary_bits;
  const Effort effort = level == kImplodeBest ? kBestEffort : kFastEffort;
  encoder->chain_steps = effort.chain_steps;
  encoder->good_enough_length = effort.good_enough_length;
  encoder->dictionary_size = kImplodeDictionaryUnit << dictionary_bits;
  encoder->sink = std::move(sink);
  TabulateCosts(encoder);
  encoder->hash_head.assign(size_t{1} << kHashBits, -1);
  encoder->pair_latest.assign(kPairCount, -1);
  // The header: compression type, then dictionary size code.
  encoder->output.push_back(static_cast<uint8_t>(compression_type));
  encoder->output.push_back(static_cast<uint8_t>(dictionary_bits));
  return true;
}

void FeedImplodeEncoder(ImplodeEncoder* encoder, const uint8_t* data, size_t size) {
  if (encoder->finished) return;  // the end code is out; nothing may follow it
  encoder->input_total += size;
  while (size > 0) {
    const size_t room = encoder->history + kBlockSize - encoder->window.size();
    const size_t take = std::min(room, size);
    encoder->window.insert(encoder->window.end(), data, data + take);
    data += take;
    size -= take;
    if (encoder->window.size() == encoder->history + kBlockSize) {
      EncodeBlock(encoder, kBlockSize);
    }
  }
}

void FinishImplodeEncoder(ImplodeEncoder* encoder) {
  if (encoder->finished) return;
  encoder->finished = true;
  const size_t pending = encoder->window.size() - encoder->history;
  if (pending > 0) EncodeBlock(encoder, pending);
  PutLength(encoder, kImplodeEndOfStreamSymbol, kImplodeEndOfStreamExtra);
  TakeWholeBytes(encoder);
  if (encoder->bit_count > 0) PutBits(encoder, 0, 8 - encoder->bit_count);
  // Header and end code alone make 4 bytes, which a decoder takes for a cut-off stream.
  if (encoder->input_total == 0)
    encoder->output.insert(encoder->output.end(), kEmptyStreamPadding, 0);
  PassOutput(encoder);
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
