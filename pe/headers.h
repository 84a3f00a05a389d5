// The one walk of a PE image's headers: the DOS header, the PE signature, the 32-bit or 64-bit
// optional header and its data directories. Both the stub's certificate-table lookup and the
// tool's image layout stand on it, so an image means the same to both.
//
// The walk works on bytes the caller has read and never reads a file itself, and it needs no
// standard library: the stub links it. It goes in two steps, since the PE header may lie anywhere
// in the file: FindPeHeader takes the file's first bytes and says where the PE header starts;
// ReadPeHeaders takes the bytes from there on. The headers are hostile input: every field is
// checked against the bytes given and against the file's size before it is used. The functions
// are inline so that the stub, which calls them once, pays no call overhead for them.
#pragma once

#include <cstdint>

#include "base/little_endian.h"
#include "pe/pe_format.h"

namespace pe {

struct DataDirectory {
  uint32_t address;  // an address in memory, or for the certificate table a file offset
  uint32_t size;
};

// Why the walk stopped, in the order it checks.
enum class HeaderProblem {
  kNone,
  kNoDosHeader,   // no "MZ" header
  kNoPeHeader,    // no PE signature where the DOS header points, or too little behind it
  kUnknownMagic,  // an optional header neither 32-bit nor 64-bit
  kCutShort,      // an optional header shorter than its fixed fields, or it or the section
                  // table past the end of the file
};

struct PeHeaders {
  uint32_t header_at;    // file offset of the PE signature
  uint32_t optional_at;  // file offset of the optional header
  uint32_t section_count;
  uint32_t section_table_at;  // file offset, right behind the optional header
  uint32_t directories_at;    // file offset of the first data directory
  // The directories that the image counts and that lie both within its optional header and
  // within the bytes given; their bytes stay in the caller's buffer.
  uint32_t directory_count;
  const uint8_t* directory_bytes;
};

// Where the PE header starts, from the first size bytes of a file that is file_size bytes long
// (size at most that): the DOS header must lie within them, and the fixed part of the PE header
// (signature, file header and a 32-bit optional header's fields up to its directories) within
// the file.
HeaderProblem FindPeHeader(const uint8_t* bytes, uint32_t size, uint32_t file_size,
                           uint32_t* header_at);

// The headers from size bytes read at header_at, as FindPeHeader gave it (size at most what the
// file holds from there). The optional header and the section table must lie within the file;
// the directories are taken as far as the bytes given hold them. headers holds the walk's result
// only when the answer is kNone, and only while the bytes do.
HeaderProblem ReadPeHeaders(const uint8_t* bytes, uint32_t size, uint32_t header_at,
                            uint32_t file_size, PeHeaders* headers);

// The directory at index, or an empty one when the image does not count that far.
DataDirectory DirectoryOf(const PeHeaders& headers, uint32_t index);

// --- The walk ------------------------------------------------------------------------------------

namespace headers_internal {

// The least of a PE header that anything reads: signature, file header, and a 32-bit optional
// header's fields up to its directories (the 64-bit one's are longer).
constexpr auto kOptionalAt = static_cast<uint32_t>(kOptionalHeaderAt);
constexpr auto kLeastPeHeader = static_cast<uint32_t>(kOptionalHeaderAt + kDirectoriesAt32);
// In both kinds of optional header the directory count comes right before the directories.
constexpr uint32_t kCountBeforeDirectories = 4;
static_assert(kDirectoriesAt32 - kDirectoryCountAt32 == kCountBeforeDirectories &&
                  kDirectoriesAt64 - kDirectoryCountAt64 == kCountBeforeDirectories,
              "the directory count precedes the directories");

inline uint32_t AtMost(uint32_t value, uint32_t limit) {
  return value < limit ? value : limit;
}

}  // namespace headers_internal

inline HeaderProblem FindPeHeader(const uint8_t* bytes, uint32_t size, uint32_t file_size,
                                  uint32_t* header_at) {
  if (size < kDosHeaderSize || endian::LoadLittleEndian16(bytes) != kDosMagic) {
    return HeaderProblem::kNoDosHeader;
  }
  const uint32_t at = endian::LoadLittleEndian32(bytes + kPeHeaderOffsetAt);
  if (at > file_size || file_size - at < headers_internal::kLeastPeHeader) {
    return HeaderProblem::kNoPeHeader;
  }
  *header_at = at;
  return HeaderProblem::kNone;
}

inline HeaderProblem ReadPeHeaders(const uint8_t* bytes, uint32_t size, uint32_t header_at,
                                   uint32_t file_size, PeHeaders* headers) {
  using endian::LoadLittleEndian16;
  using endian::LoadLittleEndian32;
  using headers_internal::AtMost;
  using headers_internal::kOptionalAt;
  if (size < headers_internal::kLeastPeHeader || LoadLittleEndian32(bytes) != kPeSignature) {
    return HeaderProblem::kNoPeHeader;
  }
  uint32_t directories_at = kDirectoriesAt32;  // from the optional header's start
  switch (LoadLittleEndian16(bytes + kOptionalAt)) {
    case kMagic32:
      break;
    case kMagic64:
      directories_at = kDirectoriesAt64;
      break;
    default:
      return HeaderProblem::kUnknownMagic;
  }
  // The optional header holds its own fixed fields, and it and the section table behind it lie
  // within the file. FindPeHeader left at least kLeastPeHeader bytes behind header_at, and
  // 16-bit sizes and counts cannot make the sum wrap.
  const uint32_t optional_size = LoadLittleEndian16(bytes + kOptionalHeaderSizeAt);
  const uint32_t section_count = LoadLittleEndian16(bytes + kSectionCountAt);
  if (optional_size < directories_at ||
      optional_size + section_count * static_cast<uint32_t>(kSectionHeaderSize) >
          file_size - header_at - kOptionalAt) {
    return HeaderProblem::kCutShort;
  }
  headers->header_at = header_at;
  headers->optional_at = header_at + kOptionalAt;
  headers->section_count = section_count;
  headers->section_table_at = headers->optional_at + optional_size;
  headers->directories_at = headers->optional_at + directories_at;
  // As many directories as the count says and both the optional header and the bytes hold.
  const uint32_t from = kOptionalAt + directories_at;
  const uint32_t in_bytes = size > from ? (size - from) / kDirectorySize : 0;
  const uint32_t count =
      LoadLittleEndian32(bytes + from - headers_internal::kCountBeforeDirectories);
  headers->directory_count =
      AtMost(AtMost(count, in_bytes), (optional_size - directories_at) / kDirectorySize);
  headers->directory_bytes = bytes + from;
  return HeaderProblem::kNone;
}

inline DataDirectory DirectoryOf(const PeHeaders& headers, uint32_t index) {
  if (index >= headers.directory_count) return DataDirectory{0, 0};
  const uint8_t* directory = headers.directory_bytes + index * kDirectorySize;
  return DataDirectory{endian::LoadLittleEndian32(directory),
                       endian::LoadLittleEndian32(directory + 4)};
}

}  // namespace pe
