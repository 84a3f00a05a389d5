// Reading a package front to back: its header, then each file's record and implode stream. The
// one walk over packages, for the launcher's unpacker and for the tool's list, test and extract.
//
// The walk never seeks. A record is read from wherever the source stands, which is right after
// the previous stream when that stream was read to its end; the launcher relies on streams that
// end in their last byte, and the tool steps over whatever a stream leaves unread. Each stream is
// handed out up to its record's compressed size and no further.
#pragma once

#include <cstdint>

#include "package/package_format.h"

namespace package {

// Where a package's bytes come from, in order.
struct PackageSource {
  // Reads up to count bytes into buffer: the number read (fewer only at the end of the bytes),
  // 0 at their end, -1 when the read fails.
  int32_t (*read)(void* context, void* buffer, int32_t count);
  // Steps over count bytes; 1 when it could. Only SkipPackageStream uses it; the launcher,
  // which never skips, leaves it null.
  int (*skip)(void* context, uint32_t count);
  void* context;
};

enum PackageStatus : int {
  PACKAGE_READING = 0,
  PACKAGE_END = 1,             // every record the header counts has been read
  PACKAGE_SHORT_HEADER = 2,    // fewer than kHeaderSize bytes
  PACKAGE_BAD_FILE_COUNT = 3,  // a file count below 1: damage, not an empty package
  PACKAGE_SHORT_RECORD = 4,    // a record that is not there whole
  PACKAGE_READ_FAILED = 5,     // the source failed
};

struct PackageReader {
  PackageSource source;
  PackageHeader header;
  int32_t records_read;
  uint32_t stream_left;  // bytes of the current stream not yet asked for
  uint32_t position;     // bytes asked of the source so far: where the next read starts
  int status;            // a PackageStatus
};

// Reads the header. 1 when the package has files to read; 0 with status telling why not.
int BeginPackage(PackageReader* reader, PackageSource source);

// Starts a reader at a stream whose record was read elsewhere: the source stands at the stream's
// first byte. The tool decodes the files of a listing one at a time this way.
void BeginPackageStream(PackageReader* reader, PackageSource source, uint32_t compressed_size);

// Reads the next record into record. 1 when there was one; 0 after the last one, or when the
// record cannot be read whole (status tells). The record's stream is then the one being read.
int NextPackageFile(PackageReader* reader, FileRecord* record);

// Reads up to count bytes of the current stream into buffer, never past the stream's end: the
// number read, 0 once every byte of the stream has been asked for, -1 when the source fails
// (status PACKAGE_READ_FAILED). The stream's share shrinks by what is asked, whatever arrives,
// so a source that comes up short can never make a stream take the next record's bytes.
int32_t ReadPackageStream(PackageReader* reader, void* buffer, uint32_t count);

// Steps over what is left of the current stream, through the source's skip. 1 when it could.
int SkipPackageStream(PackageReader* reader);

}  // namespace package
