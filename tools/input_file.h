// Reading the file under inspection: an installer, a package, a stub.
//
// Every offset in an installer is a 32-bit value and the platform positions files with signed
// 32-bit offsets, so a file the tool reads must stay below 2 GiB; a larger one is refused when
// it is opened rather than misread later.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/files.h"

namespace tool {

class InputFile {
 public:
  // Opens path for reading; throws Failure naming the file when it cannot be opened or is too
  // large.
  explicit InputFile(const std::string& path);
  ~InputFile();
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  const std::string& path() const { return path_; }
  uint32_t size() const { return size_; }
  platform::FileHandle handle() const { return handle_; }

  // Reads exactly count bytes at offset; false when they are not all there or the read fails.
  bool ReadAt(uint32_t offset, void* buffer, uint32_t count);

 private:
  std::string path_;
  platform::FileHandle handle_;
  uint32_t size_ = 0;
};

// Sequential reads of one range of an input file, in large blocks. Each refill positions the file
// itself, so several readers of one file (and the chain walker) can take turns.
class RangeReader {
 public:
  RangeReader(InputFile& file, uint32_t offset, uint32_t size);

  // Copies up to count bytes of the range into buffer; 0 at the end of the range, -1 when the
  // file cannot be read.
  int32_t Read(uint8_t* buffer, uint32_t count);

  // Steps over count bytes of the range; false when fewer are left.
  bool Skip(uint32_t count);

  // Bytes of the range not yet handed out.
  uint32_t remaining() const { return size_ - consumed_; }

 private:
  InputFile& file_;
  uint32_t offset_;
  uint32_t size_;
  uint32_t consumed_ = 0;  // bytes of the range handed out
  std::vector<uint8_t> block_;
  uint32_t block_used_ = 0;
  uint32_t block_filled_ = 0;
};

}  // namespace tool
