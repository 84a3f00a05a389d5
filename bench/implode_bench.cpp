// Implode codec throughput against Debian's StormLib on ~4 MiB of real text (the copyright
// files of the installed packages) and ~4 MiB of real machine code (programs in /usr/bin).
// Decoding: MB/s of output, both decoders on the same streams. Encoding: MB/s of input and the
// compressed size (counter "ratio", compressed / original) at a 4 KiB dictionary, ours at both
// levels.
#include <StormLib.h>
#include <benchmark/benchmark.h>
#include <dirent.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/memory_decode.h"
#include "implode/implode.h"
#include "implode/implode_encoder.h"

namespace {

using Bytes = std::vector<uint8_t>;

constexpr size_t kSampleSize = 4u << 20;
constexpr uint32_t kDictionaryBits = 6;

std::vector<std::string> SortedEntries(const std::string& folder) {
  std::vector<std::string> names;
  if (DIR* dir = opendir(folder.c_str())) {
    while (const dirent* entry = readdir(dir)) {
      if (entry->d_name[0] != '.') names.push_back(folder + "/" + entry->d_name);
    }
    closedir(dir);
  }
  std::sort(names.begin(), names.end());
  return names;
}

// Appends regular (not linked) files until the sample is full.
void AppendFiles(const std::vector<std::string>& paths, Bytes* sample) {
  for (const std::string& path : paths) {
    struct stat info;
    if (sample->size() >= kSampleSize) break;
    if (lstat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) continue;
    FILE* file = fopen(path.c_str(), "rb");
    if (file == nullptr) continue;
    uint8_t buffer[65536];
    size_t got;
    while ((got = fread(buffer, 1, sizeof buffer, file)) > 0) {
      sample->insert(sample->end(), buffer, buffer + got);
    }
    fclose(file);
  }
  if (sample->size() < kSampleSize) {
    fprintf(stderr, "not enough sample data\n");
    abort();
  }
  sample->resize(kSampleSize);
}

const Bytes& TextSample() {
  static const Bytes sample = [] {
    std::vector<std::string> paths = SortedEntries("/usr/share/common-licenses");
    for (const std::string& package : SortedEntries("/usr/share/doc")) {
      paths.push_back(package + "/copyright");
    }
    Bytes text;
    AppendFiles(paths, &text);
    return text;
  }();
  return sample;
}

const Bytes& BinarySample() {
  static const Bytes sample = [] {
    Bytes binary;
    AppendFiles(SortedEntries("/usr/bin"), &binary);
    return binary;
  }();
  return sample;
}

const Bytes& Sample(int which) {
  return which == 0 ? TextSample() : BinarySample();
}

// Our stream of a sample in a mode, made once at the best level, as the decoders were always
// measured on.
const Bytes& OurStream(int which, uint32_t type) {
  static Bytes streams[2][2];
  Bytes& stream = streams[which][type];
  if (stream.empty())
    stream = ImplodeBytes(Sample(which).data(), kSampleSize, type, kDictionaryBits, kImplodeBest);
  return stream;
}

size_t DecodeOurs(const Bytes& stream, ImplodeWorkArea* work, uint8_t* output) {
  const size_t written = bench::DecodeFromMemory(stream, work, output);
  if (written == 0) abort();
  return written;
}

size_t DecodeStormLib(const Bytes& stream, uint8_t* output) {
  int size = static_cast<int>(kSampleSize);
  Bytes input = stream;  // its API takes a non-const buffer
  if (!SCompExplode(output, &size, input.data(), static_cast<int>(input.size()))) abort();
  return static_cast<size_t>(size);
}

// args: sample (0 text, 1 binary), type (0 binary, 1 ASCII)
void BM_DecodeOurs(benchmark::State& state) {
  const Bytes& sample = Sample(static_cast<int>(state.range(0)));
  const Bytes& stream =
      OurStream(static_cast<int>(state.range(0)), static_cast<uint32_t>(state.range(1)));
  Bytes output(kSampleSize + kImplodeOutputBlockSize);
  static ImplodeWorkArea work;
  if (DecodeOurs(stream, &work, output.data()) != kSampleSize ||
      memcmp(output.data(), sample.data(), kSampleSize) != 0) {
    state.SkipWithError("output differs");
    return;
  }
  for (auto _ : state)
    benchmark::DoNotOptimize(DecodeOurs(stream, &work, output.data()));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kSampleSize));
}

