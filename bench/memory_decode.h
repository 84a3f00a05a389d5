// Decoding a stream held in memory into a buffer that holds its whole output: how the codec
// benchmarks time the decoder alone, with callbacks that cost next to nothing. Shared by the host
// benchmark and the one of the decoder as launcher.exe links it, so both time the same work.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "implode/implode.h"

namespace bench {

struct MemoryIo {
  const std::vector<uint8_t>* input;
  size_t read_offset;
  uint8_t* output;
  size_t written;
};

// cppcheck-suppress constParameter ; the callback type fixes the signature
inline uint32_t ReadFromMemory(uint8_t* buffer, uint32_t* count, void* user_param) {
  MemoryIo* io = static_cast<MemoryIo*>(user_param);
  size_t n = io->input->size() - io->read_offset;
  if (n > *count) n = *count;
  std::memcpy(buffer, io->input->data() + io->read_offset, n);
  io->read_offset += n;
  return static_cast<uint32_t>(n);
}

inline void WriteToMemory(uint8_t* buffer, uint32_t* count, void* user_param) {
  MemoryIo* io = static_cast<MemoryIo*>(user_param);
  std::memcpy(io->output + io->written, buffer, *count);
  io->written += *count;
}

// The number of bytes decoded into output; 0 when the stream does not decode.
inline size_t DecodeFromMemory(const std::vector<uint8_t>& stream, ImplodeWorkArea* work,
                               uint8_t* output) {
  MemoryIo io{&stream, 0, output, 0};
  if (DecodeImplodeStream(ReadFromMemory, WriteToMemory, work, &io) != IMPLODE_OK) return 0;
  return io.written;
}

}  // namespace bench
