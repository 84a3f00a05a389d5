// The package unpacker: writes every file of a package into the work directory.
//
// The package is read through a member stream, so it may be a loose file in the work
// directory or a member of the payload archive, whichever the archive reader finds. Each file's
// stream goes through the implode decoder, whose output goes straight from its window to the
// output file; the file then gets its recorded date and time and a "del " line in the cleanup
// script. The progress bar advances by one step per 2,048 bytes of compressed data read.
//
// Output files are created (an existing file is replaced, even a read-only one) but never
// directories: a record whose name is not a plain file name stops the package before anything
// is created for it, so nothing is ever written outside the work directory.
//
// The DOS date and time of a record are taken as UTC. The payload archive's loose-file times are
// read in UTC as well, so a file packed on one machine and unpacked on another keeps its time
// exactly, whatever either machine's time zone.
#pragma once

#include <cstdint>

#include "archive/archive_reader.h"
#include "implode/implode.h"
#include "package/package_format.h"
#include "platform/platform.h"

// The state the unpacker shares with its two decoder callbacks; one for the whole process, so
// one package is unpacked at a time.
struct UnpackContext {
  MemberStream* stream;              // the package being unpacked
  package::PackageHeader header;     // as read
  package::FileRecord record;        // the current file's, as read
  platform::FileHandle output_file;  // the file being written
  uint32_t compressed_handed_out;    // bytes of the current stream given to the decoder
  // Set when a read of a package fails, and never cleared for the rest of the run: from then
  // on every package stops after its first file, which is left empty and unlisted.
  bool abort;
  // Set when the current output file did not take a whole block; that file counts as failed.
  bool write_failed;
  ImplodeWorkArea* work_area;  // one per package, reused for every file
};

extern UnpackContext g_unpack_context;

// Unpacks the package file package_name in work_dir (which ends in a separator) into work_dir.
// 1 when every file of the package was written whole; 0 when the package cannot be opened or
// its header read, holds no files, or stops early: at a record that cannot be read whole, whose
// name is not a plain file name, or that would replace the package itself or the cleanup script
// (nothing is created for it), at an output file that
// cannot be created, at a damaged stream, a failed read or a failed write (that file stays as
// far as it got, without its time and without a cleanup line). Later files are not unpacked.
int UnpackPackageFile(const char* work_dir, const char* package_name);

// The decoder's callbacks. Both reach the unpack context directly; user_param is unused.
uint32_t PackageReadCallback(uint8_t* buffer, uint32_t* count, void* user_param);
void PackageWriteCallback(uint8_t* buffer, uint32_t* count, void* user_param);

// Puts the unpack context back to how the process starts, abort flag clear. For tests: a run
// of the launcher never clears the flag.
void ResetUnpackContext();
