#include <io.h>

#include <cstdio>
#include <vector>

#include "platform/platform.h"
#include "tools/host.h"

namespace tool {

const char kPathSeparator = '\\';

bool StderrIsTerminal() {
  return _isatty(_fileno(stderr)) != 0;
}

bool EntryExists(const std::string& path) {
  return platform::GetAttributes(path.c_str()) != platform::kNoAttributes;
}

bool IsPlainDirectory(const std::string& path) {
  uint32_t attributes = platform::GetAttributes(path.c_str());
  return attributes != platform::kNoAttributes && (attributes & platform::kAttributeDirectory) != 0;
}

bool RemoveEntry(const std::string& path) {
  platform::SetAttributes(path.c_str(), platform::kAttributeNormal);
  return platform::RemoveFile(path.c_str()) != 0;
}

// The ANSI name, as every other path the tool opens: a folder whose name the ANSI code page
// cannot spell gives a path that is not found, and the message shows it.
std::string RunningProgramPath() {
  // Room for the longest path Windows hands out.
  std::vector<char> buffer(32768);
  uint32_t length = platform::GetModulePath(buffer.data(), static_cast<uint32_t>(buffer.size()));
  return std::string(buffer.data(), length);
}

std::string LastSystemErrorText() {
  return "system error " + std::to_string(platform::LastError());
}

}  // namespace tool
