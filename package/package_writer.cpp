#include "package/package_writer.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

#include "base/file_name.h"
#include "platform/files.h"

namespace package {
namespace {

// Member streams and file positions are signed 32-bit: no package may reach 2 GiB.
constexpr uint64_t kMaxPackageSize = 0x7FFFFFFF;
constexpr size_t kBlockSize = kImplodeEncoderBlockSize;

// Where a package goes: an open file or a byte vector.
struct Target {
  platform::FileHandle file = platform::kNoFile;
  std::vector<uint8_t>* bytes = nullptr;
  uint64_t size = 0;
  bool write_failed = false;
  bool too_large = false;
};

void Put(Target* target, const uint8_t* data, size_t count) {
  if (target->write_failed || target->too_large) return;
  if (target->size + count > kMaxPackageSize) {
    target->too_large = true;
    return;
  }
  if (target->bytes != nullptr) {
    target->bytes->insert(target->bytes->end(), data, data + count);
  } else if (platform::WriteBytes(target->file, data, static_cast<uint32_t>(count)) !=
             static_cast<int32_t>(count)) {
    target->write_failed = true;
    return;
  }
  target->size += count;
}

// Writes a record over the placeholder written at offset, and goes back to the end.
void Overwrite(Target* target, uint64_t offset, const uint8_t* data, size_t count) {
  if (target->write_failed || target->too_large) return;
  if (target->bytes != nullptr) {
    std::memcpy(target->bytes->data() + offset, data, count);
    return;
  }
  if (platform::Seek(target->file, static_cast<int32_t>(offset), platform::kFromStart) < 0 ||
      platform::WriteBytes(target->file, data, static_cast<uint32_t>(count)) !=
          static_cast<int32_t>(count) ||
      platform::Seek(target->file, 0, platform::kFromEnd) < 0) {
    target->write_failed = true;
  }
}

void SetError(std::string* error, const std::string& reason) {
  if (error != nullptr) *error = reason;
}

int CheckRequest(const std::vector<PackageEntry>& entries, const PackOptions& options,
                 std::string* error) {
  if (entries.empty() || entries.size() > static_cast<size_t>(kMaxFileCount)) {
    SetError(error, "a package holds 1 to 32767 files");
    return 0;
  }
  if (options.compression_type != kImplodeBinary && options.compression_type != kImplodeAscii) {
    SetError(error, "compression type must be binary or ASCII");
    return 0;
  }
  if (options.dictionary_bits < 4 || options.dictionary_bits > 6) {
    SetError(error, "dictionary size code must be 4, 5 or 6");
    return 0;
  }
  if (options.level != kImplodeFast && options.level != kImplodeBest) {
    SetError(error, "the level must be fast or best");
    return 0;
  }
  if (options.jobs < 1 || options.jobs > kMaxPackJobs) {
    SetError(error, "the number of threads must be 1 to " + std::to_string(kMaxPackJobs));
    return 0;
  }
  for (const PackageEntry& entry : entries) {
    if (!IsStorableFileName(entry.name)) {
      SetError(error, "not a plain file name: \"" + entry.name + "\"");
      return 0;
    }
  }
  return 1;
}

// --- Blocks --------------------------------------------------------------------------------------
//
// Each file's stream is cut into the encoder's blocks. A block is coded from its own bytes and
// the dictionary's worth of the file before it, so blocks are coded apart, on a pool of threads,
// and their bits joined in order: the package is the same for any number of threads. It is
// written in file order as the blocks come back; reading waits while two blocks per thread are
// in flight, which bounds memory (see PackOptions).

// One block of one file: what to code, and once coded, its bits.
struct BlockJob {
  size_t entry = 0;            // index in the entries
  bool first = false;          // the first block of its file's stream
  bool last = false;           // the last one
  uint64_t entry_size = 0;     // for the last block: the file's size
  std::vector<uint8_t> input;  // the history, then the block
  size_t history = 0;
  ImplodeBits bits;
  bool done = false;  // under BlockCoders' lock while threads code
};

void CodeBlock(const ImplodeCoding& coding, ImplodeBlockScratch* scratch, BlockJob* job) {
  const size_t size = job->input.size() - job->history;
  if (size > 0) {
    EncodeImplodeBlock(coding, scratch, job->input.data(), job->history, size, &job->bits);
  }
}

// Threads that code blocks as they are handed over. With no threads, a block is coded on the
// caller's thread as it is handed over.
class BlockCoders {
 public:
  BlockCoders(const ImplodeCoding& coding, uint32_t threads) : coding_(coding) {
    for (uint32_t i = 0; i < threads; ++i)
      threads_.emplace_back([this] { Work(); });
  }

