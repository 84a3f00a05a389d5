// The package unpacker: writes every file of a package into a folder.
//
// The package is read through a member stream, so it may be a loose file in the work
// directory or a member of the payload archive, whichever the archive reader finds. Each file's
// stream goes through the implode decoder, whose output goes straight from its window to the
// output file; the file then gets its recorded date and time, and the caller hears of it (the
// launcher writes its cleanup line then). The caller also hears of every block of compressed
// data read (the launcher steps its progress bar by one).
//
// Output files are created (an existing file is replaced, even a read-only one) but never
// directories: a record whose name is not a plain file name stops the package before anything
// is created for it, so nothing is ever written outside the folder.
//
// The DOS date and time of a record are taken as UTC. The payload archive's loose-file times are
// read in UTC as well, so a file packed on one machine and unpacked on another keeps its time
// exactly, whatever either machine's time zone.
#pragma once

#include <cstdint>

#include "archive/archive_reader.h"
#include "implode/implode.h"
#include "package/package_format.h"
#include "package/package_reader.h"
#include "platform/files.h"

// Where a package's files go and what the caller wants to hear of them; the caller's, for as
// many packages as it unpacks.
struct UnpackTarget {
  const char* folder;  // ends in a separator
  // Paths no package may write, besides the package itself (the launcher's cleanup script, and
  // its engine while another package is unpacked); unused entries are null.
  const char* kept_paths[2];
  // Told of each file written whole, with its path.
  void (*file_written)(void* context, const char* path);
  // Told of each block of compressed data (up to 2,048 bytes) about to be read.
  void (*block_read)(void* context);
  void* context;
  // Runs attempt(attempt_context), the opening of the package at path, until it succeeds or
  // another program's hold on the file outlasts the caller's patience; its result. A package
  // copy is a fresh file, and scanners hold fresh files a moment. Null: one attempt.
  int (*while_held)(int (*attempt)(void* attempt_context), void* attempt_context, const char* path);
  // Why the last package could not be opened (LastError); 0 when it was.
  uint32_t open_error;
  // Set when a read of a package's stream fails, and never cleared here: from then on every
  // package stops after its first file, which is left empty and unlisted.
  bool read_failed;
};

// Unpacks the package file package_name in target->folder into that folder, reading it through
// source (null: the loose file only). 1 when every file of the package was written whole; 0 when
// the package cannot be opened (target->open_error tells why) or its header read, holds no files,
// or stops early: at a record that cannot be read whole, whose name is not a plain file name, or
// that would replace the package itself or a kept path (nothing is created for it), at an output
// file that cannot be created, at a damaged stream, a failed read or a failed write (that file
// stays as far as it got, without its time, and the caller does not hear of it). Later files are
// not unpacked.
int UnpackPackageFile(UnpackTarget* target, ArchiveReader* source, const char* package_name);

// What one unpack shares with the decoder's callbacks, which receive it as their user_param.
struct UnpackContext {
  UnpackTarget* target;
  MemberStream* stream;  // the package being read
  package::PackageReader package;
  platform::FileHandle output_file;  // the file being written
  // Set when the current output file did not take a whole block; that file counts as failed.
  bool write_failed;
};

// The decoder's callbacks.
uint32_t PackageReadCallback(uint8_t* buffer, uint32_t* count, void* user_param);
void PackageWriteCallback(uint8_t* buffer, uint32_t* count, void* user_param);
