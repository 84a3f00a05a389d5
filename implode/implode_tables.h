// The fixed prefix codes of the implode format, shared read-only by the decoder and the encoder.
// A code's "value" is the number formed by its stream bits taken least significant bit first:
// the index at which the decoder's 8-bit lookup tables find it, and the bits the encoder emits.
#pragma once

#include <stdint.h>

enum {
  kImplodeLengthSymbols = 16,
  kImplodeDistanceSymbols = 64,
  kImplodeLiteralSymbols = 256,
};

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
