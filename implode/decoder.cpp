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
// All three prefix codes are fixed, each by its code lengths alone, and none is longer than 8
// bits except ASCII literals (up to 13). So every length and distance is found by one lookup in a
// 256-entry table indexed by the next 8 stream bits. Long literal codes escape from the first table
// into one of three second tables, chosen by where the code's first set bit lies, after dropping 4,
// 6 or 8 bits.
//
// The bit reader keeps those 8 bits of lookahead available at all times and pulls input from the
// read callback a 2,048-byte block at a time, only when a byte is actually needed. Output goes to
// a window of 4 KiB of history followed by the 4 KiB block being filled; each full block is
// handed to the write callback and becomes the history. Copies are made byte by byte, front to
// back, so a distance shorter than the length repeats the last bytes: that is how runs are sent.
//
// Decoding runs on two paths that give identical results and identical callback traffic. The
// plain path follows the bit reader above to the letter and serves the edges of each input
// block. The fast path keeps no bit buffer: it reads the stream straight out of the input block
// by bit offset, a register's width at a time (32 bits in the launcher, which has few registers
// to keep state in), but only while the block still has bytes to spare, so it never needs a
// callback that the plain path would not have made at the same moment. When it hands back, it
// sets the plain reader's buffer and position from the offset, exactly as that reader would
// have them.
#include <string.h>

#include "implode/implode.h"
#include "implode/implode_format.h"

// The fast path's helpers are a few instructions each; the launcher's -Os would call them.
#define IMPLODE_INLINE inline __attribute__((always_inline))

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

// Fast path: the stream is read straight out of the input block by bit offset, a word as wide as
// a register (32 bits in the launcher) at a time, of which at least all but 7 bits are whole. The
// host tests also build it with the launcher's 32-bit word, under their sanitizers.
#ifdef IMPLODE_FAST_PATH_WORD
using BitWord = IMPLODE_FAST_PATH_WORD;
#else
using BitWord = uintptr_t;
#endif
constexpr uint32_t kWholePeekBits = sizeof(BitWord) * 8 - 7;
constexpr uint32_t kLongestTokenBits = 1 + 7 + 8 + 8 + 6;  // flag, length, extra, distance, low
// 25 bits hold a flag and a literal (at most 14 bits) or a flag and a length with its extra bits
// (at most 16), but not a whole copy: on 32 bits a copy peeks again for its distance (at most
// 14). 57 bits hold any token.
constexpr bool kPeekPerField = kWholePeekBits < kLongestTokenBits;
// Input bytes beyond a token's first byte offset that its peeks may load: the second peek of a
// copy starts at most 16 bits on.
constexpr uint32_t kFastInputMargin = sizeof(BitWord) + (kPeekPerField ? 2 : 0);

// Copies move words as wide as a register, two at a time; a pair may run up to 2 words less a
// byte past the copy.
constexpr uint32_t kCopyWord = sizeof(uintptr_t);
constexpr uint32_t kCopyStep = 2 * kCopyWord;

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
// The values come from the code lengths each time: the launcher carries the lengths only.
void BuildLookup(uint8_t* lookup, const uint8_t* code_bits, uint32_t symbol_count) {
  static_assert(kImplodeLengthSymbols <= kImplodeDistanceSymbols, "room for either code");
  uint16_t code_values[kImplodeDistanceSymbols];
  ImplodeCodeValues(code_bits, symbol_count, code_values);
  for (uint32_t symbol = symbol_count; symbol-- > 0;) {
    FillLookup(lookup, kLookupSize, code_values[symbol], code_bits[symbol], symbol);
  }
}

