// What an implode stream is, shared by the decoder and the encoder: the header, the two literal
// codings, the dictionary sizes, the copy lengths and distances, and the fixed prefix codes.
//
// A stream is two header bytes (compression type, dictionary size code k) and then tokens, bit 0
// of each byte first. A token is a literal (flag 0) or a copy (flag 1: a length symbol with its
// extra bits, then a distance symbol with the raw low bits). Length symbol 15 with all 8 extra
// bits set is no copy: it ends the stream.
//
// A code's "value" is the number formed by its stream bits taken least significant bit first:
// the index at which the decoder's 8-bit lookup tables find it, and the bits the encoder emits.
// The code lengths fix every value (ImplodeCodeValues); the decoder derives them for each stream,
// the encoder reads them from the listed tables, which a unit test derives again.
#pragma once

#include <stdint.h>

enum {
  // Header: compression type, then dictionary size code.
  kImplodeHeaderSize = 2,
  kImplodeBinary = 0,  // literals as raw bytes
  kImplodeAscii = 1,   // literals by the fixed ASCII code, which favours text
  kImplodeSmallestDictionaryBits = 4,
  kImplodeLargestDictionaryBits = 6,
  kImplodeDictionaryUnit = 64,  // dictionary size = 64 << dictionary size code

  // Copies: 2 to 518 bytes. A two-byte copy sends 2 raw low distance bits and so reaches 256
  // bytes back; a longer one sends k bits and reaches the whole dictionary.
  kImplodeShortestCopy = 2,
  kImplodeLongestCopy = 518,
  kImplodeShortCopyLowBits = 2,
  kImplodeShortCopyReach = 256,

  // The end-of-stream code: length symbol 15 with extra value 255.
  kImplodeEndOfStreamSymbol = 15,
  kImplodeEndOfStreamExtra = 255,

  kImplodeLengthSymbols = 16,
  kImplodeDistanceSymbols = 64,
  kImplodeLiteralSymbols = 256,
  kImplodeLongestCode = 13,
};

// The values of the code whose lengths (1 to kImplodeLongestCode bits) code_bits gives, one per
// symbol: order the symbols by length, then by number; the first gets the all-zero code of its
// length and each next one the previous code plus one, shifted left as the length grows. The
// stream sends every code inverted, most significant bit first, so a value is the bit reversal
// of the inverted code.
void ImplodeCodeValues(const uint8_t* code_bits, uint32_t count, uint16_t* values);

// Copy lengths: symbol code, then the symbol's extra bits raw; length = base + extra + 2.
extern const uint8_t kImplodeLengthCodeBits[kImplodeLengthSymbols];
extern const uint8_t kImplodeLengthCodeValues[kImplodeLengthSymbols];
extern const uint8_t kImplodeLengthExtraBits[kImplodeLengthSymbols];
extern const uint16_t kImplodeLengthBase[kImplodeLengthSymbols];

// Copy distances: the symbol is the distance's high part; the low part follows raw.
extern const uint8_t kImplodeDistanceCodeBits[kImplodeDistanceSymbols];
extern const uint8_t kImplodeDistanceCodeValues[kImplodeDistanceSymbols];

// ASCII-mode literals, one code per byte value.
extern const uint8_t kImplodeLiteralCodeBits[kImplodeLiteralSymbols];
extern const uint16_t kImplodeLiteralCodeValues[kImplodeLiteralSymbols];
