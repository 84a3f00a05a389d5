// The archive reader: one way for the whole launcher to reach a named file.
//
// A caller names a path and gets a member stream. The stream reads the member of that file name
// from the payload archive behind the selected source (normally the launcher's own executable);
// when there is no usable archive, or it holds no such member, the stream reads the file at that
// very path instead (a loose file). The same launcher thus runs from an installer that carries
// its payload and from a folder where the members lie beside a bare executable.
//
// The archive file is opened lazily by the first lookup and stays open until another source is
// selected or the archive is closed. A source that carries no archive costs one attempt: it is
// forgotten, and lookups go straight to loose files until the next SelectArchiveSource.
//
// A reader and its streams belong to one thread; nothing here is locked.
#pragma once

#include <cstdint>

#include "archive/member_checksums.h"
#include "platform/files.h"

// Capacity of the source path, the NUL included: as long as any path the launcher keeps, so
// that an installer started from a deep folder still finds its own archive. A longer source is
// refused and leaves no source selected, so lookups go to loose files.
constexpr int kSourcePathCapacity = 1024;
// The block size of member copies; CopyMemberToFile's buffer holds at least this many bytes.
constexpr int32_t kCopyBlockSize = 32768;

// The archive reader: the file that carries the archive and what its trailer said. The
// launcher keeps one for its own executable; the tests make as many as they like. Its states:
//   no source            source empty, file not open, first entry offset 0
//   selected             source set,   file not open, first entry offset 0
//   available            source set,   file open,     first entry offset non-zero
//   open without members source set,   file open,     first entry offset 0
// The archive counts as available exactly when first_entry_offset is non-zero.
struct ArchiveReader {
  char source_path[kSourcePathCapacity];
  platform::FileHandle archive_handle;
  uint32_t first_entry_offset;
  uint32_t last_entry_offset;  // kept from the trailer, used by nothing
  // Where the archive ends: the file's end, or in a signed file the start of its certificate
  // table less the padding before it. No member is read past it.
  uint32_t archive_end;
  // The members' checksums, when the archive carries them (offset 0 when not).
  archive::ChecksumRecord checksums;
  // Where the archive file stands after the last member read, -1 when unknown. A stream read
  // right after its own previous read need not position the file again, which spares a copy
  // one system call per block.
  int32_t archive_position;
};

// One open member: from OpenMember until CloseMember, owned by the caller. An archive member
// has no file of its own and reads through its reader's file; it reads only while the source it
// came from stays selected and open.
struct MemberStream {
  ArchiveReader* archive;            // the reader of an archive member; nullptr for a loose file
  platform::FileHandle file_handle;  // the loose file; kNoFile for an archive member
  int32_t data_start;                // absolute offset of the first data byte; 0 for a loose file
  int32_t position;                  // read position within the data; archive members only
  int32_t size;
  uint32_t dos_date;    // low 16 bits
  uint32_t dos_time;    // low 16 bits
  uint32_t attributes;  // Win32 bits; 0xFFFFFFFF when a loose file's could not be read
  // An archive member with a checksum is checked as it is read: crc covers the data up to
  // position, and the read that reaches the end of a member whose bytes do not match its
  // checksum fails, with damaged set.
  uint32_t expected_crc;
  uint32_t crc;
  bool checked;
  bool damaged;
};

// Puts a reader into the "no source" state, as a reader starts. A reader must be reset once
// before anything else is done with it.
void ResetArchiveReader(ArchiveReader* reader);

// Points the reader at the file that carries the archive; an empty path selects none. An open
// archive file is closed first. Nothing is opened here.
void SelectArchiveSource(ArchiveReader* reader, const char* path);

// Closes the archive file and forgets the source.
void CloseArchive(ArchiveReader* reader);

// A stream for the member whose file name and extension are those of path, or for the loose
// file at path itself when the archive holds no such member. With no reader (nullptr), only the
// loose file is looked at. nullptr when neither exists, when a loose path holds "*" or "?", or
// when memory is exhausted.
MemberStream* OpenMember(ArchiveReader* reader, const char* path);

// Reads up to count bytes. Gives the number read, 0 at the end of the member, -1 when the read
// fails, an archive member's archive is no longer available (or count is negative), or the read
// completes a member whose bytes do not match its checksum.
int32_t ReadMember(MemberStream* stream, void* buffer, int32_t count);

// Releases the stream and closes its loose file; nullptr is allowed.
void CloseMember(MemberStream* stream);

// 1 when the archive holds a member whose name contains ".AIC" (ASCII case ignored), else 0.
// Loose files are not looked at.
int HasInstallScriptMember(ArchiveReader* reader);

// What CopyMemberToFile did.
enum CopyOutcome : int {
  COPY_DAMAGED = -1,  // the member is there, but its bytes do not match its checksum
  COPY_FAILED = 0,    // missing, or the target cannot be created, or a read or write failed
  COPY_DONE = 1,
};

// Copies the member path names into a new file at target, through buffer (kCopyBlockSize bytes
// at least), checking it against its checksum as it goes. COPY_DONE when the target holds the
// whole member; otherwise a target that was started is deleted, so that no partial or damaged
// file passes for a copy.
int CopyMemberToFile(ArchiveReader* reader, const char* path, const char* target, void* buffer);
