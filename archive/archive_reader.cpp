#include "archive/archive_reader.h"

#include <cstdint>
#include <cstring>

#include "archive/archive_end.h"
#include "archive/archive_format.h"
#include "archive/member_chain.h"
#include "archive/member_name.h"
#include "base/bounded_text.h"
#include "base/crc32.h"

namespace {

void ForgetSource(ArchiveReader* reader) {
  reader->source_path[0] = '\0';
  reader->archive_handle = platform::kNoFile;
  reader->first_entry_offset = 0;
  reader->last_entry_offset = 0;
  reader->archive_end = 0;
  reader->checksums = archive::ChecksumRecord{0, 0};
  reader->archive_position = -1;
}

// The lazy open: reads the trailer once per selected source. Any failure forgets the source, so
// a file without an archive is opened once and never again until it is selected anew.
void OpenArchive(ArchiveReader* reader) {
  if (reader->archive_handle != platform::kNoFile || reader->source_path[0] == '\0') return;
  platform::FileHandle file = platform::OpenForReading(reader->source_path);
  if (file == platform::kNoFile) {
    ForgetSource(reader);
    return;
  }
  uint8_t bytes[archive::kTrailerSize];
  archive::ArchiveTrailer trailer;
  archive::ArchiveBounds bounds = {};
  const int32_t file_size = platform::Seek(file, 0, platform::kFromEnd);
  if (file_size >= 0) FindArchiveBounds(file, static_cast<uint32_t>(file_size), &bounds);
  // The trailer ends the archive; a file too short to hold one carries none.
  const int32_t trailer_at = static_cast<int32_t>(bounds.end) - static_cast<int32_t>(sizeof bytes);
  if (file_size < 0 || trailer_at < 0 ||
      platform::Seek(file, trailer_at, platform::kFromStart) != trailer_at ||
      platform::ReadBytes(file, bytes, sizeof bytes) != static_cast<int32_t>(sizeof bytes) ||
      !archive::DecodeTrailer(bytes, &trailer)) {
    platform::CloseFile(file);
    ForgetSource(reader);
    return;
  }
  reader->archive_handle = file;
  reader->first_entry_offset = trailer.first_entry_offset;
  reader->last_entry_offset = trailer.last_entry_offset;
  reader->archive_end = bounds.end;
  archive::FindChecksumRecord(file, bounds.end, trailer.first_entry_offset, &reader->checksums);
}

bool ArchiveAvailable(const ArchiveReader* reader) {
  return reader != nullptr && reader->first_entry_offset != 0;
}

// Walks the chain for the first member named like key. 1 with entry filled, and index set to
// its place along the chain, when found; every kind of broken chain counts as "no such member".
int FindArchiveMember(ArchiveReader* reader, const char* key, archive::ChainEntry* entry,
                      uint32_t* index) {
  archive::ChainWalk walk;
  reader->archive_position = -1;  // the walk moves the file
  archive::BeginChainWalk(&walk, reader->archive_handle, reader->first_entry_offset,
                          reader->archive_end);
  while (archive::NextChainEntry(&walk, entry)) {
    if (archive::NameFieldMatchesKey(entry->header.name, key)) {
      *index = walk.headers_read - 1;
      return 1;
    }
  }
  return 0;
}

void FillFromArchiveEntry(MemberStream* stream, ArchiveReader* reader,
                          const archive::ChainEntry& entry) {
  stream->archive = reader;
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

// False, with damaged set for good, once a checked stream has read every byte of its member and
// they do not match its checksum. A stream only moves forward, so at its end it has seen them all.
bool HoldsItsChecksum(MemberStream* stream) {
  if (!stream->checked || stream->position != stream->size || stream->crc == stream->expected_crc) {
    return true;
  }
  stream->damaged = true;
  return false;
}

int OpenLooseFile(MemberStream* stream, const char* path) {
  if (HasWildcard(path)) return 0;
  // The last-write time, in UTC, as DOS date and time.
  if (!platform::GetLastWriteDosDateTime(path, &stream->dos_date, &stream->dos_time)) return 0;
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

void ResetArchiveReader(ArchiveReader* reader) {
  ForgetSource(reader);
}

void SelectArchiveSource(ArchiveReader* reader, const char* path) {
  CloseArchive(reader);
  if (path == nullptr) return;
  // A source path cut short would name some other file: a path that does not fit selects none.
  if (!text::Copy(reader->source_path, sizeof reader->source_path, path)) {
    reader->source_path[0] = '\0';
  }
}

void CloseArchive(ArchiveReader* reader) {
  if (reader->archive_handle != platform::kNoFile) platform::CloseFile(reader->archive_handle);
  ForgetSource(reader);
}

MemberStream* OpenMember(ArchiveReader* reader, const char* path) {
  if (path == nullptr) return nullptr;
  archive::ChainEntry entry;
  uint32_t index = 0;
  int found = 0;
  if (reader != nullptr) {
    OpenArchive(reader);
    char key[archive::kKeyCapacity];
    // A key beyond the limits is no name any member can have: straight to the loose file.
    if (ArchiveAvailable(reader) && archive::MakeLookupKey(path, key, sizeof key)) {
      found = FindArchiveMember(reader, key, &entry, &index);
    }
  }

  MemberStream* stream = static_cast<MemberStream*>(platform::AllocateZeroed(sizeof(MemberStream)));
  if (stream == nullptr) return nullptr;
  if (found) {
    FillFromArchiveEntry(stream, reader, entry);
    reader->archive_position = -1;  // the checksum's read moves the file
    stream->checked = archive::ReadMemberChecksum(reader->archive_handle, reader->checksums, index,
                                                  &stream->expected_crc) != 0;
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
  ArchiveReader* reader = stream->archive;
  if (!ArchiveAvailable(reader) || stream->damaged) return -1;
  // Nothing past the archive's end is a member's, however large its header says it is.
  int64_t rest = static_cast<int64_t>(stream->size) - stream->position;
  int64_t before_end =
      static_cast<int64_t>(reader->archive_end) - stream->data_start - stream->position;
  if (rest > before_end) rest = before_end;
  if (count > rest) count = rest > 0 ? static_cast<int32_t>(rest) : 0;
  if (count == 0) return HoldsItsChecksum(stream) ? 0 : -1;
  // Streams share the archive file, and other streams and lookups may have moved it since this
  // stream's last read: position it unless it is known to stand right there.
  int32_t at = stream->data_start + stream->position;
  if (reader->archive_position != at) {
    reader->archive_position = -1;
    if (platform::Seek(reader->archive_handle, at, platform::kFromStart) != at) return -1;
  }
  int32_t got = platform::ReadBytes(reader->archive_handle, buffer, static_cast<uint32_t>(count));
  if (got < 0) {
    reader->archive_position = -1;
    return -1;
  }
  reader->archive_position = at + got;
  if (stream->checked)
    stream->crc = text::UpdateCrc32(stream->crc, buffer, static_cast<size_t>(got));
  stream->position += got;
  return HoldsItsChecksum(stream) ? got : -1;
}

void CloseMember(MemberStream* stream) {
  if (stream == nullptr) return;
  if (stream->file_handle != platform::kNoFile) platform::CloseFile(stream->file_handle);
  platform::FreeMemory(stream);
}

int HasInstallScriptMember(ArchiveReader* reader) {
  OpenArchive(reader);
  if (!ArchiveAvailable(reader)) return 0;
  archive::ChainWalk walk;
  archive::ChainEntry entry;
  reader->archive_position = -1;  // the walk moves the file
  archive::BeginChainWalk(&walk, reader->archive_handle, reader->first_entry_offset,
                          reader->archive_end);
  while (archive::NextChainEntry(&walk, &entry)) {
    if (archive::NameFieldMarksInstallScript(entry.header.name)) return 1;
  }
  return 0;
}

int CopyMemberToFile(ArchiveReader* reader, const char* path, const char* target, void* buffer) {
  MemberStream* stream = OpenMember(reader, path);
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
  const int32_t size = stream->size;
  const bool damaged = stream->damaged;
  CloseMember(stream);
  platform::CloseFile(out);
  if (failed || copied != size) {
    platform::RemoveFile(target);
    return damaged ? COPY_DAMAGED : COPY_FAILED;
  }
  return COPY_DONE;
}
