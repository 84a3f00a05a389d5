#include "tools/installed_stub.h"

#include <cstddef>

#include "tools/build_config.h"
#include "tools/host.h"
#include "tools/tool_error.h"

namespace tool {

const char kInstalledStubName[] = "launcher.exe";

namespace {

// Windows takes "/" as well as "\", and paths from the build's configuration use "/".
bool IsSeparator(char c) {
  return c == '/' || c == kPathSeparator;
}

// Joins a relative path to folder (no trailing separator; empty for the root). ".." takes the
// last folder off but never goes above the root or a drive ("C:"); "." is skipped.
std::string JoinRelative(std::string folder, const std::string& relative) {
  size_t start = 0;
  while (start <= relative.size()) {
    size_t end = relative.find('/', start);
    if (end == std::string::npos) end = relative.size();
    const std::string part = relative.substr(start, end - start);
    start = end + 1;
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      size_t cut = folder.size();
      while (cut > 0 && !IsSeparator(folder[cut - 1]))
        --cut;
      if (cut > 0) folder.resize(cut - 1);
      continue;
    }
    folder += kPathSeparator;
    folder += part;
  }
  return folder;
}

}  // namespace

std::vector<std::string> InstalledStubPlaces(const std::string& program_path,
                                             const std::string& from_program_folder) {
  size_t last = program_path.size();
  while (last > 0 && !IsSeparator(program_path[last - 1]))
    --last;
  if (last == 0) return {};
  const std::string folder = program_path.substr(0, last - 1);
  std::vector<std::string> places{JoinRelative(folder, from_program_folder)};
  const std::string beside = folder + kPathSeparator + kInstalledStubName;
  if (beside != places.front()) places.push_back(beside);
  return places;
}

std::string FindInstalledStub() {
  const std::vector<std::string> places =
      InstalledStubPlaces(RunningProgramPath(), TOVALIN_STUB_FROM_PROGRAM_FOLDER);
  for (const std::string& place : places) {
    if (EntryExists(place)) return place;
  }
  if (places.empty()) {
    throw Failure(
        "no launcher stub given, and the running tovalin cannot tell where it is installed "
        "to look for one; give it with --stub LAUNCHER");
  }
  std::string looked;
  for (size_t i = 0; i < places.size(); ++i)
    looked += (i == 0 ? "" : i + 1 == places.size() ? " and " : ", ") + places[i];
  throw Failure("no launcher stub given, and none is installed: looked for " + looked +
                "; give it with --stub LAUNCHER");
}

}  // namespace tool
