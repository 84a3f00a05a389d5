// The package files inside an installer: their header and file records, and decoding each file's
// implode stream to wherever the command wants the bytes (a file, or nowhere at all).
//
// A package is a 58-byte header whose signed 16-bit file count sits at offset 16, then for each
// file a 168-byte record (name, attributes, compressed size, DOS date and time, decoded size)
// directly followed by that many bytes of implode stream. Nothing follows the last stream.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "tools/input_file.h"
#include "tools/installer_view.h"
#include "tools/problem.h"

struct ImplodeWorkArea;

namespace tool {

class ProgressBar;

struct PackageFile {
  std::string name;  // the name field up to its NUL; the whole field without one
  bool name_terminated;
  uint32_t attributes;
  uint32_t compressed_size;
  uint32_t dos_date;
  uint32_t dos_time;
  uint32_t uncompressed_size;  // 0 when the packer did not record it
  uint32_t stream_offset;      // absolute, in the file that holds the package
};

struct PackageView {
  int32_t file_count = 0;          // as the header says
  std::vector<PackageFile> files;  // the records that lie whole, with their streams, inside
  std::vector<Problem> problems;   // what does not fit the format
};

// Reads the header and every record of the package held in size bytes at offset of file, stepping
// over the streams. Never reads outside that range.
PackageView ReadPackage(InputFile& file, uint32_t offset, uint32_t size);

// Whether a member is a package: its name ends in ".shr" (any case), or its bytes make a whole
// package without a single problem. The name makes the tool look inside even a damaged package;
// the content makes it find packages stored under other names.
bool IsPackageMember(const MemberInfo& member, const PackageView& view);

struct DecodeOutcome {
  int32_t result;         // an IMPLODE_ result code
  bool read_failed;       // the installer could not be read
  uint64_t decoded_size;  // bytes handed to the sink
  uint32_t unread;        // compressed bytes the decoder never asked for
  uint8_t type_byte;      // the stream's first two bytes, when there were any
  uint8_t dictionary_byte;
};

// Called with each block of decoded bytes.
using ByteSink = std::function<void(const uint8_t* bytes, uint32_t count)>;

// Decodes one file's stream, reading exactly its compressed bytes and no further, in the caller's
// work area. progress, when given, advances by the compressed bytes read.
DecodeOutcome DecodePackageFile(InputFile& file, const PackageFile& entry, ImplodeWorkArea* work,
                                const ByteSink& sink, ProgressBar* progress);

// What went wrong with a decode; nothing when the file decoded whole to the size its record gives
// (a recorded size of 0 means "not recorded" and matches any size).
std::optional<Problem> DecodeProblem(const DecodeOutcome& outcome, const PackageFile& entry);

}  // namespace tool
