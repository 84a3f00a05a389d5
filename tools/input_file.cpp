#include "tools/input_file.h"

#include <algorithm>
#include <cstring>

#include "tools/host.h"
#include "tools/tool_error.h"

namespace tool {
namespace {

// Big enough that reading costs little next to decoding, small enough to be no burden.
constexpr uint32_t kReadBlockSize = 256 * 1024;

}  // namespace

InputFile::InputFile(const std::string& path)
    : path_(path), handle_(platform::OpenForReading(path.c_str())) {
  if (handle_ == platform::kNoFile) {
    throw Failure(path + ": cannot open for reading: " + LastSystemErrorText());
  }
  int32_t end = platform::Seek(handle_, 0, platform::kFromEnd);
  if (end < 0) {
    platform::CloseFile(handle_);
    throw Failure(path + ": cannot find its size (larger than 2 GiB, or not a regular file)");
  }
  size_ = static_cast<uint32_t>(end);
}

InputFile::~InputFile() {
  platform::CloseFile(handle_);
}

bool InputFile::ReadAt(uint32_t offset, void* buffer, uint32_t count) {
  if (offset > size_ || size_ - offset < count) return false;
  if (platform::Seek(handle_, static_cast<int32_t>(offset), platform::kFromStart) !=
      static_cast<int32_t>(offset)) {
    return false;
  }
  return platform::ReadBytes(handle_, buffer, count) == static_cast<int32_t>(count);
}

RangeReader::RangeReader(InputFile& file, uint32_t offset, uint32_t size)
    : file_(file), offset_(offset), size_(size) {}

int32_t RangeReader::Read(uint8_t* buffer, uint32_t count) {
  if (block_used_ == block_filled_) {
    uint32_t wanted = std::min(remaining(), kReadBlockSize);
    if (wanted == 0) return 0;
    if (block_.empty()) block_.resize(kReadBlockSize);
    if (!file_.ReadAt(offset_ + consumed_, block_.data(), wanted)) return -1;
    block_used_ = 0;
    block_filled_ = wanted;
  }
  uint32_t n = std::min(count, block_filled_ - block_used_);
  std::memcpy(buffer, block_.data() + block_used_, n);
  block_used_ += n;
  consumed_ += n;
  return static_cast<int32_t>(n);
}

bool RangeReader::Skip(uint32_t count) {
  if (count > remaining()) return false;
  uint32_t buffered = block_filled_ - block_used_;
  if (count <= buffered) {
    block_used_ += count;
  } else {
    block_used_ = block_filled_;  // the next read positions the file past the skipped bytes
  }
  consumed_ += count;
  return true;
}

}  // namespace tool
