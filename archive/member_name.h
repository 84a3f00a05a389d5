// How a requested path meets a stored member name.
//
// Callers ask for members by full path (the executable folder and the member name), but inside
// the archive only the file name and extension count: the lookup key. Names are byte strings in
// the ANSI code page, so the scan for the last separator and the last dot steps over double-byte
// characters, whose second byte may well be 0x5C ("\") or 0x2E (".").
#pragma once

#include <cstddef>
#include <cstdint>

#include "archive/archive_format.h"

namespace archive {

// Limits of a lookup key: the name part before the last dot, the extension from the last dot
// on, and the whole key.
constexpr size_t kMaxKeyNameLength = 255;
constexpr size_t kMaxKeyExtensionLength = 7;
constexpr size_t kMaxKeyLength = 255;
constexpr size_t kKeyCapacity = kMaxKeyLength + 1;

// Writes the lookup key of path into key (capacity bytes, at least kKeyCapacity): the path
// without a leading drive and without everything up to its last "\" or "/". Returns 1, or 0
// when the key breaks a limit or does not fit; then key is left empty, so nothing is matched.
int MakeLookupKey(const char* path, char* key, size_t capacity);

// Whether a stored name field equals the key, with ASCII letters compared without regard to
// case and every other byte exactly. Only the field up to its NUL takes part; a field without
// a NUL equals nothing, and no byte past the field is read.
int NameFieldMatchesKey(const uint8_t* name_field, const char* key);

// Whether the stored name marks an install script: ".AIC" anywhere in it, ASCII case ignored.
// A field without a NUL marks nothing.
int NameFieldMarksInstallScript(const uint8_t* name_field);

}  // namespace archive