  // Codes what was handed over, then ends the threads.
  ~BlockCoders() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stopping_ = true;
    }
    work_ready_.notify_all();
    for (std::thread& thread : threads_)
      thread.join();
  }

  BlockCoders(const BlockCoders&) = delete;
  BlockCoders& operator=(const BlockCoders&) = delete;

  void Submit(BlockJob* job) {
    if (threads_.empty()) {
      CodeBlock(coding_, &own_scratch_, job);
      job->done = true;
      return;
    }
    {
      std::lock_guard<std::mutex> lock(mutex_);
      waiting_.push_back(job);
    }
    work_ready_.notify_one();
  }

  void WaitFor(const BlockJob& job) {
    std::unique_lock<std::mutex> lock(mutex_);
    work_done_.wait(lock, [&job] { return job.done; });
  }

 private:
  void Work() {
    ImplodeBlockScratch scratch;
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      work_ready_.wait(lock, [this] { return stopping_ || !waiting_.empty(); });
      if (waiting_.empty()) return;  // stopping, and nothing is left
      BlockJob* job = waiting_.front();
      waiting_.pop_front();
      lock.unlock();
      CodeBlock(coding_, &scratch, job);
      lock.lock();
      job->done = true;
      work_done_.notify_all();
    }
  }

  const ImplodeCoding& coding_;
  std::mutex mutex_;
  std::condition_variable work_ready_;
  std::condition_variable work_done_;
  std::deque<BlockJob*> waiting_;
  bool stopping_ = false;
  ImplodeBlockScratch own_scratch_;
  std::vector<std::thread> threads_;  // last, so that the threads start once all else is ready
};

// Where a file's bytes come from: its data in memory, or its source file.
class EntrySource {
 public:
  explicit EntrySource(const PackageEntry& entry) : entry_(entry) {
    if (!entry.source_path.empty()) file_ = platform::OpenForReading(entry.source_path.c_str());
  }
  ~EntrySource() {
    if (file_ != platform::kNoFile) platform::CloseFile(file_);
  }
  EntrySource(const EntrySource&) = delete;
  EntrySource& operator=(const EntrySource&) = delete;

  bool opened() const { return entry_.source_path.empty() || file_ != platform::kNoFile; }

  // Appends up to `size` bytes to `to`, fewer only at the end. Returns how many, or -1 when the
  // file cannot be read.
  int64_t Read(size_t size, std::vector<uint8_t>* to) {
    if (entry_.source_path.empty()) {
      const size_t take = std::min(size, entry_.data.size() - offset_);
      const auto from = entry_.data.begin() + static_cast<ptrdiff_t>(offset_);
      to->insert(to->end(), from, from + static_cast<ptrdiff_t>(take));
      offset_ += take;
      return static_cast<int64_t>(take);
    }
    const size_t start = to->size();
    to->resize(start + size);
    size_t got = 0;
    while (got < size) {
      const int32_t n =
          platform::ReadBytes(file_, to->data() + start + got, static_cast<uint32_t>(size - got));
      if (n < 0) return -1;
      if (n == 0) break;
      got += static_cast<size_t>(n);
    }
    to->resize(start + got);
    return static_cast<int64_t>(got);
  }