// Codes of up to 8 bits are found in literal_lookup. Longer ones leave an escape there and are
// found in a second table after dropping the bits that the escape already told apart; their
// length in literal_bits shrinks by as many bits, so no reduced length exceeds 8.
void BuildAsciiTables(ImplodeWorkArea* work) {
  uint16_t code_values[kImplodeLiteralSymbols];
  ImplodeCodeValues(work->literal_bits, kImplodeLiteralSymbols, code_values);
  for (uint32_t symbol = kImplodeLiteralSymbols; symbol-- > 0;) {
    const uint32_t code_bits = work->literal_bits[symbol];
    const uint32_t value = code_values[symbol];
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
  BuildLookup(work->length_lookup, work->length_bits, kImplodeLengthSymbols);
  memcpy(work->length_extra_bits, kImplodeLengthExtraBits, sizeof work->length_extra_bits);
  memcpy(work->length_base, kImplodeLengthBase, sizeof work->length_base);
  memcpy(work->distance_bits, kImplodeDistanceCodeBits, sizeof work->distance_bits);
  BuildLookup(work->distance_lookup, work->distance_bits, kImplodeDistanceSymbols);
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

// A register's width of bytes.
IMPLODE_INLINE void CopyWord(uint8_t* to, const uint8_t* from) {
  uintptr_t word;
  memcpy(&word, from, sizeof word);  // one load and one store
  memcpy(to, &word, sizeof word);
}

// Same result as copying byte by byte from `distance` back, front to back: a distance of at least
// a word never reads a byte that the same word writes, and the words go in order. The last pair
// (or a short distance's first period) may run up to two words less a byte past the copy, over
// output positions not yet written, but never past the window.
void CopyMatch(uint8_t* window, uint32_t position, uint32_t distance, uint32_t length) {
  uint8_t* to = window + position;
  const uint8_t* from = to - distance;
  if (position + length + kCopyStep > kImplodeWindowSize) {
    for (uint32_t i = 0; i < length; ++i)
      to[i] = from[i];
    return;
  }
  uint8_t* const end = to + length;
  if (distance < kCopyWord) {
    // A short distance repeats a pattern, which then also repeats at any multiple of its
    // period: write the first period of at least a word byte by byte, then copy words.
    uint32_t period = distance;
    while (period < kCopyWord)
      period += distance;
    for (uint32_t i = 0; i < period; ++i)
      to[i] = from[i];
    to += period;
    from = to - period;
  }
  while (to < end) {
    CopyWord(to, from);
    CopyWord(to + kCopyWord, from + kCopyWord);
    to += kCopyStep;
    from += kCopyStep;
  }
}

// Copies as CopyMatch does. The common copy, from at least a word back and well before the
// window's end, is made right here, without a call.
IMPLODE_INLINE void FastCopy(uint8_t* window, uint32_t position, uint32_t distance,
                             uint32_t length) {
  if (distance < kCopyWord || position + length + kCopyStep > kImplodeWindowSize) {
    CopyMatch(window, position, distance, length);
    return;
  }
  uint8_t* to = window + position;
  uint8_t* const end = to + length;
  do {
    CopyWord(to, to - distance);
    CopyWord(to + kCopyWord, to + kCopyWord - distance);
    to += kCopyStep;
  } while (to < end);
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

IMPLODE_INLINE BitWord LoadWord(const uint8_t* bytes) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
  BitWord value;
  memcpy(&value, bytes, sizeof value);  // one load on the machines we build for
  return value;
#else
  BitWord value = 0;
  for (uint32_t i = sizeof value; i-- > 0;)
    value = (value << 8) | bytes[i];
  return value;
#endif
}

// The stream bits from bit_offset of the input block on; kWholePeekBits of them are whole.
IMPLODE_INLINE BitWord PeekBits(const ImplodeWorkArea* work, uint32_t bit_offset) {
  return LoadWord(work->input_buffer + bit_offset / 8) >> (bit_offset % 8);
}

IMPLODE_INLINE uint32_t Low(BitWord bits, uint32_t n) {
  return static_cast<uint32_t>(bits) & ((1u << n) - 1);
}

// The plain reader's state for the stream read up to bit_offset: the bytes holding the next 8 to
// 15 bits have been taken, and those bits are its bit buffer.
void ReturnBits(ImplodeWorkArea* work, uint32_t bit_offset) {
  const uint32_t taken = (bit_offset + kLookaheadBits + 7) / 8;
  uint32_t bits = 0;
  for (uint32_t at = taken; at-- > bit_offset / 8;)
    bits = (bits << 8) | work->input_buffer[at];
  work->bit_buffer = bits >> (bit_offset % 8);
  work->extra_bits = taken * 8 - bit_offset - kLookaheadBits;
  work->input_position = taken;
}

// Codes longer than 8 bits: an escape in literal_lookup, or 8 zero bits. `bits` start after the
// flag; *dropped tells how many were told apart by the escape.
uint32_t FastLongAsciiLiteral(const ImplodeWorkArea* work, BitWord bits, uint32_t* dropped) {
  const uint32_t first = Low(bits, kLookaheadBits);
  if (first == 0) {
    *dropped = kLongCodeLongDrop;
    return work->literal_lookup_8[Low(bits >> kLongCodeLongDrop, kLookaheadBits)];
  }
  if ((first & kLowSixBitsMask) != 0) {
    *dropped = kLongCodeShortDrop;
    return work->literal_lookup_4[Low(bits >> kLongCodeShortDrop, kLookaheadBits)];
  }
  *dropped = kLongCodeMiddleDrop;
  return work->literal_lookup_6[Low(bits >> kLongCodeMiddleDrop, kLookaheadBits) & kLookup6Mask];
}

// A literal whose flag starts `bits`; adds its bits to *bit_offset.
IMPLODE_INLINE uint32_t FastLiteral(const ImplodeWorkArea* work, bool ascii, BitWord bits,
                                    uint32_t* bit_offset) {
  bits >>= 1;
  if (!ascii) {
    *bit_offset += 1 + kLookaheadBits;
    return Low(bits, kLookaheadBits);
  }
  const uint32_t first = Low(bits, kLookaheadBits);
  uint32_t literal = work->literal_lookup[first];
  uint32_t dropped = 0;
  // Text rarely needs the long codes; keep them off the straight path.
  if (__builtin_expect(first == 0 || literal == kLongLiteralEscape, 0)) {
    literal = FastLongAsciiLiteral(work, bits, &dropped);
  }
  *bit_offset += 1 + dropped + work->literal_bits[literal];
  return literal;
}

// Decodes tokens while the input block holds every byte their peeks may load, and takes care to
// start only where the plain reader's bits all come from this block. Returns the end-of-stream
// token if it was met, or the token of a copy reaching before the start, otherwise 0 with the
// plain path's state restored. One copy per literal coding keeps the choice out of the loop.
template <bool kAsciiLiterals>
uint32_t DecodeFastIn(ImplodeWorkArea* work) {
  const uint32_t held = kLookaheadBits + work->extra_bits;
  const uint32_t input_count = work->input_count;
  if (work->input_position * 8 < held || input_count < kFastInputMargin) return 0;
  uint32_t bit_offset = work->input_position * 8 - held;
  const uint32_t end_offset = (input_count - kFastInputMargin + 1) * 8;
  // Locals, because every byte stored into the window could alias the work area's fields.
  const uint32_t dictionary_bits = work->dictionary_bits;
  const uint32_t dictionary_mask = work->dictionary_mask;
  uint32_t position = work->output_position;
  uint32_t copy_floor = work->copy_floor;
  uint32_t result = 0;
  while (bit_offset < end_offset) {
    BitWord bits = PeekBits(work, bit_offset);
    if ((bits & 1) == 0) {
      work->window[position++] =
          static_cast<uint8_t>(FastLiteral(work, kAsciiLiterals, bits, &bit_offset));
    } else {
      bits >>= 1;
      const uint32_t symbol = work->length_lookup[Low(bits, kLookaheadBits)];
      const uint32_t code_bits = work->length_bits[symbol];
      bits >>= code_bits;
      const uint32_t extra_bits = work->length_extra_bits[symbol];
      const uint32_t value = work->length_base[symbol] + Low(bits, extra_bits);
      bit_offset += 1 + code_bits + extra_bits;
      if (value == kEndOfStreamLengthValue) {
        result = kEndOfStreamToken;
        break;
      }
      bits = kPeekPerField ? PeekBits(work, bit_offset) : bits >> extra_bits;
      const uint32_t length = value + kFirstCopyToken - kCopyLengthOffset;
      const uint32_t high = work->distance_lookup[Low(bits, kLookaheadBits)];
      const uint32_t high_bits = work->distance_bits[high];
      bits >>= high_bits;
      const bool short_copy = length == kShortCopyLength;
      const uint32_t low_bits = short_copy ? kShortCopyLowBits : dictionary_bits;
      const uint32_t low_mask = short_copy ? kShortCopyLowMask : dictionary_mask;
      const uint32_t distance = ((high << low_bits) | (static_cast<uint32_t>(bits) & low_mask)) + 1;
      bit_offset += high_bits + low_bits;
      // Never true unless decoding strictly: position is at least the history's size.
      if (__builtin_expect(distance > position - copy_floor, 0)) {
        result = kReachedBeforeStartToken;
        break;
      }
      FastCopy(work->window, position, distance, length);
      position += length;
    }
    if (position >= kFullBlockEnd) {
      // The write callback sees the work area as the plain path would have left it.
      work->output_position = position;
      ReturnBits(work, bit_offset);
      FlushBlock(work);
      position = work->output_position;
      copy_floor = work->copy_floor;
    }
  }
  work->output_position = position;
  ReturnBits(work, bit_offset);
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
