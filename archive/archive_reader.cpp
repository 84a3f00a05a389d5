#include "archive/archive_reader.h"

#include <cstdint>
#include <cstring>

#include "archive/archive_format.h"
#include "archive/member_chain.h"
#include "archive/member_name.h"
#include "platform/bounded_text.h"

namespace {

ArchiveState g_archive = {{0}, platform::kNoFile, 0, 0, -1, 0};

void ForgetSource() {
  g_archive.source_path[0] = '\0';
  g_archive.archive_handle = platform::kNoFile;
  g_archive.first_entry_offset = 0;
  g_archive.last_entry_offset = 0;
  g_archive.archive_position = -1;
}

void CloseArchiveAtExit() {
  CloseArchive();
}

// The lazy open: reads the trailer once per selected source. Any failure forgets the source, so
// a file without an archive is opened once and never again until it is selected anew.
void OpenArchive() {
  if (g_archive.archive_handle != platform::kNoFile || g_archive.source_path[0] == '\0') return;
  platform::FileHandle file = platform::OpenForReading(g_archive.source_path);
  if (file == platform::kNoFile) {
    ForgetSource();
    return;
  }
  uint8_t bytes[archive::kTrailerSize];
  archive::ArchiveTrailer trailer;
  // A file shorter than the trailer fails the positioning (or, at worst, the read comes short).
  if (platform::Seek(file, -static_cast<int32_t>(sizeof bytes), platform::kFromEnd) < 0 ||
      platform::ReadBytes(file, bytes, sizeof bytes) != static_cast<int32_t>(sizeof bytes) ||
      !archive::DecodeTrailer(bytes, &trailer)) {
    platform::CloseFile(file);
    ForgetSource();
    return;
  }
  g_archive.archive_handle = file;
  g_archive.first_entry_offset = trailer.first_entry_offset;
  g_archive.last_entry_offset = trailer.last_entry_offset;
  // Once is enough; should registering fail, the next accepted trailer tries again.
  if (!g_archive.close_at_exit_registered) {
    g_archive.close_at_exit_registered = platform::CallAtExit(CloseArchiveAtExit);
  }
}

bool ArchiveAvailable() {
  return g_archive.first_entry_offset != 0;
}

// Walks the chain for the first member named like key. 1 with entry filled when found; every
// kind of broken chain counts as "no such member".
int FindArchiveMember(const char* key, archive::ChainEntry* entry) {
  archive::ChainWalk walk;
  g_archive.archive_position = -1;  // the walk moves the file
  archive::BeginChainWalk(&walk, g_archive.archive_handle, g_archive.first_entry_offset);
  while (archive::NextChainEntry(&walk, entry)) {
    if (archive::NameFieldMatchesKey(entry->header.name, key)) return 1;
  }
  return 0;
}

void FillFromArchiveEntry(MemberStream* stream, const archive::ChainEntry& entry) {
  stream->file_handle = platform::kNoFile;
  // The walk only delivers headers that lie within the file, whose size fits a signed position.
  stream->data_start = static_cast<int32_t>(entry.header_offset + archive::kEntryHeaderSize);
  stream->position = 0;
  // A size beyond any file this reader can position in is capped; the reads stop at the file's
  // end long before.
  stream->size =
      entry.header.size > INT32_MAX ? INT32_MAX : static_cast<int32_t>(entry.header.size);
  stream->dos_date = entry.header.dos_date;
  stream->dos_time = entry.header.dos_time;
  stream->attributes = entry.header.attributes;
}

bool HasWildcard(const char* path) {
  return std::strchr(path, '*') != nullptr || std::strchr(path, '?') != nullptr;
}

// The last-write time of a file in UTC, as DOS date and time; 0 or a system error code.
uint32_t GetFileDosDateTime(const char* path, uint32_t* dos_date, uint32_t* dos_time) {
  return platform::GetLastWriteDosDateTime(path, dos_date, dos_time);
}

int OpenLooseFile(MemberStream* stream, const char* path) {
  if (HasWildcard(path)) return 0;
  if (GetFileDosDateTime(path, &stream->dos_date, &stream->dos_time) != 0) return 0;
  platform::FileHandle file = platform::OpenForReading(path);
  if (file == platform::kNoFile) return 0;
  stream->file_handle = file;
  stream->attributes = platform::GetAttributes(path);
  int32_t length = platform::Seek(file, 0, platform::kFromEnd);
  platform::Seek(file, 0, platform::kFromStart);
  stream->size = length < 0 ? 0 : length;
  stream->data_start = 0;
  stream->position = 0;
  return 1;
}

// Writes count bytes or reports that it could not.
bool WriteWhole(platform::FileHandle file, const void* buffer, int32_t count) {
  if (count == 0) return true;
  return platform::WriteBytes(file, buffer, static_cast<uint32_t>(count)) == count;
}

}  // namespace

