// Whole files and folder listings for the fuzz targets. A target has no test framework: where a
// test would fail, these abort, which the fuzzer reports as a crash with its input.
#pragma once

#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace fuzz_files {

inline void WriteWhole(const std::string& path, const uint8_t* data, size_t size) {
  FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) std::abort();
  if (size > 0 && std::fwrite(data, 1, size, file) != size) std::abort();
  if (std::fclose(file) != 0) std::abort();
}

inline void WriteWhole(const std::string& path, const std::vector<uint8_t>& bytes) {
  WriteWhole(path, bytes.data(), bytes.size());
}

// False when the file cannot be opened.
inline bool ReadWhole(const std::string& path, std::vector<uint8_t>* out) {
  FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return false;
  out->clear();
  uint8_t block[4096];
  size_t got;
  while ((got = std::fread(block, 1, sizeof block, file)) > 0)
    out->insert(out->end(), block, block + got);
  std::fclose(file);
  return true;
}

// The names in a folder, sorted.
inline std::vector<std::string> Listing(const std::string& folder) {
  std::vector<std::string> names;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(folder, error))
    names.push_back(entry.path().filename().string());
  if (error) std::abort();
  std::sort(names.begin(), names.end());
  return names;
}

// A regular file, not a link, a folder or a device.
inline bool IsPlainFile(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace fuzz_files
