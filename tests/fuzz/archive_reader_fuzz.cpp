// Arbitrary bytes as the file behind the launcher image: the reader must find, read, scan and
// copy without reading or writing out of bounds, without looping and without leaking a stream,
// whatever the trailer and the chain claim.
//
// The first input byte chooses how the rest is used. Bit 0 clear: the bytes are the whole file.
// Bit 0 set: the bytes become the members of an installer made by the writer, and then one byte
// of that installer is overwritten, so that the fuzzer also reaches deep into well-formed chains.
// Installers made by the writer carry checksums, which the one overwritten byte may break: a
// copy that counts as done must match its checksum. Bit 1 set: the file is signed, or claims to be:
// it starts with a PE image whose certificate directory points at a table appended after some
// padding, exactly or (as the input says) a little off, so that the search for the archive's end
// before a signature is fuzzed too.
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
#include "base/crc32.h"
#include "pe/pe_format.h"
#include "tests/fuzz/fuzz_files.h"
#include "tests/support/pe_image.h"

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

using fuzz_files::WriteWhole;

// Splits the input into members, writes them with the writer, then corrupts one byte.
void WriteCorruptedInstaller(const std::string& path, const uint8_t* data, size_t size,
                             bool as_pe) {
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
  std::vector<uint8_t> image =
      as_pe ? testing_support::MinimalPeImage() : std::vector<uint8_t>(1, 'M');
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

// Appends padding and a certificate table to the file and points the image's certificate
// directory at it. The last input bytes choose the padding (and whether a byte of it is not
// zero), the table's size, and whether the directory is a byte off.
void SignFile(const std::string& path, const uint8_t* data, size_t size) {
  FILE* file = std::fopen(path.c_str(), "r+b");
  if (file == nullptr || std::fseek(file, 0, SEEK_END) != 0) std::abort();
  const long length = std::ftell(file);
  const uint8_t choice = size > 0 ? data[size - 1] : 0;
  const uint8_t amount = size > 1 ? data[size - 2] : 0;
  std::vector<uint8_t> tail(choice % 8, 0);
  if (!tail.empty() && (choice & 0x40) != 0) tail.back() = amount;
  const uint32_t table = static_cast<uint32_t>(length) + static_cast<uint32_t>(tail.size());
  const uint32_t table_size = 8 + amount;
  tail.insert(tail.end(), table_size, 0x30);
  if (std::fwrite(tail.data(), 1, tail.size(), file) != tail.size()) std::abort();
  const int off_by = (choice & 0x80) != 0 ? ((choice & 0x20) != 0 ? 1 : -1) : 0;
  std::vector<uint8_t> image = testing_support::MinimalPeImage();
  testing_support::SetPeDirectory(&image, pe::kCertificateDirectory,
                                  table + static_cast<uint32_t>(off_by), table_size);
  // Only the directory changes; the rest of the image is what the file starts with already.
  const size_t directory = testing_support::kPeImageOptionalAt + pe::kDirectoriesAt32 +
                           pe::kCertificateDirectory * pe::kDirectorySize;
  if (std::fseek(file, static_cast<long>(directory), SEEK_SET) != 0 ||
      std::fwrite(image.data() + directory, 1, pe::kDirectorySize, file) != pe::kDirectorySize ||
      std::fclose(file) != 0) {
    std::abort();
  }
}

uint32_t CrcOfFile(const std::string& path) {
  FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) std::abort();
  static uint8_t block[65536];
  uint32_t crc = text::kCrc32Start;
  size_t got;
  while ((got = std::fread(block, 1, sizeof block, file)) > 0)
    crc = text::UpdateCrc32(crc, block, got);
  std::fclose(file);
  return crc;
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
  const bool as_pe = (data[0] & 2) != 0;
  if (data[0] & 1) {
    WriteCorruptedInstaller(paths.installer, data + 1, size - 1, as_pe);
  } else if (as_pe) {
    std::vector<uint8_t> file = testing_support::MinimalPeImage();
    file.insert(file.end(), data + 1, data + size);
    WriteWhole(paths.installer, file.data(), file.size());
  } else {
    WriteWhole(paths.installer, data + 1, size - 1);
  }
  if (as_pe) SignFile(paths.installer, data + 1, size - 1);

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
  // A copy that counts as done holds exactly what the member's checksum says, where it has one.
  if (CopyMemberToFile(&reader, copied, paths.target.c_str(), copy_buffer) == COPY_DONE) {
    MemberStream* member = OpenMember(&reader, copied);
    if (member != nullptr && member->checked && CrcOfFile(paths.target) != member->expected_crc) {
      std::abort();
    }
    CloseMember(member);
  }
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
