// Helpers for tests that work with real files: a private temporary folder that is removed
// afterwards, and whole-file reads and writes. They run on the host and under Wine alike.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testing_support {

using Bytes = std::vector<uint8_t>;

// A fresh, empty folder under the system's temporary directory, removed with its contents
// when the object goes away.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // The folder, without a trailing separator.
  const std::string& path() const { return path_; }
  // The folder joined with a name by the platform's separator.
  std::string Join(const std::string& name) const;

 private:
  std::string path_;
};

// The platform's path separator as text: "\\" on Windows, "/" elsewhere.
const char* Separator();

void WriteFile(const std::string& path, const Bytes& bytes);
void WriteFile(const std::string& path, const std::string& text);
Bytes ReadFile(const std::string& path);
std::string ReadFileText(const std::string& path);
bool FileExists(const std::string& path);
// The names in a folder, sorted.
std::vector<std::string> ListFolder(const std::string& path);

// True when a Windows test binary runs under Wine. Wine as root lets a program open a read-only
// file for writing (the Unix permission check does not stop root), which Windows never does.
bool UnderWine();

// Deterministic pseudo-random bytes for test data.
Bytes RandomBytes(size_t size, uint32_t seed);

}  // namespace testing_support
