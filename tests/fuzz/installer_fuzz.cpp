// Whole installers, built from the fuzz input, through the whole launcher sequence.
//
// Byte-level mutation of an installer rarely gets past the archive trailer, and almost never
// yields an implode stream that decodes. So the input is read as a recipe instead: the pretend
// machine (engine route, code page, locale, the launcher's own name, a trace log, a redirection
// folder beside it, a work directory name already taken), a command line, and a list of
// members (names from those the launcher asks for), each either raw bytes or a package built by
// the writer from files (names, contents, times, compression) whose streams the encoder makes
// valid; then damage chosen by the input (flipped bytes, cut streams, wrong file counts,
// compressed sizes and names in the packages; wrong next offsets, sizes, names and trailer in
// the archive); last, whether the installer is signed: a certificate table behind padding, with
// the image's directory pointing at it, or a byte off. The installer is written into a fresh
// pretend drive C: and the sequence runs on it against the pretend machine, with a stand-in
// engine.
//
// After each run the target aborts when:
// - anything was created on the drive outside the TEMP folder's one new work directory and the
//   two logs in the Windows folder, or anything in the work directory is not a plain file of a
//   plain name, or a directory that was already in TEMP changed;
// - a cleanup line names something outside the work directory;
// - a run with a redirection folder beside the launcher did more than end;
// - the engine was started although its package did not unpack whole or failed its checksum,
//   or the engine it was started on differs from the one packed. "Whole" is worked out
//   independently of the unpacker: the engine package's bytes are read as the launcher reads them,
//   and each of its streams is decoded to memory from exactly its record's share of the package.
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "archive/archive_format.h"
#include "archive/archive_reader.h"
#include "archive/archive_writer.h"
#include "base/ascii.h"
#include "base/bounded_text.h"
#include "base/file_name.h"
#include "implode/implode.h"
#include "launcher/bootstrap.h"
#include "launcher/entry.h"
#include "launcher/run_state.h"
#include "package/package_format.h"
#include "package/package_writer.h"
#include "package/unpacker.h"
#include "pe/pe_format.h"
#include "tests/fuzz/fuzz_files.h"
#include "tests/support/package_records.h"
#include "tests/support/pe_image.h"
#include "tests/support/pretend_machine.h"
#include "tests/support/stand_in_dialog.h"
#include "tests/support/standard_machine.h"
#include "ui/progress.h"

