// Unpacking a package against decoding its streams to memory.
//
// The package holds 64 MiB of real binary data: the files under /usr/bin and /usr/lib, read in
// directory order and cut into 16 files of 4 MiB, packed as the launcher carries them (binary,
// dictionary code 6). DecodeToMemory decodes each stream from memory into a preallocated buffer,
// the least any unpacking can cost. UnpackPackage is the real thing: the package read through a
// member stream, every file created, written block by block from the decoder's window, dated and
// listed in the cleanup script. Goal: UnpackPackage within 115 % of DecodeToMemory.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "archive/archive_reader.h"
#include "implode/implode.h"
#include "package/package_writer.h"
#include "package/unpacker.h"
#include "platform/files.h"
#include "platform/text_file.h"

namespace fs = std::filesystem;

namespace {

constexpr size_t kTotalSize = 64u << 20;
constexpr size_t kFileCount = 16;
constexpr size_t kFileSize = kTotalSize / kFileCount;

std::vector<uint8_t> SystemBinaries() {
  std::vector<uint8_t> data;
  data.reserve(kTotalSize);
  for (const char* root : {"/usr/bin", "/usr/lib"}) {
    std::error_code error;
    for (fs::recursive_directory_iterator
             it(root, fs::directory_options::skip_permission_denied, error),
         end;
         it != end && data.size() < kTotalSize; it.increment(error)) {
      if (error || !it->is_regular_file(error) || it->is_symlink(error)) continue;
      std::ifstream file(it->path(), std::ios::binary);
      std::vector<char> bytes((std::istreambuf_iterator<char>(file)),
                              std::istreambuf_iterator<char>());
      size_t take = std::min(bytes.size(), kTotalSize - data.size());
      data.insert(data.end(), bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(take));
    }
  }
  if (data.size() < kTotalSize) {
    std::fprintf(stderr, "only %zu bytes of system binaries found\n", data.size());
    std::abort();
  }
  return data;
}

char g_bench_dir[] = "/tmp/package-bench-XXXXXX";

struct Fixture {
  std::string work_dir;  // with a trailing separator
  std::vector<uint8_t> package;
  std::vector<std::pair<size_t, uint32_t>> streams;  // offset in package, compressed size
};

const Fixture& Shared() {
  static Fixture fixture = [] {
    Fixture f;
    std::vector<uint8_t> data = SystemBinaries();
    std::vector<package::PackageEntry> entries(kFileCount);
    for (size_t i = 0; i < kFileCount; ++i) {
      entries[i].name = "file" + std::to_string(i) + ".bin";
      entries[i].data.assign(data.begin() + static_cast<std::ptrdiff_t>(i * kFileSize),
                             data.begin() + static_cast<std::ptrdiff_t>((i + 1) * kFileSize));
      entries[i].dos_date = 0x5A9F;
      entries[i].dos_time = 0x6000;
    }
    std::string error;
    if (!package::BuildPackage(entries, package::PackOptions(), &f.package, &error)) {
      std::fprintf(stderr, "%s\n", error.c_str());
      std::abort();
    }
    size_t at = package::kHeaderSize;
    for (size_t i = 0; i < kFileCount; ++i) {
      package::FileRecord record;
      package::DecodeFileRecord(f.package.data() + at, &record);
      f.streams.emplace_back(at + package::kRecordSize, record.compressed_size);
      at += package::kRecordSize + record.compressed_size;
    }
    if (mkdtemp(g_bench_dir) == nullptr) std::abort();
    f.work_dir = std::string(g_bench_dir) + "/";
    std::ofstream(f.work_dir + "pkg.shr", std::ios::binary)
        .write(reinterpret_cast<const char*>(f.package.data()),
               static_cast<std::streamsize>(f.package.size()));
    // Plain text, not the fixture: the fixture is gone by the time atexit handlers run.
    std::atexit([] {
      std::error_code ignored;
      fs::remove_all(g_bench_dir, ignored);
    });
    return f;
  }();
  return fixture;
}

struct MemoryDecode {
  const uint8_t* input;
  size_t left;
  uint8_t* output;
};

uint32_t ReadFromMemory(uint8_t* buffer, uint32_t* count, void* user_param) {
  auto* decode = static_cast<MemoryDecode*>(user_param);
  size_t n = decode->left < *count ? decode->left : *count;
  std::memcpy(buffer, decode->input, n);
  decode->input += n;
  decode->left -= n;
  return static_cast<uint32_t>(n);
}

void WriteToMemory(uint8_t* buffer, uint32_t* count, void* user_param) {
  auto* decode = static_cast<MemoryDecode*>(user_param);
  std::memcpy(decode->output, buffer, *count);
  decode->output += *count;
}

void DecodeToMemory(benchmark::State& state) {
  const Fixture& f = Shared();
  std::vector<uint8_t> output(kTotalSize + kImplodeOutputBlockSize);
  auto* work = static_cast<ImplodeWorkArea*>(std::calloc(1, sizeof(ImplodeWorkArea)));
  for (auto _ : state) {
    MemoryDecode decode = {nullptr, 0, output.data()};
    for (const auto& stream : f.streams) {
      decode.input = f.package.data() + stream.first;
      decode.left = stream.second;
      if (DecodeImplodeStream(ReadFromMemory, WriteToMemory, work, &decode) != IMPLODE_OK) {
        state.SkipWithError("decode failed");
      }
    }
    benchmark::DoNotOptimize(output.data());
  }
  std::free(work);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kTotalSize));
}

