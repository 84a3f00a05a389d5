// Implode stream decoder.
//
// An implode stream is two header bytes and a stream of bits. Byte 0 is the compression type:
// 0 (binary) sends literals as raw bytes, 1 (ASCII) sends them with a fixed prefix code that
// favours text. Byte 1 is the dictionary size code k (4, 5 or 6 for 1, 2 or 4 KiB): the number
// of low distance bits sent raw.
//
// Bits are taken from each byte least significant bit first. Every token starts with a flag bit.
// 0 is a literal: eight raw bits in binary mode, an ASCII code in ASCII mode. 1 is a copy: a
// length symbol (16 of them) with up to 8 raw extra bits gives a length of 2 to 518, then a
// distance symbol (64 of them) gives the distance's high bits and 2 raw low bits follow for a
// copy of length 2, k raw low bits for any longer copy. The distance back is that number plus 1,
// so two-byte copies reach 256 bytes and longer ones the whole dictionary. Length symbol 15 with
// all 8 extra bits set (the length that would be 519) is not a copy: it ends the stream.
//
// All three prefix codes are fixed, and none is longer than 8 bits except ASCII literals (up to
// 13). So every length and distance is found by one lookup in a 256-entry table indexed by the
// next 8 stream bits. Long literal codes escape from the first table into one of three second
// tables, chosen by where the code's first set bit lies, after dropping 4, 6 or 8 bits.
//
// The bit reader keeps those 8 bits of lookahead available at all times and pulls input from the
// read callback a 2,048-byte block at a time, only when a byte is actually needed. Output goes to
// a window of 4 KiB of history followed by the 4 KiB block being filled; each full block is
// handed to the write callback and becomes the history. Copies are made byte by byte, front to
// back, so a distance shorter than the length repeats the last bytes: that is how runs are sent.
//
// Decoding runs on two paths that give identical results and identical callback traffic. The
// plain path follows the bit reader above to the letter and serves the edges of each input
// block. The fast path holds up to 64 bits in a register and tops them up eight bytes at a
// time, but only while the input block still has bytes to spare, so it never needs a callback
// that the plain path would not have made at the same moment. When it hands back, it returns
// the bytes it read ahead to the input block, leaving exactly the plain path's state.
#include <string.h>

#include "implode/implode.h"
#include "implode/implode_format.h"