void SelectArchiveSource(const char* path) {
  if (g_archive.archive_handle != platform::kNoFile) platform::CloseFile(g_archive.archive_handle);
  ForgetSource();
  if (path == nullptr) return;
  // A source path cut short would name some other file: a path that does not fit selects none.
  if (!text::Copy(g_archive.source_path, sizeof g_archive.source_path, path)) {
    g_archive.source_path[0] = '\0';
  }
}

void CloseArchive() {
  if (g_archive.archive_handle != platform::kNoFile) platform::CloseFile(g_archive.archive_handle);
  ForgetSource();
}

MemberStream* OpenMember(const char* path) {
  if (path == nullptr) return nullptr;
  OpenArchive();
  archive::ChainEntry entry;
  int found = 0;
  if (ArchiveAvailable()) {
    char key[archive::kKeyCapacity];
    // A key beyond the limits is no name any member can have: straight to the loose file.
    if (archive::MakeLookupKey(path, key, sizeof key)) found = FindArchiveMember(key, &entry);
  }

  MemberStream* stream = static_cast<MemberStream*>(platform::AllocateZeroed(sizeof(MemberStream)));
  if (stream == nullptr) return nullptr;
  if (found) {
    FillFromArchiveEntry(stream, entry);
    return stream;
  }
  // The loose file goes by the full path, as given, not by the key.
  if (!OpenLooseFile(stream, path)) {
    platform::FreeMemory(stream);
    return nullptr;
  }
  return stream;
}

int32_t ReadMember(MemberStream* stream, void* buffer, int32_t count) {
  if (stream == nullptr || buffer == nullptr || count < 0) return -1;
  if (stream->file_handle != platform::kNoFile) {
    return platform::ReadBytes(stream->file_handle, buffer, static_cast<uint32_t>(count));
  }
  if (!ArchiveAvailable()) return -1;
  int64_t rest = static_cast<int64_t>(stream->size) - stream->position;
  if (count > rest) count = rest > 0 ? static_cast<int32_t>(rest) : 0;
  if (count == 0) return 0;
  // Streams share the archive file, and other streams and lookups may have moved it since this
  // stream's last read: position it unless it is known to stand right there.
  int32_t at = stream->data_start + stream->position;
  if (g_archive.archive_position != at) {
    g_archive.archive_position = -1;
    if (platform::Seek(g_archive.archive_handle, at, platform::kFromStart) != at) return -1;
  }
  int32_t got = platform::ReadBytes(g_archive.archive_handle, buffer, static_cast<uint32_t>(count));
  if (got < 0) {
    g_archive.archive_position = -1;
    return -1;
  }
  stream->position += got;
  g_archive.archive_position = at + got;
  return got;
}

void CloseMember(MemberStream* stream) {
  if (stream == nullptr) return;
  if (stream->file_handle != platform::kNoFile) platform::CloseFile(stream->file_handle);
  platform::FreeMemory(stream);
}

int HasInstallScriptMember() {
  OpenArchive();
  if (!ArchiveAvailable()) return 0;
  archive::ChainWalk walk;
  archive::ChainEntry entry;
  g_archive.archive_position = -1;  // the walk moves the file
  archive::BeginChainWalk(&walk, g_archive.archive_handle, g_archive.first_entry_offset);
  while (archive::NextChainEntry(&walk, &entry)) {
    if (archive::NameFieldMarksInstallScript(entry.header.name)) return 1;
  }
  return 0;
}

int CopyMemberToFile(const char* source, const char* path, const char* target, void* buffer) {
  SelectArchiveSource(source);
  MemberStream* stream = OpenMember(path);
  if (stream == nullptr) return 0;
  platform::FileHandle out = platform::CreateOrTruncate(target);
  if (out == platform::kNoFile) {
    CloseMember(stream);
    return 0;
  }
  // Counting what arrives tells a whole copy from one cut short by a file that ends early.
  int64_t copied = 0;
  bool failed = false;
  for (;;) {
    int32_t got = ReadMember(stream, buffer, kCopyBlockSize);
    if (got < 0 || !WriteWhole(out, buffer, got)) {
      failed = true;
      break;
    }
    copied += got;
    if (got < kCopyBlockSize) break;
  }
  int32_t size = stream->size;
  CloseMember(stream);
  platform::CloseFile(out);
  if (failed || copied != size) {
    platform::RemoveFile(target);
    return 0;
  }
  return 1;
}

const ArchiveState& CurrentArchiveState() {
  return g_archive;
}
