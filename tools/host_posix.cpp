#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

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

// /proc/self/exe names the program file itself, whatever the command line called it: a link on
// PATH leads to the real install, and so to its stub.
std::string RunningProgramPath() {
  std::vector<char> buffer(1024);
  for (;;) {
    ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (length < 0) return "";
    if (static_cast<size_t>(length) < buffer.size()) return std::string(buffer.data(), length);
    // readlink cuts without saying so: a full buffer may be a cut path.
    buffer.resize(buffer.size() * 2);
  }
}

std::string LastSystemErrorText() {
  return std::strerror(errno);
}

}  // namespace tool
