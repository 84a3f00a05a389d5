#include "tools/output_file.h"

#include "tools/host.h"
#include "tools/tool_error.h"

namespace tool {
namespace {

bool IsSeparator(char c) {
  return c == '/' || c == kPathSeparator;
}

}  // namespace

std::string JoinPath(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  if (IsSeparator(folder.back())) return folder + name;
  return folder + kPathSeparator + name;
}

void MakeFolders(const std::string& folder) {
  // Each prefix that ends before a separator is a folder on the way; the first character is
  // skipped so that a root ("/", "\") is never made.
  for (size_t i = 1; i <= folder.size(); ++i) {
    if (i < folder.size() && !IsSeparator(folder[i])) continue;
    std::string prefix = folder.substr(0, i);
    if (prefix.back() == ':') continue;  // a drive: "C:"
    if (IsPlainDirectory(prefix)) continue;
    if (EntryExists(prefix)) throw Failure(prefix + ": exists and is not a folder");
    if (!platform::MakeDirectory(prefix.c_str())) {
      throw Failure(prefix + ": cannot create folder: " + LastSystemErrorText());
    }
  }
}

OutputFile::OutputFile(const std::string& path, bool replace) : path_(path) {
  if (EntryExists(path)) {
    if (!replace) throw Failure(path + ": exists; use --force to replace it");
    if (IsPlainDirectory(path)) throw Failure(path + ": exists and is a folder");
    if (!RemoveEntry(path)) {
      throw Failure(path + ": cannot replace it: " + LastSystemErrorText());
    }
  }
  handle_ = platform::CreateOrTruncate(path.c_str());
  if (handle_ == platform::kNoFile) {
    throw Failure(path + ": cannot create: " + LastSystemErrorText());
  }
}

OutputFile::~OutputFile() {
  if (committed_) return;
  platform::CloseFile(handle_);
  platform::RemoveFile(path_.c_str());
}

void OutputFile::Write(const uint8_t* bytes, uint32_t count) {
  if (count == 0) return;
  if (platform::WriteBytes(handle_, bytes, count) != static_cast<int32_t>(count)) {
    throw Failure(path_ + ": write failed: " + LastSystemErrorText());
  }
}

bool OutputFile::Commit(uint32_t dos_date, uint32_t dos_time) {
  bool time_set = platform::SetFileDosDateTime(handle_, dos_date, dos_time) != 0;
  platform::CloseFile(handle_);
  committed_ = true;
  return time_set;
}

}  // namespace tool