namespace {

// Header.
constexpr uint32_t kHeaderSize = kImplodeHeaderSize;
constexpr uint32_t kShortestFirstRead = kHeaderSize + 3;  // 4 bytes or fewer cannot be a stream
constexpr uint32_t kBinaryType = kImplodeBinary;
constexpr uint32_t kAsciiType = kImplodeAscii;

// Bits.
constexpr uint32_t kLookaheadBits = 8;
constexpr uint32_t kLookaheadMask = 0xFF;
constexpr uint32_t kLookupSize = 256;
constexpr uint32_t kLookup6Size = 128;
constexpr uint32_t kLookup6Mask = 0x7F;

// Tokens: 0-255 are literals, 256-772 copies of length token - 254, then the ends.
constexpr uint32_t kFirstCopyToken = 256;
constexpr uint32_t kCopyLengthOffset = 254;
constexpr uint32_t kEndOfStreamToken = 773;
constexpr uint32_t kInputExhaustedToken = 774;
constexpr uint32_t kReachedBeforeStartToken = 775;  // strict decoding only
// Symbol 15's base 262 plus extra 255: one above the longest copy's value.
constexpr uint32_t kEndOfStreamLengthValue = kImplodeLongestCopy - kImplodeShortestCopy + 1;

// Distances.
constexpr uint32_t kShortCopyLength = kImplodeShortestCopy;
constexpr uint32_t kShortCopyLowBits = kImplodeShortCopyLowBits;
constexpr uint32_t kShortCopyLowMask = (1u << kShortCopyLowBits) - 1;

// ASCII literal codes longer than 8 bits.
constexpr uint8_t kLongLiteralEscape = 255;
constexpr uint32_t kLongCodeShortDrop = 4;   // first set bit among the low 6: drop 4 bits
constexpr uint32_t kLongCodeMiddleDrop = 6;  // first set bit is bit 6 or 7: drop 6 bits
constexpr uint32_t kLongCodeLongDrop = 8;    // low 8 bits all zero: drop 8 bits
constexpr uint32_t kLowSixBitsMask = 0x3F;

// Window.
constexpr uint32_t kFullBlockEnd = kImplodeHistorySize + kImplodeOutputBlockSize;

// Fast path: a token takes at most 1 + 7 + 8 + 8 + 6 = 30 bits, and a top-up leaves at least 56.
constexpr uint32_t kLongestTokenBits = 30;
constexpr uint32_t kWideLoadBytes = 8;
constexpr uint32_t kWideTopUpBits = 56;
constexpr uint32_t kWideBitsMax = 63;
constexpr uint32_t kNarrowChunk = 8;  // copy chunks for distances from 8
constexpr uint32_t kWideChunk = 16;   // and from 16

// --- Tables --------------------------------------------------------------------------------------

// Stores `symbol` at every index below `size` whose low code-length bits equal `value`.
void FillLookup(uint8_t* lookup, uint32_t size, uint32_t value, uint32_t code_bits,
                uint32_t symbol) {
  for (uint32_t index = value; index < size; index += 1u << code_bits) {
    lookup[index] = static_cast<uint8_t>(symbol);
  }
}

// Afterwards every 8-bit lookahead names exactly one symbol: the code is complete and none of its
// codes is longer than 8 bits.
void BuildLookup(uint8_t* lookup, const uint8_t* code_bits, const uint8_t* code_values,
                 uint32_t symbol_count) {
  for (uint32_t symbol = symbol_count; symbol-- > 0;) {
    FillLookup(lookup, kLookupSize, code_values[symbol], code_bits[symbol], symbol);
  }
}

// Codes of up to 8 bits are found in literal_lookup. Longer ones leave an escape there and are
// found in a second table after dropping the bits that the escape already told apart; their
// length in literal_bits shrinks by as many bits, so no reduced length exceeds 8.
void BuildAsciiTables(ImplodeWorkArea* work) {
  for (uint32_t symbol = kImplodeLiteralSymbols; symbol-- > 0;) {
    const uint32_t code_bits = work->literal_bits[symbol];
    const uint32_t value = kImplodeLiteralCodeValues[symbol];
    if (code_bits <= kLookaheadBits) {
      FillLookup(work->literal_lookup, kLookupSize, value, code_bits, symbol);
    } else if ((value & kLookaheadMask) != 0) {
      work->literal_lookup[value & kLookaheadMask] = kLongLiteralEscape;
      if ((value & kLowSixBitsMask) != 0) {
        work->literal_bits[symbol] = static_cast<uint8_t>(code_bits - kLongCodeShortDrop);
        FillLookup(work->literal_lookup_4, kLookupSize, value >> kLongCodeShortDrop,
                   code_bits - kLongCodeShortDrop, symbol);
      } else {
        work->literal_bits[symbol] = static_cast<uint8_t>(code_bits - kLongCodeMiddleDrop);
        FillLookup(work->literal_lookup_6, kLookup6Size, value >> kLongCodeMiddleDrop,
                   code_bits - kLongCodeMiddleDrop, symbol);
      }
    } else {
      work->literal_bits[symbol] = static_cast<uint8_t>(code_bits - kLongCodeLongDrop);
      FillLookup(work->literal_lookup_8, kLookupSize, value >> kLongCodeLongDrop,
                 code_bits - kLongCodeLongDrop, symbol);
    }
  }
}

void BuildTables(ImplodeWorkArea* work) {
  if (work->compression_type == kAsciiType) {
    memcpy(work->literal_bits, kImplodeLiteralCodeBits, sizeof work->literal_bits);
    BuildAsciiTables(work);
  }
  memcpy(work->length_bits, kImplodeLengthCodeBits, sizeof work->length_bits);
  BuildLookup(work->length_lookup, work->length_bits, kImplodeLengthCodeValues,
              kImplodeLengthSymbols);
  memcpy(work->length_extra_bits, kImplodeLengthExtraBits, sizeof work->length_extra_bits);
  memcpy(work->length_base, kImplodeLengthBase, sizeof work->length_base);
  memcpy(work->distance_bits, kImplodeDistanceCodeBits, sizeof work->distance_bits);
  BuildLookup(work->distance_lookup, work->distance_bits, kImplodeDistanceCodeValues,
              kImplodeDistanceSymbols);
}

// --- Input ---------------------------------------------------------------------------------------

// Asks for a whole block. A callback that claims more than it was asked for is held to the
// block, so nothing past input_buffer is ever read.
uint32_t ReadInputBlock(ImplodeWorkArea* work) {
  work->input_position = kImplodeInputBlockSize;
  uint32_t delivered = work->read_fn(work->input_buffer, &work->input_position, work->user_param);
  if (delivered > kImplodeInputBlockSize) delivered = kImplodeInputBlockSize;
  work->input_count = delivered;
  return delivered;
}

// Drops n bits (1 to 8) and tops the lookahead up to 8 bits again, reading one more input byte
// if the bits held do not suffice. Fails only when that byte does not exist.
bool ConsumeBits(ImplodeWorkArea* work, uint32_t n) {
  if (work->extra_bits >= n) {
    work->bit_buffer >>= n;
    work->extra_bits -= n;
    return true;
  }
  work->bit_buffer >>= work->extra_bits;
  if (work->input_position == work->input_count) {
    if (ReadInputBlock(work) == 0) return false;
    work->input_position = 0;
  }
  const uint32_t byte = work->input_buffer[work->input_position++];
  work->bit_buffer = ((byte << kLookaheadBits) | work->bit_buffer) >> (n - work->extra_bits);
  work->extra_bits = work->extra_bits + kLookaheadBits - n;
  return true;
}

uint32_t Lookahead(const ImplodeWorkArea* work) {
  return work->bit_buffer & kLookaheadMask;
}

// --- Tokens (plain path) -------------------------------------------------------------------------

// Returns the copy token, or the end-of-stream token, whose flag bit has been consumed.
uint32_t DecodeLength(ImplodeWorkArea* work) {
  const uint32_t symbol = work->length_lookup[Lookahead(work)];
  if (!ConsumeBits(work, work->length_bits[symbol])) return kInputExhaustedToken;
  const uint32_t extra_bits = work->length_extra_bits[symbol];
  if (extra_bits == 0) return kFirstCopyToken + symbol;
  const uint32_t extra = Lookahead(work) & ((1u << extra_bits) - 1);
  const uint32_t value = work->length_base[symbol] + extra;
  // The end-of-stream code may end in the stream's last byte: its bits are all there, only the
  // lookahead cannot be topped up again, which matters to no token after it.
  if (!ConsumeBits(work, extra_bits) && value != kEndOfStreamLengthValue) {
    return kInputExhaustedToken;
  }
  return kFirstCopyToken + value;
}

uint32_t DecodeAsciiLiteral(ImplodeWorkArea* work) {
  const uint32_t first = Lookahead(work);
  uint32_t literal;
  if (first != 0) {
    literal = work->literal_lookup[first];
    if (literal == kLongLiteralEscape) {
      if ((first & kLowSixBitsMask) != 0) {
        if (!ConsumeBits(work, kLongCodeShortDrop)) return kInputExhaustedToken;
        literal = work->literal_lookup_4[Lookahead(work)];
      } else {
        if (!ConsumeBits(work, kLongCodeMiddleDrop)) return kInputExhaustedToken;
        literal = work->literal_lookup_6[Lookahead(work) & kLookup6Mask];
      }
    }
  } else {
    if (!ConsumeBits(work, kLongCodeLongDrop)) return kInputExhaustedToken;
    literal = work->literal_lookup_8[Lookahead(work)];
  }
  if (!ConsumeBits(work, work->literal_bits[literal])) return kInputExhaustedToken;
  return literal;
}

uint32_t DecodeToken(ImplodeWorkArea* work) {
  const bool is_copy = (work->bit_buffer & 1) != 0;
  if (!ConsumeBits(work, 1)) return kInputExhaustedToken;
  if (is_copy) return DecodeLength(work);
  if (work->compression_type == kAsciiType) return DecodeAsciiLiteral(work);
  const uint32_t literal = Lookahead(work);
  if (!ConsumeBits(work, kLookaheadBits)) return kInputExhaustedToken;
  return literal;
}

// Returns the distance back (1 or more), or 0 when the input ran out.
uint32_t DecodeDistance(ImplodeWorkArea* work, uint32_t length) {
  const uint32_t symbol = work->distance_lookup[Lookahead(work)];
  if (!ConsumeBits(work, work->distance_bits[symbol])) return 0;
  uint32_t distance;
  if (length == kShortCopyLength) {
    distance = (symbol << kShortCopyLowBits) | (Lookahead(work) & kShortCopyLowMask);
    if (!ConsumeBits(work, kShortCopyLowBits)) return 0;
  } else {
    distance = (symbol << work->dictionary_bits) | (Lookahead(work) & work->dictionary_mask);
    if (!ConsumeBits(work, work->dictionary_bits)) return 0;
  }
  return distance + 1;
}

// --- Window --------------------------------------------------------------------------------------

// Same result as copying byte by byte from `distance` back, front to back: a distance of at least
// a chunk never reads a byte the same chunk writes. A chunk may run up to 15 bytes past the
// copy, over output positions not yet written, but never past the window.
void CopyMatch(uint8_t* window, uint32_t position, uint32_t distance, uint32_t length) {
  uint8_t* to = window + position;
  const uint8_t* from = to - distance;
  if (position + length + kWideChunk > kImplodeWindowSize) {
    for (uint32_t i = 0; i < length; ++i)
      to[i] = from[i];
    return;
  }
  if (distance < kNarrowChunk) {
    // A short distance repeats a pattern, which then also repeats at any multiple of its
    // period: write the first period of at least a chunk byte by byte, then copy chunks.
    uint32_t period = distance;
    while (period < kNarrowChunk)
      period += distance;
    const uint32_t head = period < length ? period : length;
    for (uint32_t i = 0; i < head; ++i)
      to[i] = from[i];
    from = to + head - period;
    to += head;
    length -= head;
    distance = period;
  }
  if (distance >= kWideChunk) {
    for (uint32_t done = 0; done < length; done += kWideChunk) {
      memcpy(to + done, from + done, kWideChunk);
    }
  } else {
    for (uint32_t done = 0; done < length; done += kNarrowChunk) {
      memcpy(to + done, from + done, kNarrowChunk);
    }
  }
}

// Hands the full block to the caller; it becomes the history, and whatever the last copy wrote
// past it opens the next block.
void FlushBlock(ImplodeWorkArea* work) {
  uint32_t count = kImplodeOutputBlockSize;
  work->write_fn(work->window + kImplodeHistorySize, &count, work->user_param);
  memmove(work->window, work->window + kImplodeOutputBlockSize,
          work->output_position - kImplodeOutputBlockSize);
  work->output_position -= kImplodeOutputBlockSize;
  work->copy_floor = 0;  // the whole history is this stream's own now
}

// --- Fast path -----------------------------------------------------------------------------------

// Up to 64 unconsumed bits. Bits above `count` are either zero or the true stream bits that
// follow, so topping up may OR the same input bytes in again.
struct WideBits {
  uint64_t bits;
  uint32_t count;
  uint32_t position;
};

WideBits TakeBits(const ImplodeWorkArea* work) {
  return WideBits{work->bit_buffer, kLookaheadBits + work->extra_bits, work->input_position};
}

// Gives back every whole byte beyond the plain reader's 8 to 15 bits.
void ReturnBits(ImplodeWorkArea* work, const WideBits& wide) {
  const uint32_t surplus_bytes = (wide.count - kLookaheadBits) / 8;
  const uint32_t count = wide.count - surplus_bytes * 8;
  work->bit_buffer = static_cast<uint32_t>(wide.bits & ((1u << count) - 1));
  work->extra_bits = count - kLookaheadBits;
  work->input_position = wide.position - surplus_bytes;
}

uint64_t LoadLittleEndian64(const uint8_t* bytes) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
  uint64_t value;
  memcpy(&value, bytes, sizeof value);  // one load on the machines we build for
  return value;
#else
  uint64_t value = 0;
  for (uint32_t i = kWideLoadBytes; i-- > 0;)
    value = (value << 8) | bytes[i];
  return value;
#endif
}

