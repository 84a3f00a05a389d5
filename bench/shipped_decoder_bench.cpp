// The decoder as users run it: this program links the decoder objects that launcher.exe links
// (i686, the stub's flags), runs under Wine, and times the codec benchmark's own streams, which
// `implode_bench --write-streams DIR` leaves in DIR. bench/shipped_decoder.sh runs both and prints
// them side by side.
//
// Google Benchmark does not build for MinGW here, so the timing is our own: every stream is
// decoded in rounds of as many whole decodes as take half a second of CPU time, as long as
// Google Benchmark measures each case. The output is checked against the sample before any
// timing.
//
// usage: shipped_decoder_bench DIR [ROUNDS]
// Prints one line per stream: its name, then MiB/s of output (Google Benchmark's "M/s") in the
// median round and in the best.
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench/memory_decode.h"
#include "implode/implode.h"

namespace {

using Bytes = std::vector<uint8_t>;

constexpr int kDefaultRounds = 7;
constexpr double kRoundSeconds = 0.5;
constexpr double kMebibyte = 1024.0 * 1024.0;  // as Google Benchmark counts its "M/s"

// The streams implode_bench writes: the sample they restore, and the stream file.
struct Case {
  const char* name;
  const char* sample;
  const char* stream;
};

const Case kCases[] = {
    {"text/binary", "text.raw", "text.binary.imp"},
    {"text/ascii", "text.raw", "text.ascii.imp"},
    {"code/binary", "code.raw", "code.binary.imp"},
};

bool ReadWhole(const std::string& path, Bytes* bytes) {
  FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return false;
  bytes->clear();
  uint8_t buffer[65536];
  size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0)
    bytes->insert(bytes->end(), buffer, buffer + got);
  std::fclose(file);
  return true;
}

// CPU time of this thread, as Google Benchmark's rates count on the host: time the machine gave
// to other programs does not count. Wine keeps it in 10 ms steps, hence the long rounds.
double ThreadSeconds() {
  FILETIME created, exited, kernel, user;
  GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user);
  ULARGE_INTEGER kernel_time, user_time;
  kernel_time.LowPart = kernel.dwLowDateTime;
  kernel_time.HighPart = kernel.dwHighDateTime;
  user_time.LowPart = user.dwLowDateTime;
  user_time.HighPart = user.dwHighDateTime;
  return static_cast<double>(kernel_time.QuadPart + user_time.QuadPart) * 1e-7;
}

ImplodeWorkArea g_work;  // static, as the launcher keeps its own

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: shipped_decoder_bench DIR [ROUNDS]\n");
    return 2;
  }
  const std::string folder = std::string(argv[1]) + "\\";
  const int rounds = argc > 2 ? std::atoi(argv[2]) : kDefaultRounds;
  if (rounds < 1) return 2;
  for (const Case& c : kCases) {
    Bytes sample, stream;
    if (!ReadWhole(folder + c.sample, &sample) || !ReadWhole(folder + c.stream, &stream)) {
      std::fprintf(stderr, "%s: cannot read %s or %s in %s\n", c.name, c.sample, c.stream,
                   folder.c_str());
      return 1;
    }
    Bytes output(sample.size() + kImplodeOutputBlockSize);
    if (bench::DecodeFromMemory(stream, &g_work, output.data()) != sample.size() ||
        std::memcmp(output.data(), sample.data(), sample.size()) != 0) {
      std::fprintf(stderr, "%s: output differs from the sample\n", c.name);
      return 1;
    }
    // Rounds of whole decodes, enough for kRoundSeconds.
    const double once_start = ThreadSeconds();
    int decodes = 0;
    while (ThreadSeconds() - once_start < kRoundSeconds) {
      bench::DecodeFromMemory(stream, &g_work, output.data());
      ++decodes;
    }
    std::vector<double> times;
    for (int round = 0; round < rounds; ++round) {
      const double start = ThreadSeconds();
      for (int i = 0; i < decodes; ++i)
        bench::DecodeFromMemory(stream, &g_work, output.data());
      times.push_back((ThreadSeconds() - start) / decodes);
    }
    std::sort(times.begin(), times.end());
    const double mebibytes = static_cast<double>(sample.size()) / kMebibyte;
    std::printf("%s %.1f %.1f\n", c.name, mebibytes / times[times.size() / 2],
                mebibytes / times.front());
  }
  return 0;
}
