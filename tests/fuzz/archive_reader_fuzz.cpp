// Arbitrary bytes as the file behind the launcher image: the reader must find, read, scan and
// copy without reading or writing out of bounds, without looping and without leaking a stream,
// whatever the trailer and the chain claim.
//
// The first input byte chooses how the rest is used. Even: the bytes are the whole file. Odd:
// the bytes become the members of an installer made by the writer, and then one byte of that
// installer is overwritten, so that the fuzzer also reaches deep into well-formed chains.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "archive/archive_format.h"
#include "archive/archive_reader.h"
#include "archive/archive_writer.h"

namespace {

const char* const kMemberNames[] = {"init.ini", "temp.shr", "setup.aic", "Install.dll", "e.bin"};

struct Paths {
  std::string installer;
  std::string loose;
  std::string target;
  std::string missing;
};

const Paths& WorkPaths() {
  static Paths paths = [] {
    char pattern[] = "/tmp/archive-fuzz-XXXXXX";
    const char* dir = mkdtemp(pattern);
    if (dir == nullptr) std::abort();
    Paths p;
    p.installer = std::string(dir) + "/setup.exe";
    p.loose = std::string(dir) + "/loose.txt";
    p.target = std::string(dir) + "/copy.bin";
    p.missing = std::string(dir) + "/none/x.bin";
    FILE* loose = std::fopen(p.loose.c_str(), "wb");
    if (loose == nullptr) std::abort();
    if (std::fputs("a loose file beside the installer", loose) < 0 || std::fclose(loose) != 0) {
      std::abort();
    }
    return p;
  }();
  return paths;
}

void WriteWhole(const std::string& path, const uint8_t* data, size_t size) {
  FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) std::abort();
  if (size > 0 && std::fwrite(data, 1, size, file) != size) std::abort();
  if (std::fclose(file) != 0) std::abort();
}

// Splits the input into members, writes them with the writer, then corrupts one byte.
void WriteCorruptedInstaller(const std::string& path, const uint8_t* data, size_t size) {
  std::vector<archive::NewMember> members;
  size_t at = 0;
  for (size_t i = 0; at < size && i < 5; ++i) {
    size_t length = data[at++] % 64;
    if (length > size - at) length = size - at;
    archive::NewMember member;
    member.name = kMemberNames[i];
    member.data.assign(data + at, data + at + length);
    members.push_back(member);
    at += length;
  }
  // Never empty: members cannot start the file, where their offset would read as "none".
  std::vector<uint8_t> image(1, 'M');
  image.insert(image.end(), data + at, data + at + (size - at < 32 ? size - at : 32));
  if (!archive::WriteInstallerFile(path, image, members, nullptr)) std::abort();
  if (size < 3) return;
  FILE* file = std::fopen(path.c_str(), "r+b");
  if (file == nullptr) std::abort();
  if (std::fseek(file, 0, SEEK_END) != 0) std::abort();
  long length = std::ftell(file);
  long where = static_cast<long>((static_cast<unsigned>(data[size - 1]) << 8 | data[size - 2])) %
               (length > 0 ? length : 1);
  if (std::fseek(file, where, SEEK_SET) != 0 || std::fputc(data[size - 3], file) == EOF ||
      std::fclose(file) != 0) {
    std::abort();
  }
}

// Reads a stream to its end in steps whose sizes come from the input.
void Drain(MemberStream* stream, const uint8_t* data, size_t size) {
  static uint8_t buffer[70000];
  for (size_t step = 0; step < 64; ++step) {
    int32_t count = size > 0 ? static_cast<int32_t>(data[step % size]) * 271 : 1000;
    int32_t got = ReadMember(stream, buffer, count);
    if (got > count) std::abort();
    if (got <= 0 && count > 0) break;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const Paths& paths = WorkPaths();
  if (data[0] & 1) {
    WriteCorruptedInstaller(paths.installer, data + 1, size - 1);
  } else {
    WriteWhole(paths.installer, data + 1, size - 1);
  }

  static ArchiveReader reader;
  ResetArchiveReader(&reader);
  SelectArchiveSource(&reader, paths.installer.c_str());
  HasInstallScriptMember(&reader);
  MemberStream* streams[2] = {nullptr, nullptr};
  int open = 0;
  for (const char* name : kMemberNames) {
    MemberStream* stream = OpenMember(&reader, name);
    if (stream == nullptr) continue;
    if (stream->size < 0) std::abort();
    if (open < 2) {
      streams[open++] = stream;
    } else {
      Drain(stream, data, size);
      CloseMember(stream);
    }
  }
  // Two streams read in turn share the archive file.
  if (open == 2) {
    static uint8_t small[37];
    for (int i = 0; i < 8; ++i) {
      ReadMember(streams[0], small, sizeof small);
      ReadMember(streams[1], small, sizeof small);
    }
  }
  MemberStream* loose = OpenMember(&reader, paths.loose.c_str());
  if (loose == nullptr) std::abort();  // a loose file beside always opens
  Drain(loose, data, size);
  CloseMember(loose);

  static uint8_t copy_buffer[kCopyBlockSize];
  const char* copied = kMemberNames[data[0] % 5];
  CopyMemberToFile(&reader, copied, paths.target.c_str(), copy_buffer);
  CopyMemberToFile(&reader, copied, paths.missing.c_str(), copy_buffer);
  // Once the archive is closed, archive streams read -1, not stale bytes.
  CloseArchive(&reader);
  for (MemberStream* stream : streams) {
    if (stream != nullptr && stream->file_handle == -1 &&
        ReadMember(stream, copy_buffer, 1) != -1) {
      std::abort();
    }
    CloseMember(stream);
  }
  return 0;
}
