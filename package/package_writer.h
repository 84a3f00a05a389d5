// The package writer: makes package files exactly as the launcher carries them, for the tool's
// pack command and for tests.
//
// The header carries the usual values, and each file gets a record (its name, attributes 0x20,
// both sizes, its DOS date and time) followed by its implode stream, which ends in the byte that
// completes its end-of-stream code. File contents are read in the encoder's blocks, which are
// coded on as many threads as asked for and joined in order, and the streams go straight to the
// target, so a package of any size is written in little memory; each record is written ahead
// of its stream and completed once the stream's size is known.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "implode/implode_encoder.h"
#include "package/package_format.h"

namespace package {

// The most threads a package is coded on.
constexpr uint32_t kMaxPackJobs = 64;

// How streams are compressed. Packages as the launcher carries them are binary with dictionary
// size code 6 (4,096 bytes).
struct PackOptions {
  uint32_t compression_type = kImplodeBinary;  // or kImplodeAscii
  uint32_t dictionary_bits = 6;                // 4, 5 or 6
  ImplodeLevel level = kImplodeFast;           // or kImplodeBest: smaller and slower
  // Threads that code the files' blocks, 1 to kMaxPackJobs; the package is the same for any
  // number. Memory grows by about 2 MiB for each: a coder's working memory (some 1.7 MiB) and
  // at most two blocks in flight (64 KiB of input with 4 KiB of history, and their bits).
  uint32_t jobs = 1;
  uint16_t header_value_20 = kUsualHeaderValue20;
  // Told how many more input bytes went into the encoder, as they do; for progress displays.
  std::function<void(uint64_t bytes)> progress;
};

// One file of a package.
struct PackageEntry {
  std::string name;           // a plain file name (IsStorableFileName)
  std::vector<uint8_t> data;  // the file's bytes, used when source_path is empty
  std::string source_path;    // when set, the bytes are streamed from this file
  uint32_t dos_date = 0;      // low 16 bits
  uint32_t dos_time = 0;      // low 16 bits
};

// Whether a name can be stored: what the unpacker will create (text::CheckFileName), with room for
// its NUL in the 128-byte field. 1 or 0.
int IsStorableFileName(const std::string& name);

// An entry for the file at path, streamed from it when the package is written, stored as name
// (the path's last component when name is empty) and dated with its last write in UTC. 1, or 0
// with a reason in error (if given) when the file's time cannot be read or the name is refused.
int EntryFromFile(const std::string& path, const std::string& name, PackageEntry* entry,
                  std::string* error);

// Writes a package of entries, in order, to target_path (replacing a file there). 1 on success;
// 0 with a reason in error (if given) when there are no entries or more than 32,767, a name is
// refused, the options are not valid, a source cannot be read, a write fails, or the package
// would outgrow 2 GiB. A target that was started is removed again on failure.
int WritePackageFile(const std::string& target_path, const std::vector<PackageEntry>& entries,
                     const PackOptions& options, std::string* error);

// The same package, built in memory.
int BuildPackage(const std::vector<PackageEntry>& entries, const PackOptions& options,
                 std::vector<uint8_t>* bytes, std::string* error);

}  // namespace package
