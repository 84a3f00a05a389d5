// Members, packages and whole installers for tests that build installers: the same few lines
// every such test would otherwise write again. Tests that use it link archive_writer and
// package_writer.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "archive/archive_format.h"
#include "archive/archive_writer.h"
#include "base/crc32.h"
#include "package/package_writer.h"
#include "tests/support/dos_date.h"
#include "tests/support/test_files.h"

namespace testing_support {

// When the members and files of test installers were made, unless a test says otherwise: a
// leap day, with an odd second that the format rounds down.
constexpr uint32_t kMadeDate = DosDate(2004, 2, 29);
constexpr uint32_t kMadeTime = DosTime(13, 37, 42);

inline Bytes Text(const std::string& text) {
  return Bytes(text.begin(), text.end());
}

// An archive member with its bytes and its recorded DOS date and time.
inline archive::NewMember Member(const std::string& name, const Bytes& data,
                                 uint32_t dos_date = kMadeDate, uint32_t dos_time = kMadeTime) {
  archive::NewMember member;
  member.name = name;
  member.data = data;
  member.dos_date = dos_date;
  member.dos_time = dos_time;
  return member;
}

// A file of a package, from bytes in memory.
inline package::PackageEntry Entry(const std::string& name, const Bytes& data,
                                   uint32_t dos_date = kMadeDate, uint32_t dos_time = kMadeTime) {
  package::PackageEntry entry;
  entry.name = name;
  entry.data = data;
  entry.dos_date = dos_date;
  entry.dos_time = dos_time;
  return entry;
}

// The package of entries, written as the launcher carries them; fails the test on error.
inline Bytes Pack(const std::vector<package::PackageEntry>& entries,
                  const package::PackOptions& options = package::PackOptions()) {
  Bytes bytes;
  std::string error;
  EXPECT_EQ(package::BuildPackage(entries, options, &bytes, &error), 1) << error;
  return bytes;
}

// An installer's members in their order, each known by its name: a test starts from a recipe
// such as CompleteInstaller() and replaces, renames, drops or adds the members it is about.
// Naming a member the recipe does not hold fails the test.
class InstallerRecipe {
 public:
  using Files = std::vector<std::pair<std::string, Bytes>>;

  // Members and package files get this date and time.
  explicit InstallerRecipe(uint32_t dos_date = kMadeDate, uint32_t dos_time = kMadeTime)
      : dos_date_(dos_date), dos_time_(dos_time) {}

  // A package of these files, made when the recipe's members were.
  Bytes Package(const Files& files) const {
    std::vector<package::PackageEntry> entries;
    for (const auto& [name, data] : files)
      entries.push_back(Entry(name, data, dos_date_, dos_time_));
    return Pack(entries);
  }

  InstallerRecipe& Add(const std::string& name, const Bytes& data) {
    members_.push_back(Member(name, data, dos_date_, dos_time_));
    return *this;
  }
  InstallerRecipe& Replace(const std::string& name, const Bytes& data) {
    if (archive::NewMember* member = Find(name)) member->data = data;
    return *this;
  }
  InstallerRecipe& Rename(const std::string& name, const std::string& new_name) {
    if (archive::NewMember* member = Find(name)) member->name = new_name;
    return *this;
  }
  InstallerRecipe& Drop(const std::string& name) {
    if (const archive::NewMember* member = Find(name))
      members_.erase(members_.begin() + (member - members_.data()));
    return *this;
  }

  const std::vector<archive::NewMember>& members() const { return members_; }
  // The bytes of the member of that name.
  const Bytes& Data(const std::string& name) {
    static const Bytes none;
    const archive::NewMember* member = Find(name);
    return member != nullptr ? member->data : none;
  }

  // Where the member's entry header lies in the file Write makes: the members back to back
  // behind the image.
  size_t EntryOffset(const std::string& name, size_t image_size) const {
    size_t at = image_size;
    for (const archive::NewMember& member : members_) {
      if (member.name == name) return at;
      at += archive::kEntryHeaderSize + member.data.size();
    }
    ADD_FAILURE() << "the installer holds no member " << name;
    return 0;
  }
  size_t DataOffset(const std::string& name, size_t image_size) const {
    return EntryOffset(name, image_size) + archive::kEntryHeaderSize;
  }

  // Writes image and archive to path through the writer; fails the test if the writer refuses.
  bool Write(const std::string& path, const Bytes& image) const {
    std::string error;
    const bool written = archive::WriteInstallerFile(path, image, members_, &error) == 1;
    EXPECT_TRUE(written) << error;
    return written;
  }

 private:
  archive::NewMember* Find(const std::string& name) {
    auto found =
        std::find_if(members_.begin(), members_.end(),
                     [&](const archive::NewMember& member) { return member.name == name; });
    if (found != members_.end()) return &*found;
    ADD_FAILURE() << "the installer holds no member " << name;
    return nullptr;
  }

  uint32_t dos_date_;
  uint32_t dos_time_;
  std::vector<archive::NewMember> members_;
};

// The complete installer of the 32-bit route around an engine: greeting, install script,
// temporary files, the engine's package, the uninstaller's package, the English language
// library and dosshell.pif, in the order an author's tool writes them.
inline InstallerRecipe CompleteInstaller(const Bytes& engine) {
  InstallerRecipe installer;
  installer.Add("init.ini", Text("Welcome to the demo\r\n"))
      .Add("setup.cfg", Text("[script]"))
      .Add("temp.shr", installer.Package({{"readme.txt", Text("read me")}}))
      .Add("inst32.shr", installer.Package({{"~0000.exe", engine}}))
      .Add("unst32.shr", installer.Package({{"uninst.exe", Text("uninstaller")}}))
      .Add("InstallENU.dll", Text("english"))
      .Add("dosshell.pif", Text("pif"));
  return installer;
}

// Makes an installer's checksum record fit its members again, as the author of a hostile
// installer would: checksums tell damage from the real thing, they are no defence against an
// author. Tests that patch members call it to reach what lies behind the checksums.
inline void RecomputeChecksums(std::vector<uint8_t>* file) {
  using archive::kEntryHeaderSize;
  const size_t size = file->size();
  archive::ArchiveTrailer trailer;
  uint32_t area = 0;
  uint32_t count = 0;
  if (size < archive::kTrailerSize + archive::kDirectoryTailSize ||
      !archive::DecodeTrailer(file->data() + size - archive::kTrailerSize, &trailer) ||
      !archive::DecodeDirectoryTail(
          file->data() + size - archive::kTrailerSize - archive::kDirectoryTailSize, &area)) {
    return;
  }
  const size_t tail = size - archive::kTrailerSize - archive::kDirectoryTailSize - area -
                      archive::kChecksumTailSize;
  if (!archive::DecodeChecksumTail(file->data() + tail, &count)) return;
  uint32_t at = trailer.first_entry_offset;
  for (uint32_t i = 0; i < count && at != 0 && at + kEntryHeaderSize <= size; ++i) {
    archive::EntryHeader header;
    archive::DecodeEntryHeader(file->data() + at, &header);
    const size_t data = at + kEntryHeaderSize;
    const size_t length = std::min<size_t>(header.size, size - data);
    archive::StoreLittleEndian32(file->data() + tail - (count - i) * archive::kChecksumSize,
                                 text::UpdateCrc32(text::kCrc32Start, file->data() + data, length));
    at = header.next_entry_offset;
  }
}

}  // namespace testing_support
