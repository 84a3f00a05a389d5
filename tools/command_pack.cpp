// tovalin pack: a package file of implode-compressed files, as installers carry them.
#include <algorithm>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "package/package_writer.h"
#include "tools/command.h"
#include "tools/display.h"
#include "tools/host.h"
#include "tools/input_file.h"
#include "tools/progress_bar.h"
#include "tools/source_argument.h"
#include "tools/source_date.h"
#include "tools/tool_error.h"

namespace tool {
namespace {

const char kHelp[] =
    "Usage: tovalin pack -o PACKAGE [--ascii] [--dictionary 1024|2048|4096] [--best]\n"
    "                    [-j THREADS] [--force] FILE|NAME=PATH ...\n"
    "\n"
    "Writes PACKAGE: a package header, then for each file in the order given a file record\n"
    "(name, sizes, last-write time in UTC as DOS date and time) and the file's implode stream.\n"
    "A FILE is stored under its file name; NAME=PATH stores the file at PATH under NAME.\n"
    "With SOURCE_DATE_EPOCH set (seconds since 1970-01-01 UTC, digits only), a time later\n"
    "than it is stored as it, so that the same files pack to the same bytes whenever they\n"
    "were touched.\n"
    "\n"
    "A name must be a bare file name of at most 127 bytes: no \"\\\", \"/\", \":\" or \"..\", no\n"
    "control characters and none of * ? \" < > |, and not made of dots and blanks only.\n"
    "\n"
    "Options:\n"
    "  -o, --output PACKAGE   the package file to write\n"
    "  -a, --ascii            code literals with the fixed ASCII code, which suits text;\n"
    "                         the default stores them as raw bytes (binary), as the\n"
    "                         launcher's own packages do\n"
    "      --dictionary SIZE  how far back copies reach: 1024, 2048 or 4096 bytes\n"
    "                         (default 4096)\n"
    "      --best             look much harder for copies: streams about 1 % smaller,\n"
    "                         packing two to three times slower\n"
    "  -j, --jobs THREADS     compress on this many threads, 1 to 64 (default: one per\n"
    "                         processor); each takes about 2 MiB of memory. The package\n"
    "                         is the same whatever the number\n"
    "  -f, --force            replace PACKAGE if it exists\n"
    "  -q, --quiet            print nothing when all went well\n"
    "  -h, --help             show this help\n"
    "\n"
    "Exit status: 0 written, 1 a file cannot be read or written, 2 wrong command line.\n";

uint32_t DictionaryBits(const std::string& size) {
  if (size == "1024") return 4;
  if (size == "2048") return 5;
  if (size == "4096") return 6;
  throw UsageError("--dictionary takes 1024, 2048 or 4096, not '" + size + "'");
}

// -j THREADS, or one thread per processor.
uint32_t Jobs(const ParsedCommandLine& command_line) {
  if (!command_line.Has("jobs")) {
    const unsigned processors = std::thread::hardware_concurrency();
    return std::min<uint32_t>(processors == 0 ? 1 : processors, package::kMaxPackJobs);
  }
  const std::string value = command_line.Value("jobs");
  uint32_t jobs = 0;
  for (char c : value) {
    if (c < '0' || c > '9' || jobs > package::kMaxPackJobs) {
      jobs = 0;
      break;
    }
    jobs = jobs * 10 + static_cast<uint32_t>(c - '0');
  }
  if (jobs < 1 || jobs > package::kMaxPackJobs) {
    throw UsageError("-j takes a number of threads from 1 to " +
                     std::to_string(package::kMaxPackJobs) + ", not '" + value + "'");
  }
  return jobs;
}

int RunPack(const ParsedCommandLine& command_line) {
  std::string output = command_line.Value("output");
  if (output.empty()) throw UsageError("give the package to write with -o PACKAGE");
  const TimeClamp clamp = TimeClamp::FromEnvironment();
  package::PackOptions options;
  options.compression_type = command_line.Has("ascii") ? kImplodeAscii : kImplodeBinary;
  options.dictionary_bits = DictionaryBits(command_line.Value("dictionary", "4096"));
  options.level = command_line.Has("best") ? kImplodeBest : kImplodeFast;
  options.jobs = Jobs(command_line);
  std::vector<SourceArgument> sources = ParseSourceArguments(command_line.operands);
  if (sources.size() > static_cast<size_t>(package::kMaxFileCount)) {
    throw UsageError("a package holds at most 32767 files");
  }
  std::vector<std::string> inputs;
  for (const SourceArgument& source : sources) {
    if (!package::IsStorableFileName(source.name)) {
      throw UsageError("\"" + source.name + "\" cannot be a packed file's name");
    }
    inputs.push_back(source.path);
  }
  RefuseOverwritingInput(output, inputs);

  std::vector<package::PackageEntry> entries;
  uint64_t total = 0;
  for (const SourceArgument& source : sources) {
    package::PackageEntry entry;
    std::string error;
    if (!package::EntryFromFile(source.path, source.name, &entry, &error)) {
      throw Failure(source.path + ": " + error);
    }
    clamp.Apply(&entry.dos_date, &entry.dos_time);
    total += InputFile(source.path).size();
    entries.push_back(entry);
  }

  if (EntryExists(output) && !command_line.Has("force")) {
    throw Failure(output + ": exists; use --force to replace it");
  }
  std::string error;
  ProgressBar progress(ProgressBar::Wanted(command_line.Has("quiet")), total);
  progress.SetLabel(output);
  options.progress = [&progress](uint64_t bytes) { progress.Advance(bytes); };
  int written = package::WritePackageFile(output, entries, options, &error);
  progress.Finish();
  if (!written) throw Failure(output + ": not written: " + error);
  if (!command_line.Has("quiet")) {
    InputFile package_file(output);
    std::printf("%s: %s, %s bytes packed into %u\n", output.c_str(),
                CountOf(entries.size(), "file").c_str(), std::to_string(total).c_str(),
                package_file.size());
  }
  return kExitSuccess;
}

}  // namespace

const Command kPackCommand{"pack",
                           "make a package file of implode-compressed files",
                           kHelp,
                           {kHelpOption,
                            kQuietOption,
                            {"output", 'o', true},
                            {"ascii", 'a', false},
                            {"dictionary", 0, true},
                            {"best", 0, false},
                            {"jobs", 'j', true},
                            {"force", 'f', false}},
                           RunPack};

}  // namespace tool
