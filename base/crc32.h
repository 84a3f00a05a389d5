// CRC-32 as ZIP, PNG and zlib compute it: polynomial 0xEDB88320 (reflected), initial value and
// final XOR 0xFFFFFFFF. Installers carry one per member, so that a damaged download is noticed
// before anything from it runs; the launcher checks while it copies, so the code is fast: eight
// table lookups per eight bytes, or carry-less multiplication in 64-bit builds on processors
// that have it. The tables are built on first use into zero-filled storage and take no room in
// the launcher's file.
#pragma once

#include <cstddef>
#include <cstdint>

namespace text {

// The CRC of nothing: the value to start with.
constexpr uint32_t kCrc32Start = 0;

// Continues crc (from kCrc32Start or an earlier call) over size more bytes.
uint32_t UpdateCrc32(uint32_t crc, const void* bytes, size_t size);

}  // namespace text