void TopUp(const ImplodeWorkArea* work, WideBits* wide) {
  wide->bits |= LoadLittleEndian64(work->input_buffer + wide->position) << wide->count;
  wide->position += (kWideBitsMax - wide->count) / 8;  // whole bytes that fit above the bits held
  wide->count |= kWideTopUpBits;
}

void DropBits(WideBits* wide, uint32_t n) {
  wide->bits >>= n;
  wide->count -= n;
}

uint32_t TakeRaw(WideBits* wide, uint32_t n) {
  const uint32_t value = static_cast<uint32_t>(wide->bits) & ((1u << n) - 1);
  DropBits(wide, n);
  return value;
}

// Codes longer than 8 bits: an escape in literal_lookup, or 8 zero bits.
uint32_t FastLongAsciiLiteral(const ImplodeWorkArea* work, WideBits* wide, uint32_t first) {
  if (first == 0) {
    DropBits(wide, kLongCodeLongDrop);
    return work->literal_lookup_8[wide->bits & kLookaheadMask];
  }
  if ((first & kLowSixBitsMask) != 0) {
    DropBits(wide, kLongCodeShortDrop);
    return work->literal_lookup_4[wide->bits & kLookaheadMask];
  }
  DropBits(wide, kLongCodeMiddleDrop);
  return work->literal_lookup_6[wide->bits & kLookup6Mask];
}