void BM_DecodeStormLib(benchmark::State& state) {
  const Bytes& sample = Sample(static_cast<int>(state.range(0)));
  const Bytes& stream =
      OurStream(static_cast<int>(state.range(0)), static_cast<uint32_t>(state.range(1)));
  Bytes output(kSampleSize);
  if (DecodeStormLib(stream, output.data()) != kSampleSize || output != sample) {
    state.SkipWithError("output differs");
    return;
  }
  for (auto _ : state)
    benchmark::DoNotOptimize(DecodeStormLib(stream, output.data()));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kSampleSize));
}

// args: sample, type, level (0 fast, 1 best)
void BM_EncodeOurs(benchmark::State& state) {
  const Bytes& sample = Sample(static_cast<int>(state.range(0)));
  size_t size = 0;
  for (auto _ : state) {
    size = ImplodeBytes(sample.data(), sample.size(), static_cast<uint32_t>(state.range(1)),
                        kDictionaryBits, static_cast<ImplodeLevel>(state.range(2)))
               .size();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kSampleSize));
  state.counters["bytes"] = static_cast<double>(size);
  state.counters["ratio"] = static_cast<double>(size) / kSampleSize;
}

// StormLib's implode offers binary literals only; it picks the 4 KiB dictionary for this size.
void BM_EncodeStormLib(benchmark::State& state) {
  Bytes sample = Sample(static_cast<int>(state.range(0)));
  Bytes stream(kSampleSize * 2);
  int size = 0;
  for (auto _ : state) {
    size = static_cast<int>(stream.size());
    if (!SCompImplode(stream.data(), &size, sample.data(), static_cast<int>(sample.size())))
      abort();
  }
  if (stream[1] != kDictionaryBits) state.SkipWithError("unexpected dictionary");
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kSampleSize));
  state.counters["bytes"] = size;
  state.counters["ratio"] = static_cast<double>(size) / kSampleSize;
}

void DecodeCases(benchmark::internal::Benchmark* bench) {
  bench->ArgNames({"sample", "ascii"})
      ->Args({0, 0})
      ->Args({0, 1})
      ->Args({1, 0})
      ->Unit(benchmark::kMillisecond);
}

BENCHMARK(BM_DecodeOurs)->Apply(DecodeCases);
BENCHMARK(BM_DecodeStormLib)->Apply(DecodeCases);
BENCHMARK(BM_EncodeOurs)
    ->ArgNames({"sample", "ascii", "best"})
    ->ArgsProduct({{0, 1}, {0, 1}, {0, 1}})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EncodeStormLib)->ArgNames({"sample"})->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// `--write-streams DIR` writes the samples and the decode benchmarks' streams to DIR for the
// shipped decoder's benchmark under Wine, and ends.
bool WriteFile(const std::string& path, const Bytes& bytes) {
  FILE* file = fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  const bool written = fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return fclose(file) == 0 && written;
}

int WriteStreams(const std::string& folder) {
  const bool written = WriteFile(folder + "/text.raw", TextSample()) &&
                       WriteFile(folder + "/text.binary.imp", OurStream(0, kImplodeBinary)) &&
                       WriteFile(folder + "/text.ascii.imp", OurStream(0, kImplodeAscii)) &&
                       WriteFile(folder + "/code.raw", BinarySample()) &&
                       WriteFile(folder + "/code.binary.imp", OurStream(1, kImplodeBinary));
  if (!written) fprintf(stderr, "cannot write the streams to %s\n", folder.c_str());
  return written ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && strcmp(argv[1], "--write-streams") == 0) return WriteStreams(argv[2]);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
