#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "tools/host.h"

namespace tool {

const char kPathSeparator = '/';

bool StderrIsTerminal() {
  return isatty(fileno(stderr)) != 0;
}

bool EntryExists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

bool IsPlainDirectory(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Unlinking needs only the folder's permission, so a read-only file goes as Windows lets it go
// once its read-only bit is cleared.
bool RemoveEntry(const std::string& path) {
  return unlink(path.c_str()) == 0;
}

std::string LastSystemErrorText() {
  return std::strerror(errno);
}

}  // namespace tool