 private:
  const PackageEntry& entry_;
  platform::FileHandle file_ = platform::kNoFile;
  size_t offset_ = 0;
};

// Writes the records and streams as the coded blocks come back, in order. Each record is written
// ahead of its stream and completed once the stream's size is known.
class PackageAssembler {
 public:
  PackageAssembler(const std::vector<PackageEntry>& entries, const ImplodeCoding& coding,
                   Target* target)
      : entries_(entries), coding_(coding), target_(target) {}

  void Take(const BlockJob& job) {
    if (job.first) StartEntry(entries_[job.entry]);
    AppendImplodeBits(&stream_, job.bits);
    if (job.last) PutImplodeEnd(&stream_, job.entry_size);
    if (!stream_.bytes.empty()) Put(target_, stream_.bytes.data(), stream_.bytes.size());
    stream_.bytes.clear();
    if (job.last) EndEntry(job.entry_size);
  }

 private:
  void StartEntry(const PackageEntry& entry) {
    record_ = FileRecord();
    std::memcpy(record_.name, entry.name.c_str(), entry.name.size() + 1);
    record_.attributes = kRecordAttributes;
    record_.dos_date = entry.dos_date & 0xFFFF;
    record_.dos_time = entry.dos_time & 0xFFFF;
    uint8_t record_bytes[kRecordSize];
    EncodeFileRecord(record_, record_bytes);
    record_offset_ = target_->size;
    Put(target_, record_bytes, kRecordSize);
    stream_start_ = target_->size;
    stream_ = ImplodeBits();
    PutImplodeHeader(coding_, &stream_);
  }

  void EndEntry(uint64_t size) {
    record_.compressed_size = static_cast<uint32_t>(target_->size - stream_start_);
    record_.uncompressed_size = static_cast<uint32_t>(size);
    uint8_t record_bytes[kRecordSize];
    EncodeFileRecord(record_, record_bytes);
    Overwrite(target_, record_offset_, record_bytes, kRecordSize);
  }

  const std::vector<PackageEntry>& entries_;
  const ImplodeCoding& coding_;
  Target* target_;
  FileRecord record_ = {};
  uint64_t record_offset_ = 0;
  uint64_t stream_start_ = 0;
  ImplodeBits stream_;
};

// Reads every file in order, cuts it into blocks as the encoder does and hands them to the
// coders, while the assembler takes them back in the same order. 0 with a reason in error when a
// source cannot be read or is larger than a record can say.
int PutEntries(const std::vector<PackageEntry>& entries, const PackOptions& options,
               const ImplodeCoding& coding, Target* target, std::string* error) {
  PackageAssembler assembler(entries, coding, target);
  std::deque<std::unique_ptr<BlockJob>> in_flight;
  // Declared after the jobs, so that its threads end before the jobs go.
  BlockCoders coders(coding, options.jobs > 1 ? options.jobs : 0);
  const size_t in_flight_limit = 2 * static_cast<size_t>(options.jobs);
  auto take_oldest = [&] {
    coders.WaitFor(*in_flight.front());
    assembler.Take(*in_flight.front());
    in_flight.pop_front();
  };
  auto submit = [&](std::unique_ptr<BlockJob> job) {
    while (in_flight.size() >= in_flight_limit)
      take_oldest();
    coders.Submit(job.get());
    in_flight.push_back(std::move(job));
  };
  std::vector<uint8_t> chunk;
  for (size_t index = 0; index < entries.size(); ++index) {
    const PackageEntry& entry = entries[index];
    EntrySource source(entry);
    if (!source.opened()) {
      SetError(error, "cannot open " + entry.source_path);
      return 0;
    }
    // A block is handed on once the next one comes or the file ends, so that the last one is
    // known to be last.
    std::unique_ptr<BlockJob> held;
    bool first = true;
    const auto new_job = [&] {
      auto job = std::make_unique<BlockJob>();
      job->entry = index;
      job->first = first;
      first = false;
      return job;
    };
    const ImplodeBlockTaker take = [&](const uint8_t* window, size_t history, size_t size) {
      if (held) submit(std::move(held));
      held = new_job();
      held->input.assign(window, window + history + size);
      held->history = history;
    };
    ImplodeBlockCutter cutter;
    cutter.dictionary_size = coding.dictionary_size;
    for (size_t got = kBlockSize; got == kBlockSize;) {
      chunk.clear();
      const int64_t read = source.Read(kBlockSize, &chunk);
      if (read < 0) {
        SetError(error, "cannot read " + entry.source_path);
        return 0;
      }
      got = static_cast<size_t>(read);
      if (cutter.input_total + got > UINT32_MAX) {
        SetError(error, entry.name + " is larger than 4 GiB");
        return 0;
      }
      if (options.progress && got > 0) options.progress(got);
      CutImplodeBlocks(&cutter, chunk.data(), got, take);
    }
    CutLastImplodeBlock(&cutter, take);
    if (!held) held = new_job();  // an empty file: a stream of no blocks
    held->last = true;
    held->entry_size = cutter.input_total;
    submit(std::move(held));
    if (target->write_failed || target->too_large) break;
  }
  while (!in_flight.empty())
    take_oldest();
  return 1;
}