namespace {

using Bytes = std::vector<uint8_t>;
using fuzz_files::IsPlainFile;
using fuzz_files::Listing;
using fuzz_files::ReadWhole;
using fuzz_files::WriteWhole;

constexpr uint32_t kEngineExitCode = 7;
constexpr char kEngineName[] = "~0000.exe";
constexpr char kForeignDirectory[] = "AI1.tmp";  // someone else's, made before the run

// Members the launcher asks for, and a few names it must not confuse with them.
const char* const kMemberNames[] = {
    "init.ini",   "setup.cfg", "temp.shr",       "inst32.shr",  "inst16.shr",    "unst32.shr",
    "unst16.shr", "spawn.exe", "InstallENU.dll", "Install.dll", "dosshell.pif",  "~0000.shr",
    "SETUP.AIC",  "~0000.dll", "INIT.INI",       "~0000.bat",   "InstallDEU.dll"};
constexpr size_t kMemberNameCount = sizeof kMemberNames / sizeof kMemberNames[0];

// Names the writer accepts for files inside packages. The engine's name is only given to
// packages that the launcher may take as the engine package, so that the engine the stand-in
// sees can only have come from there.
const char* const kFileNames[] = {kEngineName, "readme.txt", "uninst.exe", "lang.dll",
                                  "setup.ins", "init.ini",   "data.z",     "~0000.dll"};
constexpr size_t kFileNameCount = sizeof kFileNames / sizeof kFileNames[0];

// Names that only damage can put into a record; the unpacker must refuse every one of them.
const char* const kHostileFileNames[] = {
    "..\\evil.txt", "..", "C:evil.txt", "sub\\x.txt", "sub/x.txt", "~0000.bat", "~0000.shr",
    "x.",           "x ", "*.txt",      "a\r\nb",     "",          "/tmp/evil", "\\evil"};
constexpr size_t kHostileFileNameCount = sizeof kHostileFileNames / sizeof kHostileFileNames[0];

bool IsEngineSlot(const std::string& member_name) {
  return member_name == "inst32.shr" || member_name == "inst16.shr" || member_name == "~0000.shr";
}

// The fuzz input, read front to back as a recipe. Each choice takes as few bytes as its range
// needs, so a mutation of one byte changes one choice; an input that runs out reads zeros.
class Recipe {
 public:
  Recipe(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
  bool Bool() { return (Byte() & 1) != 0; }
  uint16_t U16() { return static_cast<uint16_t>(Byte() | Byte() << 8); }
  uint32_t U32() { return static_cast<uint32_t>(U16()) | static_cast<uint32_t>(U16()) << 16; }

  // A value from lo to hi, both included.
  template <typename T>
  T Range(T lo, T hi) {
    uint64_t span = static_cast<uint64_t>(hi) - static_cast<uint64_t>(lo);
    uint64_t raw = span < 0x100 ? Byte() : span < 0x10000 ? U16() : U32();
    return static_cast<T>(static_cast<uint64_t>(lo) + raw % (span + 1));
  }

  Bytes Take(size_t count) {
    Bytes bytes;
    while (count-- > 0 && at_ < size_)
      bytes.push_back(data_[at_++]);
    return bytes;
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t at_ = 0;
};

uint32_t Load32(const Bytes& b, size_t at) {
  return archive::LoadLittleEndian32(b.data() + at);
}

void Store32(Bytes* b, size_t at, uint32_t value) {
  if (at + 4 <= b->size()) archive::StoreLittleEndian32(b->data() + at, value);
}

// ---- Building the installer from the recipe ----------------------------------------------------

Bytes FileContent(Recipe& input) {
  Bytes seed = input.Take(input.Range<size_t>(0, 48));
  size_t repeats = input.Range<size_t>(1, 100);
  Bytes content;
  for (size_t i = 0; i < repeats && !seed.empty(); ++i) {
    content.insert(content.end(), seed.begin(), seed.end());
  }
  return content;
}

void DamagePackage(Recipe& input, Bytes* package) {
  std::vector<size_t> records = testing_support::RecordOffsets(*package);
  if (records.empty()) return;
  int damages = input.Range<int>(0, 3);
  for (int i = 0; i < damages && !package->empty(); ++i) {
    size_t record = records[input.Range<size_t>(0, records.size() - 1)];
    switch (input.Range<int>(0, 4)) {
      case 0: {  // a flipped byte, most often inside a stream
        size_t at = input.Range<size_t>(0, package->size() - 1);
        (*package)[at] ^= input.Range<uint8_t>(1, 255);
        break;
      }
      case 1:  // cut short
        package->resize(input.Range<size_t>(0, package->size() - 1));
        break;
      case 2: {
        const int16_t counts[] = {0, -1, 2, 3, 32767, static_cast<int16_t>(input.U16())};
        int16_t count = counts[input.Range<int>(0, 5)];
        if (package->size() >= package::kHeaderSize) {
          (*package)[package::kHeaderFileCountAt] = static_cast<uint8_t>(count & 0xFF);
          (*package)[package::kHeaderFileCountAt + 1] = static_cast<uint8_t>((count >> 8) & 0xFF);
        }
        break;
      }
      case 3: {
        size_t at = record + package::kRecordCompressedSizeAt;
        if (at + 4 > package->size()) break;
        uint32_t size = Load32(*package, at);
        const uint32_t sizes[] = {size - 1, size + 1, 0, 0xFFFFFFFFu, input.U32()};
        Store32(package, at, sizes[input.Range<int>(0, 4)]);
        break;
      }
      default: {
        if (record + package::kNameFieldSize > package->size()) break;
        uint8_t* field = package->data() + record;
        std::memset(field, 0, package::kNameFieldSize);
        size_t pick = input.Range<size_t>(0, kHostileFileNameCount);
        if (pick == kHostileFileNameCount) {
          std::memset(field, 'A', package::kNameFieldSize);  // no NUL in the field
        } else {
          std::memcpy(field, kHostileFileNames[pick], std::strlen(kHostileFileNames[pick]));
        }
        break;
      }
    }
  }
}

Bytes MakePackage(Recipe& input, bool engine_slot) {
  std::vector<package::PackageEntry> entries;
  size_t count = input.Range<size_t>(1, 3);
  for (size_t i = 0; i < count; ++i) {
    package::PackageEntry entry;
    size_t pick = input.Range<size_t>(0, kFileNameCount - 1);
    entry.name = kFileNames[pick];
    if (!engine_slot && entry.name == kEngineName) entry.name = "other.exe";
    entry.data = FileContent(input);
    entry.dos_date = input.U16();
    entry.dos_time = input.U16();
    entries.push_back(entry);
  }
  package::PackOptions options;
  options.compression_type = input.Bool() ? kImplodeAscii : kImplodeBinary;
  options.dictionary_bits = input.Range<uint32_t>(4, 6);
  Bytes bytes;
  if (!package::BuildPackage(entries, options, &bytes, nullptr)) std::abort();
  DamagePackage(input, &bytes);
  return bytes;
}

std::vector<archive::NewMember> MakeMembers(Recipe& input, bool add_required,
                                            const std::string& script_name) {
  std::vector<archive::NewMember> members;
  size_t count = input.Range<size_t>(0, 8);
  for (size_t i = 0; i < count; ++i) {
    archive::NewMember member;
    member.name = kMemberNames[input.Range<size_t>(0, kMemberNameCount - 1)];
    bool package_like = member.name.find(".shr") != std::string::npos;
    if (package_like != input.Bool()) {
      member.data = MakePackage(input, IsEngineSlot(member.name));
    } else {
      member.data = input.Take(input.Range<size_t>(0, 64));
    }
    member.dos_date = input.U16();
    member.dos_time = input.U16();
    members.push_back(member);
  }
  if (add_required) {
    // Without these two the run ends before the engine; the fuzzer gets there more often.
    for (const std::string& name : {script_name, std::string("dosshell.pif")}) {
      archive::NewMember member;
      member.name = name;
      member.data = {'x'};
      members.push_back(member);
    }
  }
  return members;
}

// Signs the installer, or makes it look signed, as the input says: padding of up to 7 bytes
// (zero bytes, or one that is not), a certificate table of some size, and a certificate directory
// in the image that points at it exactly or a byte off.
void SignArchive(Recipe& input, Bytes* file) {
  const uint8_t how = input.Byte();
  if ((how & 1) == 0) return;
  Bytes padding((how >> 1) % 8, 0);
  if (!padding.empty() && (how & 0x10) != 0) padding.back() = input.Range<uint8_t>(1, 255);
  file->insert(file->end(), padding.begin(), padding.end());
  const uint32_t table = static_cast<uint32_t>(file->size());
  const uint32_t size = input.Range<uint32_t>(8, 600);
  file->insert(file->end(), size, 0x30);
  const uint32_t off_by = (how & 0x20) != 0 ? ((how & 0x40) != 0 ? 1u : 0xFFFFFFFFu) : 0;
  testing_support::SetPeDirectory(file, pe::kCertificateDirectory, table + off_by, size);
}

void DamageArchive(Recipe& input, const std::vector<archive::NewMember>& members,
                   uint32_t image_size, Bytes* file) {
  std::vector<uint32_t> headers;
  uint32_t at = image_size;
  for (const archive::NewMember& member : members) {
    headers.push_back(at);
    at += archive::kEntryHeaderSize + static_cast<uint32_t>(member.data.size());
  }
  int damages = input.Range<int>(0, 3);
  for (int i = 0; i < damages && file->size() > archive::kTrailerSize; ++i) {
    const size_t trailer = file->size() - archive::kTrailerSize;
    uint32_t header =
        headers.empty() ? image_size : headers[input.Range<size_t>(0, headers.size() - 1)];
    uint32_t other =
        headers.empty() ? image_size : headers[input.Range<size_t>(0, headers.size() - 1)];
    const uint32_t offsets[] = {0, other, header, static_cast<uint32_t>(file->size()) - 8,
                                input.U32()};
    uint32_t offset = offsets[input.Range<int>(0, 4)];
    switch (input.Range<int>(0, 5)) {
      case 0:  // next entry: the end, a loop, itself, into the trailer, anywhere
        Store32(file, header + archive::kHeaderNextEntryAt, offset);
        break;
      case 1: {  // size: past the end of the file, or anything
        if (header + archive::kEntryHeaderSize > file->size()) break;
        uint32_t size = Load32(*file, header + archive::kHeaderSizeAt);
        const uint32_t sizes[] = {size + 1, 0x7FFFFFFFu, 0xFFFFFFFFu, 0, input.U32()};
        Store32(file, header + archive::kHeaderSizeAt, sizes[input.Range<int>(0, 4)]);
        break;
      }
      case 2:  // a name field without its NUL
        if (header + archive::kEntryHeaderSize <= file->size()) {
          std::memset(file->data() + header + archive::kHeaderNameAt, input.Bool() ? 'A' : 0xE0,
                      archive::kNameFieldSize);
        }
        break;
      case 3:  // magic
        (*file)[trailer + input.Range<size_t>(0, archive::kMagicSize - 1)] ^=
            input.Range<uint8_t>(1, 255);
        break;
      case 4:
        Store32(file, trailer + archive::kTrailerFirstEntryAt, offset);
        break;
      default: {  // any byte
        size_t flipped = input.Range<size_t>(0, file->size() - 1);
        (*file)[flipped] ^= input.Range<uint8_t>(1, 255);
        break;
      }
    }
  }
  if (input.Range<int>(0, 7) == 0) {  // a download cut short
    file->resize(input.Range<size_t>(0, file->size()));
  }
}

// ---- The pretend machine -----------------------------------------------------------------------

std::string g_drive;  // host folder of drive C: for the current input

// ---- What the launcher may start ---------------------------------------------------------------

struct MemoryStream {
  const Bytes* bytes;
  size_t at;
  uint32_t left;  // of the current record's share
  Bytes out;
};

uint32_t ReadShare(uint8_t* buffer, uint32_t* count, void* param) {
  auto* s = static_cast<MemoryStream*>(param);
  uint32_t n = std::min(*count, s->left);
  s->left -= n;
  n = static_cast<uint32_t>(std::min<size_t>(n, s->bytes->size() - s->at));
  std::memcpy(buffer, s->bytes->data() + s->at, n);
  s->at += n;
  return n;
}

void WriteOut(uint8_t* buffer, uint32_t* count, void* param) {
  auto* s = static_cast<MemoryStream*>(param);
  s->out.insert(s->out.end(), buffer, buffer + *count);
}

// Whether a package unpacks whole, and the last content it gives the engine's name.
bool UnpacksWhole(const Bytes& package, bool* has_engine, Bytes* engine) {
  *has_engine = false;
  if (package.size() < package::kHeaderSize) return false;
  package::PackageHeader header;
  package::DecodePackageHeader(package.data(), &header);
  if (header.file_count < 1) return false;
  // Zeroed for each package and reused for its files, as the unpacker does: a copy that reaches
  // back before a stream's first byte reads the window's history, the previous file's bytes.
  static ImplodeWorkArea work_area;
  std::memset(&work_area, 0, sizeof work_area);
  MemoryStream stream{&package, package::kHeaderSize, 0, {}};
  for (int32_t i = 0; i < header.file_count; ++i) {
    if (package.size() - stream.at < package::kRecordSize) return false;
    package::FileRecord record;
    package::DecodeFileRecord(package.data() + stream.at, &record);
    stream.at += package::kRecordSize;
    if (text::CheckFileName(record.name, package::kNameFieldSize) != text::FILE_NAME_OK)
      return false;
    if (text::EqualsIgnoringAsciiCase(record.name, "~0000.shr") ||
        text::EqualsIgnoringAsciiCase(record.name, "~0000.bat"))
      return false;
    stream.left = record.compressed_size;
    stream.out.clear();
    if (DecodeImplodeStream(ReadShare, WriteOut, &work_area, &stream) != IMPLODE_OK) return false;
    if (std::strcmp(record.name, kEngineName) == 0) {
      *has_engine = true;
      *engine = stream.out;
    }
  }
  return true;
}

// The engine package's bytes as the launcher reads them: an archive member "~0000.shr" shadows
// the copy in the work directory; the copy is "inst32.shr" or, failing that on the 32-bit route,
// "inst16.shr". False when there is none, or it fails its checksum: no engine may start then.
bool EnginePackage(const std::string& module, const std::string& scratch, bool thirty_two_bit,
                   Bytes* package) {
  static uint8_t buffer[kCopyBlockSize];
  static ArchiveReader reader;
  ResetArchiveReader(&reader);
  SelectArchiveSource(&reader, module.c_str());
  // The unpacker reads a shadowing member straight from the archive, as far as the file goes:
  // a member whose size runs past the end is no copy, but its package may still be whole.
  MemberStream* shadow = OpenMember(&reader, "C:\\Setup\\~0000.shr");
  if (shadow != nullptr) {
    package->clear();
    int32_t got;
    while ((got = ReadMember(shadow, buffer, sizeof buffer)) > 0) {
      package->insert(package->end(), buffer, buffer + got);
    }
    // A member that fails its checksum is no package to start an engine from.
    const bool damaged = shadow->damaged;
    CloseMember(shadow);
    CloseArchive(&reader);
    return !damaged;
  }
  // A copy that fails its checksum is no copy, and the run ends: no fallback to inst16.shr.
  int copied = thirty_two_bit
                   ? CopyMemberToFile(&reader, "C:\\Setup\\inst32.shr", scratch.c_str(), buffer)
                   : COPY_FAILED;
  if (copied == COPY_FAILED) {
    copied = CopyMemberToFile(&reader, "C:\\Setup\\inst16.shr", scratch.c_str(), buffer);
  }
  CloseArchive(&reader);
  return copied == COPY_DONE && ReadWhole(scratch, package);
}

// ---- The checks ----------------------------------------------------------------------------

void CheckDrive(const std::vector<std::string>& beside_setup, bool trace_log, bool foreign,
                const std::string& work_name) {
  if (Listing(g_drive) != std::vector<std::string>{"Setup", "TEMP", "WINDOWS"}) std::abort();
  if (Listing(g_drive + "/Setup") != beside_setup) std::abort();
  // WINDOWS\Temp is the machine's fallback temporary folder; TEMP takes every work directory
  // here, so it stays empty.
  for (const std::string& name : Listing(g_drive + "/WINDOWS")) {
    if (name == "Temp" && Listing(g_drive + "/WINDOWS/Temp").empty()) continue;
    if (name != "tovalin.log" && !(trace_log && name == "dizozud.log")) std::abort();
  }
  if (trace_log && !IsPlainFile(g_drive + "/WINDOWS/dizozud.log")) std::abort();

  std::vector<std::string> temp = Listing(g_drive + "/TEMP");
  if (foreign) {
    if (Listing(g_drive + "/TEMP/" + kForeignDirectory) != std::vector<std::string>{"keep.txt"}) {
      std::abort();
    }
    Bytes kept;
    if (!ReadWhole(g_drive + "/TEMP/" + kForeignDirectory + "/keep.txt", &kept) ||
        kept != Bytes{'k'}) {
      std::abort();
    }
    temp.erase(std::find(temp.begin(), temp.end(), kForeignDirectory));
  }
  if (temp.size() > 1) std::abort();
  if (temp.empty()) return;
  if (work_name.compare(0, 2, "AI") != 0 || work_name.size() < 6 ||
      work_name.compare(work_name.size() - 4, 4, ".tmp") != 0) {
    std::abort();
  }
  const std::string work = g_drive + "/TEMP/" + work_name;
  for (const std::string& name : Listing(work)) {
    if (!IsPlainFile(work + "/" + name)) std::abort();
    if (text::CheckFileName(name.c_str(), name.size() + 1) != text::FILE_NAME_OK) std::abort();
  }
  // Every cleanup line stays inside the work directory.
  Bytes script;
  if (!ReadWhole(work + "/~0000.bat", &script)) return;
  const std::string text(script.begin(), script.end());
  const std::string windows_work = "C:\\TEMP\\" + work_name;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find("\r\n", start);
    if (end == std::string::npos) std::abort();
    std::string line = text.substr(start, end - start);
    start = end + 2;
    if (line == "rd " + windows_work) continue;
    const std::string prefix = "del " + windows_work + "\\";
    if (line.compare(0, prefix.size(), prefix) != 0) std::abort();
    std::string name = line.substr(prefix.size());
    if (text::CheckFileName(name.c_str(), name.size() + 1) != text::FILE_NAME_OK) std::abort();
  }
}

void ResetLauncher() {
  pretend::ResetMachine();
  g_host_dialog = HostDialog{};
}

// The pretend drives live in memory where the host allows: each input makes and removes a few
// dozen files.
std::string MakeParent() {
  static std::string parent;
  char in_memory[] = "/dev/shm/installer-fuzz-XXXXXX";
  if (mkdtemp(in_memory) != nullptr) {
    parent = in_memory;
  } else {
    char on_disk[] = "/tmp/installer-fuzz-XXXXXX";
    if (mkdtemp(on_disk) == nullptr) std::abort();
    parent = on_disk;
  }
  std::atexit([] {
    std::error_code ignored;
    std::filesystem::remove_all(parent, ignored);
  });
  return parent;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string parent = MakeParent();
  Recipe input(data, size);

  const uint8_t flags = input.Byte();
  const bool add_required = (flags & 1) != 0;
  const bool sixteen_bit = (flags & 2) != 0;
  const bool trace_log = (flags & 4) != 0;
  const bool foreign = (flags & 8) != 0;
  const bool double_byte = (flags & 0x10) != 0;
  // The quiet name selects quiet mode; its script is "ZiDidazo.cfg".
  const std::string module_name = (flags & 0x20) != 0 ? "ZiDidazo.exe" : "setup.exe";
  const std::string script_name = module_name.substr(0, module_name.size() - 3) + "cfg";
  const bool redirection = (flags & 0x40) != 0;  // "setup.exe.local" beside it
  const char* language = (flags & 0x80) != 0 ? "DEU" : "ENU";
  const Bytes typed = input.Take(input.Range<size_t>(0, 48));
  std::string command_line(typed.begin(), typed.end());
  command_line.resize(std::min(command_line.size(), command_line.find('\0')));

  std::vector<archive::NewMember> members = MakeMembers(input, add_required, script_name);
  // A PE image in front, as every real installer has, so that a signature can be found.
  const Bytes image = testing_support::MinimalPeImage();

  g_drive = parent + "/c";
  pretend::EngineSeen seen;
  seen.exit_code = kEngineExitCode;
  if (!pretend::SetUpStandardMachine(g_drive, &seen)) std::abort();
  std::error_code ignored;
  if (trace_log) WriteWhole(g_drive + "/WINDOWS/dizozud.log", {});
  if (foreign) {
    std::filesystem::create_directories(g_drive + "/TEMP/" + kForeignDirectory, ignored);
    WriteWhole(g_drive + "/TEMP/" + kForeignDirectory + "/keep.txt", {'k'});
  }

  std::vector<std::string> beside_setup = {module_name};
  if (redirection) {
    beside_setup.push_back(module_name + ".local");
    std::filesystem::create_directories(g_drive + "/Setup/" + beside_setup.back(), ignored);
  }
  const std::string setup = g_drive + "/Setup/" + module_name;
  const std::string module = "C:\\Setup\\" + module_name;
  if (!archive::WriteInstallerFile(setup, image, members, nullptr)) std::abort();
  Bytes installer;
  if (!ReadWhole(setup, &installer)) std::abort();
  DamageArchive(input, members, static_cast<uint32_t>(image.size()), &installer);
  SignArchive(input, &installer);
  WriteWhole(setup, installer);

  pretend::PretendMachine& m = pretend::Machine();
  text::Copy(m.module_path, sizeof m.module_path, module.c_str());
  text::Copy(m.abbreviated_language_name, sizeof m.abbreviated_language_name, language);
  if (double_byte) pretend::SetLeadByteRange(0x81, 0xFE);
  m.clock_pinned = true;
  if (sixteen_bit) m.system_version = 0x0203;  // "3.2"
  // As the entry point leaves the run's state for the sequence.
  static RunState run;
  ResetRunState(&run);
  text::Copy(run.kept_command_line, sizeof run.kept_command_line, command_line.c_str());
  if (SelectsQuietMode(command_line.c_str())) run.show_progress = false;

  uint32_t exit_code = 0;
  const int launched = RunBootstrapSteps(&run, nullptr, &exit_code);

  // The work directory is the one new entry in TEMP.
  std::string work_name;
  for (const std::string& name : Listing(g_drive + "/TEMP")) {
    if (!(foreign && name == kForeignDirectory)) work_name = name;
  }
  CheckDrive(beside_setup, trace_log, foreign, work_name);

  if (std::getenv("INSTALLER_FUZZ_VERBOSE") != nullptr) {  // for looking at one input
    std::fprintf(stderr, "members %zu, launched %d, exit code %u, engine starts %d, work '%s'\n",
                 members.size(), launched, exit_code, seen.starts, work_name.c_str());
  }
  if (redirection && (launched != 0 || !work_name.empty())) std::abort();
  if (seen.starts > 1 || (seen.starts == 1 && !launched)) std::abort();
  if (seen.starts == 1) {
    if (exit_code != kEngineExitCode) std::abort();
    if (seen.command_line.compare(0, 8 + work_name.size() + 11,
                                  "C:\\TEMP\\" + work_name + "\\" + kEngineName + " ") != 0) {
      std::abort();
    }
    Bytes package;
    bool has_engine = false;
    Bytes engine;
    if (!EnginePackage(module, parent + "/engine.shr", !sixteen_bit, &package)) std::abort();
    if (!UnpacksWhole(package, &has_engine, &engine)) std::abort();
    if (std::getenv("INSTALLER_FUZZ_VERBOSE") != nullptr) {
      std::fprintf(
          stderr, "engine package %zu bytes, packed engine %d (%zu bytes), seen %d (%zu bytes)\n",
          package.size(), has_engine, engine.size(), seen.engine_present, seen.engine.size());
    }
    // Only the engine package carries the engine's name, so whatever is there came from it.
    if (has_engine && (!seen.engine_present || engine != seen.engine)) std::abort();
  }

  ResetLauncher();
  std::filesystem::remove_all(g_drive, ignored);
  return 0;
}