uint32_t FastAsciiLiteral(const ImplodeWorkArea* work, WideBits* wide) {
  const uint32_t first = static_cast<uint32_t>(wide->bits) & kLookaheadMask;
  uint32_t literal = work->literal_lookup[first];
  // Text rarely needs the long codes; keep them off the straight path.
  if (__builtin_expect(first == 0 || literal == kLongLiteralEscape, 0)) {
    literal = FastLongAsciiLiteral(work, wide, first);
  }
  DropBits(wide, work->literal_bits[literal]);
  return literal;
}

// Decodes tokens while the input block holds a full top-up ahead. Returns the end-of-stream
// token if it was met, otherwise 0 with the plain path's state restored. One copy per literal
// coding keeps the choice out of the inner loop.
template <bool kAsciiLiterals>
uint32_t DecodeFastIn(ImplodeWorkArea* work) {
  // Locals, because every byte stored into the window could alias the work area's fields.
  uint8_t* const window = work->window;
  const uint8_t* const length_lookup = work->length_lookup;
  const uint8_t* const distance_lookup = work->distance_lookup;
  const uint32_t input_count = work->input_count;
  const uint32_t dictionary_bits = work->dictionary_bits;
  WideBits wide = TakeBits(work);
  uint32_t position = work->output_position;
  uint32_t copy_floor = work->copy_floor;
  uint32_t result = 0;
  while (input_count - wide.position >= kWideLoadBytes) {
    TopUp(work, &wide);
    // A top-up leaves room for one token of any kind and, as most are shorter, often more;
    // the 8 lookahead bits must stay behind every token, as the plain path keeps them.
    while (wide.count >= kLongestTokenBits + kLookaheadBits) {
      const bool is_copy = (wide.bits & 1) != 0;
      DropBits(&wide, 1);
      if (!is_copy) {
        window[position++] = static_cast<uint8_t>(kAsciiLiterals ? FastAsciiLiteral(work, &wide)
                                                                 : TakeRaw(&wide, 8));
      } else {
        const uint32_t symbol = length_lookup[wide.bits & kLookaheadMask];
        DropBits(&wide, work->length_bits[symbol]);
        const uint32_t value =
            work->length_base[symbol] + TakeRaw(&wide, work->length_extra_bits[symbol]);
        if (value == kEndOfStreamLengthValue) {
          result = kEndOfStreamToken;
          break;
        }
        const uint32_t length = value + kFirstCopyToken - kCopyLengthOffset;
        const uint32_t high = distance_lookup[wide.bits & kLookaheadMask];
        DropBits(&wide, work->distance_bits[high]);
        const uint32_t low_bits = length == kShortCopyLength ? kShortCopyLowBits : dictionary_bits;
        const uint32_t distance = ((high << low_bits) | TakeRaw(&wide, low_bits)) + 1;
        // Never true unless decoding strictly: position is at least the history's size.
        if (__builtin_expect(distance > position - copy_floor, 0)) {
          result = kReachedBeforeStartToken;
          break;
        }
        CopyMatch(window, position, distance, length);
        position += length;
      }
      if (position >= kFullBlockEnd) {
        // The write callback sees the work area as the plain path would have left it.
        work->output_position = position;
        ReturnBits(work, wide);
        FlushBlock(work);
        position = work->output_position;
        copy_floor = work->copy_floor;
        wide = TakeBits(work);
      }
    }
    if (result != 0) break;
  }
  work->output_position = position;
  ReturnBits(work, wide);
  return result;
}

