// Files the tool writes into a folder: created new (or, with --force, in place of what is there),
// filled, given their recorded DOS date and time, and removed again if they cannot be finished, so
// that a failed extraction never leaves a file that looks whole.
#pragma once

#include <cstdint>
#include <string>

#include "platform/files.h"

namespace tool {

// folder and name joined by the host's separator; folder may already end with one.
std::string JoinPath(const std::string& folder, const std::string& name);

// Creates folder and any missing folders above it. Throws Failure naming the folder.
void MakeFolders(const std::string& folder);

class OutputFile {
 public:
  // Creates path. An existing entry is an error unless replace is set; then it is removed first,
  // so that a link is replaced, never written through. Throws Failure naming the path.
  OutputFile(const std::string& path, bool replace);
  // Removes the file unless Commit ran.
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Throws Failure when the write fails or falls short.
  void Write(const uint8_t* bytes, uint32_t count);

  // Sets the file's times to the DOS date and time (UTC) and closes it. Returns false, with the
  // file kept, when the time cannot be set (a stored date that is no real date, say).
  bool Commit(uint32_t dos_date, uint32_t dos_time);

  const std::string& path() const { return path_; }

 private:
  std::string path_;
  platform::FileHandle handle_;
  bool committed_ = false;
};

}  // namespace tool
