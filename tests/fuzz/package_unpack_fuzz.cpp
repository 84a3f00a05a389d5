// Arbitrary bytes as a package file in the work directory: the unpacker must neither read nor
// write out of bounds, and it must create nothing outside the work directory, whatever the
// header and the records claim.
//
// Each input gets a fresh parent folder holding only a fresh work directory. After unpacking,
// the parent must still hold only the work directory, and the work directory only the package,
// the cleanup script and plain files whose names the record check accepts. Every cleanup line
// must name one of those files.
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "base/file_name.h"
#include "package/package_format.h"
#include "package/unpacker.h"
#include "platform/text_file.h"
#include "tests/fuzz/fuzz_files.h"

namespace {

constexpr char kPackageName[] = "pkg.shr";
constexpr char kScriptName[] = "~0000.bat";

using fuzz_files::IsPlainFile;
using fuzz_files::Listing;
using fuzz_files::WriteWhole;

void CheckWorkDirectory(const std::string& work) {
  for (const std::string& name : Listing(work)) {
    if (name == kPackageName || name == kScriptName) continue;
    if (!IsPlainFile(work + "/" + name)) std::abort();
    if (text::CheckFileName(name.c_str(), name.size() + 1) != text::FILE_NAME_OK) std::abort();
  }
  std::ifstream script(work + "/" + kScriptName, std::ios::binary);
  std::string line;
  const std::string prefix = "del " + work + "/";
  while (std::getline(script, line)) {
    if (line.empty() || line.back() != '\r') std::abort();
    line.pop_back();
    if (line.compare(0, prefix.size(), prefix) != 0) std::abort();
    struct stat st;
    if (stat(line.substr(4).c_str(), &st) != 0 || !S_ISREG(st.st_mode)) std::abort();
  }
}

// Each whole file gets its "del " line in the cleanup script, as the launcher writes it.
void ListInScript(void* script, const char* path) {
  text::AppendLine(static_cast<const std::string*>(script)->c_str(),
                   ("del " + std::string(path)).c_str(), true);
}

void IgnoreBlock(void*) {}

size_t OpenDescriptors() {
  return Listing("/proc/self/fd").size();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  char pattern[] = "/tmp/package-fuzz-XXXXXX";
  const char* made = mkdtemp(pattern);
  if (made == nullptr) std::abort();
  const std::string parent = made;
  const std::string work = parent + "/work";
  if (mkdir(work.c_str(), 0700) != 0) std::abort();

  const std::string script = work + "/" + kScriptName;
  WriteWhole(script, nullptr, 0);
  WriteWhole(work + "/" + kPackageName, data, size);
  const std::string folder = work + "/";
  UnpackTarget target = {};
  target.folder = folder.c_str();
  target.kept_paths[0] = script.c_str();
  target.file_written = ListInScript;
  target.block_read = IgnoreBlock;
  target.context = const_cast<std::string*>(&script);

  const size_t descriptors = OpenDescriptors();
  UnpackPackageFile(&target, nullptr, kPackageName);

  // Nothing beside the work directory, and nothing in it but plain files of plain names.
  if (Listing(parent) != std::vector<std::string>{"work"}) std::abort();
  CheckWorkDirectory(work);
  // Every file the unpacker opened is closed again; LeakSanitizer sees to its memory.
  if (OpenDescriptors() != descriptors) std::abort();

  std::error_code ignored;
  std::filesystem::remove_all(parent, ignored);
  return 0;
}