// Returns the token that ended the stream (end of stream, or a copy reaching before its start),
// or 0 when the plain path must go on.
uint32_t DecodeFast(ImplodeWorkArea* work) {
  return work->compression_type == kAsciiType ? DecodeFastIn<true>(work)
                                              : DecodeFastIn<false>(work);
}

// --- Main loop -----------------------------------------------------------------------------------

// Decodes tokens into the window until the stream ends or the input runs out, handing over
// each full block and, at the end, whatever is left (possibly nothing). Returns the last token.
uint32_t DecodeTokens(ImplodeWorkArea* work) {
  work->output_position = kImplodeHistorySize;
  uint32_t token;
  for (;;) {
    token = DecodeFast(work);
    if (token != 0) break;
    token = DecodeToken(work);
    if (token >= kEndOfStreamToken) break;
    if (token < kFirstCopyToken) {
      work->window[work->output_position++] = static_cast<uint8_t>(token);
    } else {
      const uint32_t length = token - kCopyLengthOffset;
      const uint32_t distance = DecodeDistance(work, length);
      if (distance == 0) {
        token = kInputExhaustedToken;
        break;
      }
      if (distance > work->output_position - work->copy_floor) {
        token = kReachedBeforeStartToken;
        break;
      }
      CopyMatch(work->window, work->output_position, distance, length);
      work->output_position += length;
    }
    if (work->output_position >= kFullBlockEnd) FlushBlock(work);
  }
  uint32_t count = work->output_position - kImplodeHistorySize;
  work->write_fn(work->window + kImplodeHistorySize, &count, work->user_param);
  return token;
}