// Between the two: the streams decoded from memory, the output written to files with the same
// 4,096-byte writes the unpacker makes. What UnpackPackage adds to this is the cost of reading
// the package and the per-file work; what this adds to DecodeToMemory is the file system's.
platform::FileHandle g_output = platform::kNoFile;

void WriteToFile(uint8_t* buffer, uint32_t* count, void* /*user_param*/) {
  platform::WriteBytes(g_output, buffer, *count);
}

void DecodeToFiles(benchmark::State& state) {
  const Fixture& f = Shared();
  auto* work = static_cast<ImplodeWorkArea*>(std::calloc(1, sizeof(ImplodeWorkArea)));
  for (auto _ : state) {
    state.PauseTiming();
    for (size_t i = 0; i < kFileCount; ++i) {
      std::remove((f.work_dir + "file" + std::to_string(i) + ".bin").c_str());
    }
    state.ResumeTiming();
    for (size_t i = 0; i < kFileCount; ++i) {
      std::string path = f.work_dir + "file" + std::to_string(i) + ".bin";
      g_output = platform::CreateForReadWrite(path.c_str());
      MemoryDecode decode = {f.package.data() + f.streams[i].first, f.streams[i].second, nullptr};
      if (DecodeImplodeStream(ReadFromMemory, WriteToFile, work, &decode) != IMPLODE_OK) {
        state.SkipWithError("decode failed");
      }
      platform::CloseFile(g_output);
    }
  }
  std::free(work);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kTotalSize));
}

// What the launcher does for each whole file and each block: a cleanup line, a step of the bar.
void ListInScript(void* script, const char* path) {
  text::AppendLine(static_cast<std::string*>(script)->c_str(), ("del " + std::string(path)).c_str(),
                   true);
}

void CountBlock(void*) {
  static volatile int blocks;
  blocks = blocks + 1;
}

void UnpackPackage(benchmark::State& state) {
  const Fixture& f = Shared();
  std::string script = f.work_dir + "~0000.bat";
  UnpackTarget target = {};
  target.folder = f.work_dir.c_str();
  target.kept_paths[0] = script.c_str();
  target.file_written = ListInScript;
  target.block_read = CountBlock;
  target.context = &script;
  for (auto _ : state) {
    state.PauseTiming();
    // A work directory as each run finds it: the package and an empty cleanup script.
    for (size_t i = 0; i < kFileCount; ++i) {
      std::remove((f.work_dir + "file" + std::to_string(i) + ".bin").c_str());
    }
    std::ofstream emptied(script, std::ios::trunc);
    state.ResumeTiming();
    if (UnpackPackageFile(&target, nullptr, "pkg.shr") != 1) state.SkipWithError("unpack failed");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kTotalSize));
}

BENCHMARK(DecodeToMemory)->Unit(benchmark::kMillisecond)->MinTime(3.0);
BENCHMARK(DecodeToFiles)->Unit(benchmark::kMillisecond)->MinTime(3.0);
BENCHMARK(UnpackPackage)->Unit(benchmark::kMillisecond)->MinTime(3.0);

}  // namespace

BENCHMARK_MAIN();
