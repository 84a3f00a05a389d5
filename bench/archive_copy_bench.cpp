// Copying a 256 MiB member out of an installer with CopyMemberToFile (32 KiB blocks, one
// positioning per read through the shared archive file, and the member's CRC-32 checked as it
// goes) against the plainest copy of the same bytes: one read/write loop of 1 MiB blocks on the
// same files, checking nothing. The member copy should keep at least 0.9 of the plain loop's
// throughput.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "archive/archive_format.h"
#include "archive/archive_reader.h"
#include "archive/archive_writer.h"

namespace {

constexpr int64_t kMemberSize = int64_t{256} << 20;
constexpr size_t kPlainBlockSize = size_t{1} << 20;
constexpr uint32_t kImageSize = 4096;

struct BenchFiles {
  std::string dir;
  std::string installer;
  std::string member_path;
  std::string target;
};

const BenchFiles& Files();

// Half a gigabyte must not stay behind in the temporary directory.
void RemoveFiles() {
  const BenchFiles& files = Files();
  // Nothing is left to do at exit if a removal fails.
  (void)std::remove(files.installer.c_str());
  (void)std::remove(files.target.c_str());
  (void)rmdir(files.dir.c_str());
}

// Builds the installer once per process: a small image and one 256 MiB member, streamed from a
// scratch file by the writer.
const BenchFiles& Files() {
  // Never destroyed, so that the clean-up at exit still finds the names.
  static const BenchFiles* files = new BenchFiles([] {
    char pattern[] = "/tmp/archive-bench-XXXXXX";
    if (mkdtemp(pattern) == nullptr) std::abort();
    BenchFiles f;
    f.dir = pattern;
    f.installer = f.dir + "/setup.exe";
    f.member_path = f.dir + "/payload.bin";
    f.target = f.dir + "/copy.bin";
    std::string source = f.dir + "/source.bin";
    FILE* out = std::fopen(source.c_str(), "wb");
    if (out == nullptr) std::abort();
    std::vector<uint8_t> block(kPlainBlockSize);
    uint32_t state = 12345;
    for (int64_t written = 0; written < kMemberSize; written += kPlainBlockSize) {
      for (auto& byte : block) {
        state = state * 1664525u + 1013904223u;
        byte = static_cast<uint8_t>(state >> 24);
      }
      if (std::fwrite(block.data(), 1, block.size(), out) != block.size()) std::abort();
    }
    if (std::fclose(out) != 0) std::abort();
    archive::NewMember member;
    member.name = "payload.bin";
    member.source_path = source;
    std::string error;
    if (!archive::WriteInstallerFile(f.installer, std::vector<uint8_t>(kImageSize, 'M'), {member},
                                     &error)) {
      std::fprintf(stderr, "%s\n", error.c_str());
      std::abort();
    }
    (void)std::remove(source.c_str());
    if (std::atexit(RemoveFiles) != 0) std::abort();
    return f;
  }());
  return *files;
}

// Each round writes 256 MiB. Flushing what earlier rounds (and the set-up) left dirty, outside
// the timing, keeps one round from paying for another's writeback.
void SettleWriteback(benchmark::State& state) {
  state.PauseTiming();
  sync();
  state.ResumeTiming();
}

void BM_CopyMemberToFile(benchmark::State& state) {
  const BenchFiles& files = Files();
  std::vector<uint8_t> buffer(kCopyBlockSize);
  ArchiveReader reader;
  ResetArchiveReader(&reader);
  SelectArchiveSource(&reader, files.installer.c_str());
  for (auto _ : state) {
    SettleWriteback(state);
    int copied =
        CopyMemberToFile(&reader, files.member_path.c_str(), files.target.c_str(), buffer.data());
    if (copied != 1) state.SkipWithError("copy failed");
  }
  CloseArchive(&reader);
  state.SetBytesProcessed(state.iterations() * kMemberSize);
}

// The block size is the argument: 1 MiB is the reference; 32 KiB shows what the member copy's
// block size alone costs.
void BM_PlainReadWriteLoop(benchmark::State& state) {
  const BenchFiles& files = Files();
  std::vector<uint8_t> buffer(static_cast<size_t>(state.range(0)));
  for (auto _ : state) {
    SettleWriteback(state);
    int in = open(files.installer.c_str(), O_RDONLY);
    int out = open(files.target.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    if (in < 0 || out < 0 || lseek(in, kImageSize + archive::kEntryHeaderSize, SEEK_SET) < 0) {
      state.SkipWithError("cannot open");
      break;
    }
    int64_t left = kMemberSize;
    while (left > 0) {
      size_t want =
          left < static_cast<int64_t>(buffer.size()) ? static_cast<size_t>(left) : buffer.size();
      ssize_t got = read(in, buffer.data(), want);
      if (got <= 0 || write(out, buffer.data(), static_cast<size_t>(got)) != got) {
        state.SkipWithError("copy failed");
        break;
      }
      left -= got;
    }
    close(in);
    close(out);
  }
  state.SetBytesProcessed(state.iterations() * kMemberSize);
}

// Whole-file copies take long enough that a few rounds give a steady figure.
BENCHMARK(BM_CopyMemberToFile)->Unit(benchmark::kMillisecond)->MinTime(3.0)->UseRealTime();
BENCHMARK(BM_PlainReadWriteLoop)
    ->Arg(kPlainBlockSize)
    ->Arg(kCopyBlockSize)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(3.0)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