int PutPackage(const std::vector<PackageEntry>& entries, const PackOptions& options, Target* target,
               std::string* error) {
  ImplodeCoding coding;
  SetUpImplodeCoding(&coding, options.compression_type, options.dictionary_bits, options.level);
  PackageHeader header = UsualPackageHeader(static_cast<int16_t>(entries.size()));
  header.value_20 = options.header_value_20;
  uint8_t header_bytes[kHeaderSize];
  EncodePackageHeader(header, header_bytes);
  Put(target, header_bytes, kHeaderSize);
  if (!PutEntries(entries, options, coding, target, error)) return 0;
  if (target->too_large) {
    SetError(error, "the package would reach 2 GiB");
    return 0;
  }
  if (target->write_failed) {
    SetError(error, "cannot write the package");
    return 0;
  }
  return 1;
}

// The last component of a path, after its last "/" or "\".
std::string LastComponent(const std::string& path) {
  size_t cut = path.find_last_of("/\\");
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

}  // namespace

int IsStorableFileName(const std::string& name) {
  if (name.size() > kMaxNameLength || name.find('\0') != std::string::npos) return 0;
  return text::CheckFileName(name.c_str(), name.size() + 1) == text::FILE_NAME_OK ? 1 : 0;
}

int EntryFromFile(const std::string& path, const std::string& name, PackageEntry* entry,
                  std::string* error) {
  PackageEntry made;
  made.name = name.empty() ? LastComponent(path) : name;
  made.source_path = path;
  if (!IsStorableFileName(made.name)) {
    SetError(error, "not a plain file name: \"" + made.name + "\"");
    return 0;
  }
  if (!platform::GetLastWriteDosDateTime(path.c_str(), &made.dos_date, &made.dos_time)) {
    SetError(error, "cannot read the time of " + path);
    return 0;
  }
  *entry = made;
  return 1;
}

int WritePackageFile(const std::string& target_path, const std::vector<PackageEntry>& entries,
                     const PackOptions& options, std::string* error) {
  if (!CheckRequest(entries, options, error)) return 0;
  Target target;
  target.file = platform::CreateOrTruncate(target_path.c_str());
  if (target.file == platform::kNoFile) {
    SetError(error, "cannot create " + target_path);
    return 0;
  }
  int written = PutPackage(entries, options, &target, error);
  platform::CloseFile(target.file);
  if (!written) platform::RemoveFile(target_path.c_str());
  return written;
}

int BuildPackage(const std::vector<PackageEntry>& entries, const PackOptions& options,
                 std::vector<uint8_t>* bytes, std::string* error) {
  if (!CheckRequest(entries, options, error)) return 0;
  bytes->clear();
  Target target;
  target.bytes = bytes;
  return PutPackage(entries, options, &target, error);
}

}  // namespace package
