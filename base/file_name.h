// The one rule for names that come out of an installer and become files: the launcher's
// unpacker creates package files by it inside the work directory, and the tool writes members
// and packed files by it inside the folder it extracts to.
//
// A name must end in a NUL within its field and be a plain file name: not empty; no "\" or "/"
// (a directory part) and no ":" (a drive, or a stream on NTFS); not ".." anywhere; and not ending
// in a dot or a blank ("." names the directory itself, and Windows strips trailing dots and
// blanks, so "x." would create "x" and "~0000.bat." the cleanup script). Control characters
// (below 0x20, and DEL) and the characters Windows refuses in names (* ? " < > |) are refused
// too: a CR or LF would split the file's line in the cleanup script, and a wildcard in a "del"
// line would delete more than the file.
//
// A separator byte counts wherever it stands, even as the second byte of a double-byte
// character: the host's path mapping and older file systems take it for a separator, and no name
// an installer needs comes near one.
#pragma once

#include <cstddef>

namespace text {

// What is wrong with a name, in the order the checks are made; 0 when nothing is.
enum FileNameProblem : int {
  FILE_NAME_OK = 0,
  FILE_NAME_UNTERMINATED = 1,  // no NUL within the field
  FILE_NAME_EMPTY = 2,
  FILE_NAME_DOT = 3,      // "." itself
  FILE_NAME_DOT_DOT = 4,  // ".." anywhere
  FILE_NAME_DRIVE_OR_STREAM = 5,
  FILE_NAME_SEPARATOR = 6,
  FILE_NAME_TRAILING_DOT_OR_BLANK = 7,
  FILE_NAME_CONTROL_CHARACTER = 8,
  FILE_NAME_RESERVED_CHARACTER = 9,  // * ? " < > |
};

// Checks the name held in a field of field_size bytes (a NUL-terminated text when field_size is
// its length + 1). Reads nothing past the field.
FileNameProblem CheckFileName(const char* field, size_t field_size);

}  // namespace text
