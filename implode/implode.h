// The implode stream decoder: restores the bytes of an implode stream, pulling compressed input
// through a read callback and pushing decoded output through a write callback. All of its state
// lives in the caller's work area; it allocates nothing and keeps nothing between calls, so one
// work area per thread is all that concurrent decodes need.
#pragma once

#include <stdint.h>

#include "implode/implode_format.h"

// Hands the decoder compressed input. `buffer` is the work area's input buffer and `*count` holds
// the number of bytes wanted (always kImplodeInputBlockSize). Returns how many bytes were
// delivered; 0 means there is no more input. Fewer than asked does not mean the end.
typedef uint32_t (*ImplodeReadFn)(uint8_t* buffer, uint32_t* count, void* user_param);

// Takes `*count` decoded bytes from `buffer`, a pointer into the work area's window that is valid
// only during the call. The decoder cannot be stopped from the write side.
typedef void (*ImplodeWriteFn)(uint8_t* buffer, uint32_t* count, void* user_param);

enum {
  kImplodeInputBlockSize = 2048,   // bytes asked of the read callback per call
  kImplodeOutputBlockSize = 4096,  // bytes handed to the write callback per full block
  kImplodeHistorySize = 4096,      // the largest dictionary: how far back a copy can reach
  // The longest copy may start at a block's last byte.
  kImplodeWindowSize = kImplodeHistorySize + kImplodeOutputBlockSize + kImplodeLongestCopy - 1,
};

// Result codes of DecodeImplodeStream.
enum {
  IMPLODE_OK = 0,              // the end-of-stream code was reached; all output was written
  IMPLODE_BAD_DICTIONARY = 1,  // header byte 1 is not 4, 5 or 6
  IMPLODE_BAD_TYPE = 2,        // header byte 0 is neither 0 (binary) nor 1 (ASCII)
  IMPLODE_TOO_SHORT = 3,       // the first read delivered 4 bytes or fewer
  IMPLODE_TRUNCATED = 4,       // the input ran out before the end-of-stream code
  // Strict decoding only: a copy reaches back before the stream's first byte. A valid stream
  // never does; the plain decoder reads the window's history there, as it always has.
  IMPLODE_REACHES_BEFORE_START = 5,
};

// The decoder's whole state for one call. The caller owns it; the decoder sets every field it
// reads before reading it, except the window's history, so a work area can be reused unclear.
struct ImplodeWorkArea {
  uint32_t compression_type;  // header byte 0: 0 binary, 1 ASCII
  uint32_t output_position;   // index in window where the next decoded byte goes
  uint32_t dictionary_bits;   // header byte 1: raw low distance bits of longer copies
  uint32_t dictionary_mask;   // (1 << dictionary_bits) - 1
  uint32_t bit_buffer;        // unconsumed bits; bits 0-7 are always the next 8 stream bits
  uint32_t extra_bits;        // valid bits held above the 8 lookahead bits, 0 to 7
  uint32_t input_position;    // next unread byte of input_buffer; also the read count cell
  uint32_t input_count;       // bytes the last read callback delivered
  void* user_param;           // handed unchanged to both callbacks
  ImplodeReadFn read_fn;
  ImplodeWriteFn write_fn;
  uint8_t window[kImplodeWindowSize];  // history, the block being filled, longest-copy overhang
  uint8_t input_buffer[kImplodeInputBlockSize];
  uint8_t distance_lookup[256];   // distance symbol by the 8 lookahead bits
  uint8_t length_lookup[256];     // length symbol by the 8 lookahead bits
  uint8_t literal_lookup[256];    // ASCII literal by the 8 lookahead bits, 255 = longer code
  uint8_t literal_lookup_4[256];  // ASCII literal after 4 bits dropped
  uint8_t literal_lookup_6[128];  // ASCII literal by 7 bits after 6 bits dropped
  uint8_t literal_lookup_8[256];  // ASCII literal after 8 bits dropped
  uint8_t literal_bits[256];      // ASCII code lengths, reduced for codes longer than 8 bits
  uint8_t distance_bits[64];
  uint8_t length_bits[16];
  uint8_t length_extra_bits[16];
  uint16_t length_base[16];
  // The lowest window index a copy may read from: the stream's first byte while strict decoding
  // has not yet handed over a block, else 0 (the history, whatever it holds).
  uint32_t copy_floor;
};

// Decodes one whole implode stream. Returns one of the IMPLODE_ result codes.
int32_t DecodeImplodeStream(ImplodeReadFn read_fn, ImplodeWriteFn write_fn, ImplodeWorkArea* work,
                            void* user_param);

// The same, but a copy that reaches back before the stream's first byte ends the decode with
// IMPLODE_REACHES_BEFORE_START (after the bytes decoded so far have been written). For checking
// streams; output and callbacks are otherwise those of DecodeImplodeStream.
int32_t DecodeImplodeStreamStrictly(ImplodeReadFn read_fn, ImplodeWriteFn write_fn,
                                    ImplodeWorkArea* work, void* user_param);
