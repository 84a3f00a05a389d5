#include <io.h>

#include <cstdio>

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

std::string LastSystemErrorText() {
  return "system error " + std::to_string(platform::LastError());
}

}  // namespace tool
