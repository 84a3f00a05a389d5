#include "archive/archive_writer.h"

#include <cstdint>
#include <cstring>
#include <functional>

#include "archive/member_name.h"
#include "base/crc32.h"

namespace archive {
namespace {

// Member data moves through a buffer of this size; nothing holds a whole member.
constexpr uint32_t kStreamBlockSize = 1u << 16;
// Signing tools pad a file to a multiple of this before they append the certificate table.
constexpr uint32_t kSigningAlignment = 8;

int Fail(std::string* error, const std::string& reason) {
  if (error != nullptr) *error = reason;
  return 0;
}

bool WriteAll(platform::FileHandle out, const void* bytes, size_t count) {
  if (count == 0) return true;
  return platform::WriteBytes(out, bytes, static_cast<uint32_t>(count)) ==
         static_cast<int32_t>(count);
}

// Where one member lands in the file.
struct PlacedMember {
  const NewMember* entry;
  uint32_t header_offset;
  uint32_t size;
};

// The size of a member's data: its bytes, or the length of its source file now.
int MeasureMember(const NewMember& entry, uint64_t* size, std::string* error) {
  if (entry.source_path.empty()) {
    *size = entry.data.size();
    return 1;
  }
  platform::FileHandle in = platform::OpenForReading(entry.source_path.c_str());
  if (in == platform::kNoFile) return Fail(error, "cannot open " + entry.source_path);
  int32_t length = platform::Seek(in, 0, platform::kFromEnd);
  platform::CloseFile(in);
  if (length < 0) return Fail(error, "cannot measure " + entry.source_path);
  *size = static_cast<uint32_t>(length);
  return 1;
}

// Copies exactly size bytes of a source file; a file that changed size since it was measured
// would leave the chain pointing into the wrong bytes, so that is a failure.
int StreamSourceFile(platform::FileHandle out, const NewMember& entry, uint32_t size,
                     const WriteProgress& progress, uint32_t* crc, std::string* error) {
  platform::FileHandle in = platform::OpenForReading(entry.source_path.c_str());
  if (in == platform::kNoFile) return Fail(error, "cannot open " + entry.source_path);
  std::vector<uint8_t> block(kStreamBlockSize);
  uint32_t left = size;
  int ok = 1;
  while (left > 0 && ok) {
    uint32_t want = left < kStreamBlockSize ? left : kStreamBlockSize;
    int32_t got = platform::ReadBytes(in, block.data(), want);
    if (got != static_cast<int32_t>(want)) {
      ok = Fail(error, "cannot read " + entry.source_path + " whole");
    } else if (!WriteAll(out, block.data(), want)) {
      ok = Fail(error, "cannot write member " + entry.name);
    } else {
      *crc = text::UpdateCrc32(*crc, block.data(), want);
      if (progress) progress(want);
    }
    left -= want;
  }
  platform::CloseFile(in);
  return ok;
}

// Writes a member's header and data; crc gets the data's checksum.
int WriteMember(platform::FileHandle out, const PlacedMember& placed, uint32_t next_offset,
                const WriteProgress& progress, uint32_t* crc, std::string* error) {
  const NewMember& entry = *placed.entry;
  EntryHeader header = {};
  header.next_entry_offset = next_offset;
  header.attributes = entry.attributes;
  header.dos_time = entry.dos_time;
  header.dos_date = entry.dos_date;
  header.size = placed.size;
  // The field is zero-filled, so the name keeps its NUL and the rest is reproducible.
  std::memcpy(header.name, entry.name.data(), entry.name.size());
  uint8_t bytes[kEntryHeaderSize];
  EncodeEntryHeader(header, bytes);
  if (!WriteAll(out, bytes, sizeof bytes))
    return Fail(error, "cannot write header of " + entry.name);
  *crc = text::kCrc32Start;
  if (!entry.source_path.empty()) {
    return StreamSourceFile(out, entry, placed.size, progress, crc, error);
  }
  if (!WriteAll(out, entry.data.data(), entry.data.size())) {
    return Fail(error, "cannot write member " + entry.name);
  }
  *crc = text::UpdateCrc32(*crc, entry.data.data(), entry.data.size());
  if (progress) progress(entry.data.size());
  return 1;
}

// The member directory: one record per member in chain order, then the tail.
std::vector<uint8_t> BuildDirectory(const std::vector<PlacedMember>& placed) {
  std::vector<uint8_t> directory;
  uint32_t record_area_length = 0;
  for (const PlacedMember& member : placed) {
    record_area_length += DirectoryRecordSize(member.entry->name.size());
  }
  directory.resize(record_area_length + kDirectoryTailSize);
  uint32_t at = 0;
  for (const PlacedMember& member : placed) {
    const NewMember& entry = *member.entry;
    DirectoryRecord record = {};
    // The last record's "next" points at the tail, which is where the records end.
    record.next_record = at + DirectoryRecordSize(entry.name.size());
    record.attributes = entry.attributes;
    record.dos_time = entry.dos_time;
    record.dos_date = entry.dos_date;
    record.data_offset = member.header_offset + kEntryHeaderSize;
    record.size = member.size;
    record.name = entry.name.c_str();
    at += EncodeDirectoryRecord(record, directory.data() + at);
  }
  EncodeDirectoryTail(record_area_length, directory.data() + at);
  return directory;
}

std::string WithThousands(uint64_t n) {
  std::string digits = std::to_string(n);
  for (size_t at = digits.size(); at > 3; at -= 3)
    digits.insert(at - 3, ",");
  return digits;
}

// Where everything goes, worked out before anything is written: members back to back after the
// image, zero padding that makes the file's length a multiple of 8, the members' checksums, the
// directory, the trailer.
struct Layout {
  std::vector<PlacedMember> placed;
  uint32_t padding;
  std::vector<uint8_t> directory;
  uint64_t installer_size;
};

int LayOut(uint64_t image_size, const std::vector<NewMember>& members, Layout* layout,
           std::string* error) {
  // A first entry offset of 0 means "no members", so the first header cannot start the file.
  if (image_size == 0 && !members.empty()) return Fail(error, "members need an image in front");
  layout->placed.clear();
  uint64_t offset = image_size;
  for (const NewMember& entry : members) {
    if (!IsStorableMemberName(entry.name))
      return Fail(error, "bad member name \"" + entry.name + "\"");
    uint64_t size = 0;
    if (!MeasureMember(entry, &size, error)) return 0;
    // Offsets are checked against the limit below; until then they must not wrap.
    if (offset > kLargestInstaller) break;
    layout->placed.push_back({&entry, static_cast<uint32_t>(offset), static_cast<uint32_t>(size)});
    offset += kEntryHeaderSize + size;
  }
  layout->directory = BuildDirectory(layout->placed);
  const uint64_t checksums = uint64_t{kChecksumSize} * members.size() + kChecksumTailSize;
  uint64_t unpadded = offset + checksums + layout->directory.size() + kTrailerSize;
  layout->padding =
      static_cast<uint32_t>((kSigningAlignment - unpadded % kSigningAlignment) % kSigningAlignment);
  layout->installer_size = unpadded + layout->padding;
  if (layout->placed.size() != members.size() || layout->installer_size > kLargestInstaller) {
    return Fail(error, "the installer would take " +
                           (layout->placed.size() == members.size()
                                ? WithThousands(layout->installer_size) + " bytes"
                                : std::string("more")) +
                           ", more than the " + WithThousands(kLargestInstaller) +
                           " an installer may have (2 GiB, less room for a signature); leave "
                           "the largest members out and ship them as loose files beside the "
                           "installer, where the launcher looks for every member it does not "
                           "find in its archive");
  }
  return 1;
}

int WriteArchive(platform::FileHandle out, const Layout& layout, const WriteProgress& progress,
                 std::string* error) {
  const std::vector<PlacedMember>& placed = layout.placed;
  // The checksums, computed as the members go out, then their tail.
  std::vector<uint8_t> checksums(placed.size() * kChecksumSize + kChecksumTailSize);
  for (size_t i = 0; i < placed.size(); ++i) {
    uint32_t next = i + 1 < placed.size() ? placed[i + 1].header_offset : 0;
    uint32_t crc = 0;
    if (!WriteMember(out, placed[i], next, progress, &crc, error)) return 0;
    StoreLittleEndian32(checksums.data() + i * kChecksumSize, crc);
  }
  EncodeChecksumTail(static_cast<uint32_t>(placed.size()),
                     checksums.data() + placed.size() * kChecksumSize);
  ArchiveTrailer trailer = {};
  if (!placed.empty()) {
    trailer.first_entry_offset = placed.front().header_offset;
    trailer.last_entry_offset = placed.back().header_offset;
  }
  uint8_t trailer_bytes[kTrailerSize];
  EncodeTrailer(trailer, trailer_bytes);
  const uint8_t padding[kSigningAlignment] = {};
  if (!WriteAll(out, padding, layout.padding) ||
      !WriteAll(out, checksums.data(), checksums.size()) ||
      !WriteAll(out, layout.directory.data(), layout.directory.size()) ||
      !WriteAll(out, trailer_bytes, sizeof trailer_bytes)) {
    return Fail(error, "cannot write the member directory");
  }
  return 1;
}

int WriteImage(const std::string& target_path, const void* bytes, size_t size,
               platform::FileHandle* out, std::string* error) {
  *out = platform::CreateOrTruncate(target_path.c_str());
  if (*out == platform::kNoFile) return Fail(error, "cannot create " + target_path);
  if (!WriteAll(*out, bytes, size)) {
    platform::CloseFile(*out);
    *out = platform::kNoFile;
    platform::RemoveFile(target_path.c_str());
    return Fail(error, "cannot write " + target_path);
  }
  return 1;
}

int FinishInstaller(const std::string& target_path, platform::FileHandle out, const Layout& layout,
                    std::string* error, const WriteProgress& progress) {
  int ok = WriteArchive(out, layout, progress, error);
  platform::CloseFile(out);
  if (!ok) platform::RemoveFile(target_path.c_str());
  return ok;
}

}  // namespace

int IsStorableMemberName(const std::string& name) {
  if (name.empty() || name.size() > kMaxNameLength) return 0;
  if (name.find('\0') != std::string::npos || name.find(':') != std::string::npos) return 0;
  // A name stores well exactly when it is its own lookup key: that refuses separators (but not
  // the trail bytes of double-byte characters) and keys the reader would refuse.
  char key[kKeyCapacity];
  return MakeLookupKey(name.c_str(), key, sizeof key) && name == key ? 1 : 0;
}

int AppendPayloadArchive(platform::FileHandle out, uint32_t image_size,
                         const std::vector<NewMember>& members, std::string* error,
                         const WriteProgress& progress) {
  Layout layout;
  return LayOut(image_size, members, &layout, error) && WriteArchive(out, layout, progress, error);
}

int WriteInstallerFile(const std::string& target_path, const std::vector<uint8_t>& image,
                       const std::vector<NewMember>& members, std::string* error,
                       const WriteProgress& progress) {
  Layout layout;
  if (!LayOut(image.size(), members, &layout, error)) return 0;
  platform::FileHandle out = platform::kNoFile;
  if (!WriteImage(target_path, image.data(), image.size(), &out, error)) return 0;
  return FinishInstaller(target_path, out, layout, error, progress);
}

int WriteInstallerFileFromImage(const std::string& target_path, const std::string& image_path,
                                const std::vector<NewMember>& members, std::string* error,
                                const WriteProgress& progress) {
  platform::FileHandle in = platform::OpenForReading(image_path.c_str());
  if (in == platform::kNoFile) return Fail(error, "cannot open " + image_path);
  int32_t image_size = platform::Seek(in, 0, platform::kFromEnd);
  platform::Seek(in, 0, platform::kFromStart);
  // Laid out before the target is touched: what would be refused writes nothing.
  Layout layout;
  if (image_size < 0) {
    platform::CloseFile(in);
    return Fail(error, "cannot measure " + image_path);
  }
  if (!LayOut(static_cast<uint32_t>(image_size), members, &layout, error)) {
    platform::CloseFile(in);
    return 0;
  }
  platform::FileHandle out = platform::kNoFile;
  int ok = WriteImage(target_path, nullptr, 0, &out, error);
  std::vector<uint8_t> block(kStreamBlockSize);
  // Exactly the measured size: the member offsets are laid out from it.
  for (int32_t left = image_size; ok && left > 0;) {
    uint32_t want = static_cast<uint32_t>(left) < kStreamBlockSize ? static_cast<uint32_t>(left)
                                                                   : kStreamBlockSize;
    int32_t got = platform::ReadBytes(in, block.data(), want);
    if (got != static_cast<int32_t>(want)) {
      ok = Fail(error, "cannot read " + image_path);
    } else if (!WriteAll(out, block.data(), static_cast<size_t>(got))) {
      ok = Fail(error, "cannot write " + target_path);
    }
    left -= got;
  }
  platform::CloseFile(in);
  if (!ok) {
    if (out != platform::kNoFile) {
      platform::CloseFile(out);
      platform::RemoveFile(target_path.c_str());
    }
    return 0;
  }
  return FinishInstaller(target_path, out, layout, error, progress);
}

}  // namespace archive
