// "tovalin test" on a large installer against the implode decoder on its own.
//
// The installer carries one package with 256 MiB of implode streams: 16 MiB of real binary data
// (the files under /usr/bin and /usr/lib, in directory order) cut into four 4 MiB files, packed
// as the launcher carries them (binary, dictionary code 6), their four streams repeated file
// after file until the package holds 256 MiB of streams. DecodeStreams decodes the same streams
// the same number of times from memory into a sink that only counts, the least any test can
// cost. TovalinTest runs the test command as the tool does: the installer read from its file,
// the chain walked, the package's records read, every stream decoded into nothing. Both count
// compressed bytes. Goal: TovalinTest at no less than 0.8 of DecodeStreams' throughput.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "archive/archive_writer.h"
#include "implode/implode.h"
#include "package/package_format.h"
#include "package/package_writer.h"
#include "tools/command.h"
#include "tools/options.h"

namespace fs = std::filesystem;

namespace {

constexpr size_t kSourceSize = 16u << 20;
constexpr size_t kSourceFiles = 4;
constexpr size_t kSourceFileSize = kSourceSize / kSourceFiles;
constexpr uint64_t kPackedTarget = 256u << 20;

std::vector<uint8_t> SystemBinaries() {
  std::vector<uint8_t> data;
  data.reserve(kSourceSize);
  for (const char* root : {"/usr/bin", "/usr/lib"}) {
    std::error_code error;
    for (fs::recursive_directory_iterator
             it(root, fs::directory_options::skip_permission_denied, error),
         end;
         it != end && data.size() < kSourceSize; it.increment(error)) {
      if (error || !it->is_regular_file(error) || it->is_symlink(error)) continue;
      std::ifstream file(it->path(), std::ios::binary);
      std::vector<char> bytes((std::istreambuf_iterator<char>(file)),
                              std::istreambuf_iterator<char>());
      size_t take = std::min(bytes.size(), kSourceSize - data.size());
      data.insert(data.end(), bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(take));
    }
  }
  if (data.size() < kSourceSize) {
    std::fprintf(stderr, "only %zu bytes of system binaries found\n", data.size());
    std::abort();
  }
  return data;
}

struct Fixture {
  std::string folder;
  std::string installer;
  std::vector<std::vector<uint8_t>> streams;  // the distinct streams, in package order
  size_t repeats = 0;                         // how often the package holds each
  uint64_t packed = 0;                        // bytes of streams in the package
};

void Append(std::ofstream& out, const uint8_t* bytes, size_t size) {
  out.write(reinterpret_cast<const char*>(bytes), static_cast<std::streamsize>(size));
}

const Fixture& Shared() {
  static Fixture fixture = [] {
    Fixture f;
    std::vector<uint8_t> data = SystemBinaries();
    std::vector<package::PackageEntry> entries(kSourceFiles);
    std::vector<uint8_t> small;
    for (size_t i = 0; i < kSourceFiles; ++i) {
      entries[i].name = "file" + std::to_string(i) + ".bin";
      entries[i].data.assign(data.begin() + static_cast<std::ptrdiff_t>(i * kSourceFileSize),
                             data.begin() + static_cast<std::ptrdiff_t>((i + 1) * kSourceFileSize));
    }
    std::string error;
    if (!package::BuildPackage(entries, package::PackOptions(), &small, &error)) {
      std::fprintf(stderr, "%s\n", error.c_str());
      std::abort();
    }
    std::vector<package::FileRecord> records;
    size_t at = package::kHeaderSize;
    uint64_t round = 0;
    for (size_t i = 0; i < kSourceFiles; ++i) {
      package::FileRecord record;
      package::DecodeFileRecord(small.data() + at, &record);
      at += package::kRecordSize;
      f.streams.emplace_back(
          small.begin() + static_cast<std::ptrdiff_t>(at),
          small.begin() + static_cast<std::ptrdiff_t>(at) + record.compressed_size);
      at += record.compressed_size;
      round += record.compressed_size;
      records.push_back(record);
    }
    f.repeats = static_cast<size_t>((kPackedTarget + round - 1) / round);
    f.packed = round * f.repeats;

    char pattern[] = "/tmp/tovalin-bench-XXXXXX";
    if (mkdtemp(pattern) == nullptr) std::abort();
    f.folder = pattern;
    std::string package_path = f.folder + "/big.shr";
    {
      std::ofstream out(package_path, std::ios::binary);
      uint8_t header[package::kHeaderSize];
      package::EncodePackageHeader(
          package::UsualPackageHeader(static_cast<int16_t>(f.repeats * kSourceFiles)), header);
      Append(out, header, sizeof header);
      for (size_t r = 0; r < f.repeats; ++r) {
        for (size_t i = 0; i < kSourceFiles; ++i) {
          package::FileRecord record = records[i];
          std::snprintf(record.name, sizeof record.name, "file%zu.bin", r * kSourceFiles + i);
          uint8_t bytes[package::kRecordSize];
          package::EncodeFileRecord(record, bytes);
          Append(out, bytes, sizeof bytes);
          Append(out, f.streams[i].data(), f.streams[i].size());
        }
      }
    }
    archive::NewMember member;
    member.name = "big.shr";
    member.source_path = package_path;
    member.dos_date = 0x5A9F;
    f.installer = f.folder + "/setup.exe";
    if (!archive::WriteInstallerFile(f.installer, std::vector<uint8_t>(4096, 0x90), {member},
                                     &error)) {
      std::fprintf(stderr, "%s\n", error.c_str());
      std::abort();
    }
    fs::remove(package_path);
    // The fixture is gone by the time atexit handlers run; the folder's name is kept apart.
    static char folder_to_remove[sizeof pattern];
    std::memcpy(folder_to_remove, pattern, sizeof pattern);
    std::atexit([] { fs::remove_all(folder_to_remove); });
    return f;
  }();
  return fixture;
}

struct MemoryStream {
  const uint8_t* input;
  size_t left;
  uint64_t decoded;
};

uint32_t ReadFromMemory(uint8_t* buffer, uint32_t* count, void* user_param) {
  auto* stream = static_cast<MemoryStream*>(user_param);
  size_t n = stream->left < *count ? stream->left : *count;
  std::memcpy(buffer, stream->input, n);
  stream->input += n;
  stream->left -= n;
  return static_cast<uint32_t>(n);
}

void CountOnly(uint8_t* /*buffer*/, uint32_t* count, void* user_param) {
  static_cast<MemoryStream*>(user_param)->decoded += *count;
}

void DecodeStreams(benchmark::State& state) {
  const Fixture& f = Shared();
  auto* work = static_cast<ImplodeWorkArea*>(std::calloc(1, sizeof(ImplodeWorkArea)));
  for (auto _ : state) {
    uint64_t decoded = 0;
    for (size_t r = 0; r < f.repeats; ++r) {
      for (const auto& bytes : f.streams) {
        MemoryStream stream = {bytes.data(), bytes.size(), 0};
        if (DecodeImplodeStream(ReadFromMemory, CountOnly, work, &stream) != IMPLODE_OK) {
          state.SkipWithError("decode failed");
        }
        decoded += stream.decoded;
      }
    }
    benchmark::DoNotOptimize(decoded);
  }
  std::free(work);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * f.packed));
}

void TovalinTest(benchmark::State& state) {
  const Fixture& f = Shared();
  tool::ParsedCommandLine command_line =
      tool::ParseCommandLine({"--quiet", f.installer}, tool::kTestCommand.options);
  for (auto _ : state) {
    if (tool::kTestCommand.run(command_line) != 0) state.SkipWithError("test found a problem");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * f.packed));
}

BENCHMARK(DecodeStreams)->Unit(benchmark::kMillisecond)->MinTime(5.0);
BENCHMARK(TovalinTest)->Unit(benchmark::kMillisecond)->MinTime(5.0);

}  // namespace

BENCHMARK_MAIN();
