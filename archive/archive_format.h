// The payload archive: what an installer carries behind its executable image.
//
// An installer is the launcher image followed by a chain of members and a 16-byte trailer that
// ends the file. Every integer is an unsigned 32-bit little-endian value and every offset counts
// from the first byte of the file, not from the start of the archive, so the image in front can
// have any length and nobody needs to know it.
//
//   image | header 1, data 1 | header 2, data 2 | ... | member directory | trailer
//
// The trailer holds the magic "[KARST]" and a NUL, then the offset of the first entry header
// and the offset of the last one. A first entry offset of 0 means the archive has no members.
// A reader finds the trailer from the end of the file and follows next entry offsets from
// there; it relies on nothing else (not on the last entry offset, not on members lying back to
// back, not on the directory).
//
// Each member is a 276-byte entry header followed directly by its raw bytes. The header holds
// the next entry offset (0 for the last member), the Win32 attribute bits, the DOS time and DOS
// date (each in the low half of its field), the data size and a 256-byte name field: the bare
// file name, NUL-terminated, whatever after the NUL.
//
// Archives as built put the members back to back right after the image and close them with a
// member directory: one record per member (28 + name length bytes) and a 20-byte tail carrying
// a bracketed tag, the version text "07.00" and the length of the record area. The launcher
// never reads the directory; it is there for other readers of the installer.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/little_endian.h"

namespace archive {

// ---- Trailer ------------------------------------------------------------------------------------

constexpr uint32_t kTrailerSize = 16;
constexpr size_t kMagicSize = 8;
// Seven characters and the NUL that ends them: the magic is compared as a C string.
constexpr char kTrailerMagic[kMagicSize] = {'[', 'K', 'A', 'R', 'S', 'T', ']', '\0'};
constexpr size_t kTrailerFirstEntryAt = 8;
constexpr size_t kTrailerLastEntryAt = 12;

struct ArchiveTrailer {
  uint32_t first_entry_offset;  // 0: no members
  uint32_t last_entry_offset;   // informative only; readers never use it
};

// ---- Entry header -------------------------------------------------------------------------------

constexpr uint32_t kEntryHeaderSize = 276;
constexpr size_t kNameFieldSize = 256;
constexpr size_t kMaxNameLength = kNameFieldSize - 1;
constexpr size_t kHeaderNextEntryAt = 0;
constexpr size_t kHeaderAttributesAt = 4;
constexpr size_t kHeaderDosTimeAt = 8;
constexpr size_t kHeaderDosDateAt = 12;
constexpr size_t kHeaderSizeAt = 16;
constexpr size_t kHeaderNameAt = 20;

// What archives as built carry for every member.
constexpr uint32_t kDefaultMemberAttributes = 0x20;

struct EntryHeader {
  uint32_t next_entry_offset;  // 0: last member of the chain
  uint32_t attributes;
  uint32_t dos_time;
  uint32_t dos_date;
  uint32_t size;
  uint8_t name[kNameFieldSize];  // NUL-terminated in archives as built; not trusted to be
};

// ---- Member directory ---------------------------------------------------------------------------

constexpr uint32_t kDirectoryRecordFixedSize = 24;
// The name is followed by its NUL and three bytes of padding.
constexpr uint32_t kDirectoryRecordNamePadding = 4;
constexpr size_t kRecordNextAt = 0;
constexpr size_t kRecordAttributesAt = 4;
constexpr size_t kRecordDosTimeAt = 8;
constexpr size_t kRecordDosDateAt = 12;
constexpr size_t kRecordDataOffsetAt = 16;
constexpr size_t kRecordSizeAt = 20;
constexpr size_t kRecordNameAt = 24;

constexpr uint32_t kDirectoryTailSize = 20;
constexpr size_t kTailTagSize = 8;
constexpr size_t kTailVersionAt = 10;
constexpr size_t kTailVersionSize = 6;
constexpr char kDirectoryVersion[kTailVersionSize] = {'0', '7', '.', '0', '0', '\0'};
constexpr size_t kTailRecordAreaLengthAt = 16;
// Ours: any eight characters in square brackets will do for the launcher.
constexpr char kDirectoryTag[kTailTagSize] = {'[', 'T', 'O', 'V', 'D', 'I', 'R', ']'};

struct DirectoryRecord {
  uint32_t next_record;  // from the directory start; in the last record, the tail's offset
  uint32_t attributes;
  uint32_t dos_time;
  uint32_t dos_date;
  uint32_t data_offset;  // absolute: the entry header's offset + 276
  uint32_t size;
  const char* name;  // NUL-terminated, at most kMaxNameLength bytes
};

// ---- Member checksums ---------------------------------------------------------------------------
// Installers as tovalin builds them carry a CRC-32 (base/crc32.h) of every member's data, so that
// the launcher notices a damaged download while it copies. The record lies right in front of the
// member directory, which readers find from the trailer: the directory tail's record area length
// gives the directory's start, and the record ends there.
//
//   checksum of member 1 | ... | checksum of member n | tail: "[TOVCRC]", version, 0, n
//
// Each checksum is 4 bytes, in chain order: the n-th header along the chain has the n-th. The
// 16-byte tail holds the magic, the version (1) as 2 bytes, 2 zero bytes and the count as 4. An
// archive without the record, or with another version, is read unchecked, as it always was.

constexpr uint32_t kChecksumSize = 4;
constexpr uint32_t kChecksumTailSize = 16;
constexpr size_t kChecksumMagicSize = 8;
constexpr char kChecksumMagic[kChecksumMagicSize] = {'[', 'T', 'O', 'V', 'C', 'R', 'C', ']'};
constexpr size_t kChecksumVersionAt = 8;
constexpr uint16_t kChecksumVersion = 1;
constexpr size_t kChecksumCountAt = 12;

// 1 with *count filled when the 16 bytes are a checksum tail of this version.
int DecodeChecksumTail(const uint8_t* bytes, uint32_t* count);
void EncodeChecksumTail(uint32_t count, uint8_t* bytes);

// ---- Encoding -----------------------------------------------------------------------------------

using endian::LoadLittleEndian32;
using endian::StoreLittleEndian32;

// 1 when the 16 bytes carry the magic (byte 7 included); the offsets are filled in then.
int DecodeTrailer(const uint8_t* bytes, ArchiveTrailer* trailer);
void EncodeTrailer(const ArchiveTrailer& trailer, uint8_t* bytes);

void DecodeEntryHeader(const uint8_t* bytes, EntryHeader* header);
void EncodeEntryHeader(const EntryHeader& header, uint8_t* bytes);

// Bytes a directory record takes for a name of this length.
uint32_t DirectoryRecordSize(size_t name_length);
// Writes the record into bytes, which hold at least DirectoryRecordSize(strlen(name)) bytes;
// returns the number written, 0 when the name is too long for a member.
uint32_t EncodeDirectoryRecord(const DirectoryRecord& record, uint8_t* bytes);
// Writes the 20-byte tail for a record area of the given length.
void EncodeDirectoryTail(uint32_t record_area_length, uint8_t* bytes);
// 1 with *record_area_length filled when the 20 bytes are a directory tail: a tag in square
// brackets, zero bytes, the version text "07.00".
int DecodeDirectoryTail(const uint8_t* bytes, uint32_t* record_area_length);

// Length of the stored name up to its NUL, or -1 when the field holds no NUL: such a name is
// not a name at all and matches nothing.
int32_t StoredNameLength(const EntryHeader& header);

}  // namespace archive