int32_t Decode(ImplodeReadFn read_fn, ImplodeWriteFn write_fn, ImplodeWorkArea* work,
               void* user_param, uint32_t copy_floor) {
  work->read_fn = read_fn;
  work->write_fn = write_fn;
  work->user_param = user_param;
  work->copy_floor = copy_floor;
  if (ReadInputBlock(work) < kShortestFirstRead) return IMPLODE_TOO_SHORT;

  work->compression_type = work->input_buffer[0];
  work->dictionary_bits = work->input_buffer[1];
  work->bit_buffer = work->input_buffer[kHeaderSize];
  work->extra_bits = 0;
  work->input_position = kHeaderSize + 1;
  if (work->dictionary_bits < kImplodeSmallestDictionaryBits ||
      work->dictionary_bits > kImplodeLargestDictionaryBits) {
    return IMPLODE_BAD_DICTIONARY;
  }
  work->dictionary_mask = (1u << work->dictionary_bits) - 1;
  if (work->compression_type != kBinaryType && work->compression_type != kAsciiType) {
    return IMPLODE_BAD_TYPE;
  }
  BuildTables(work);
  switch (DecodeTokens(work)) {
    case kInputExhaustedToken:
      return IMPLODE_TRUNCATED;
    case kReachedBeforeStartToken:
      return IMPLODE_REACHES_BEFORE_START;
    default:
      return IMPLODE_OK;
  }
}

}  // namespace

int32_t DecodeImplodeStream(ImplodeReadFn read_fn, ImplodeWriteFn write_fn, ImplodeWorkArea* work,
                            void* user_param) {
  return Decode(read_fn, write_fn, work, user_param, 0);
}

int32_t DecodeImplodeStreamStrictly(ImplodeReadFn read_fn, ImplodeWriteFn write_fn,
                                    ImplodeWorkArea* work, void* user_param) {
  return Decode(read_fn, write_fn, work, user_param, kImplodeHistorySize);
}
