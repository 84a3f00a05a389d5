// The language suffix of the installer engine's language library, from the system locale: the
// first library the run looks for is "Install" + suffix + ".dll".
#pragma once

#include <cstddef>

// The caller's suffix buffer, terminating NUL included.
constexpr size_t kLanguageSuffixCapacity = 16;

// Writes the suffix for the system default locale into buffer: the table's suffix for the
// locale's language, or the locale's own abbreviated language name when the table has no row for
// it. A locale that cannot be read leaves buffer as it was.
void GetLanguageSuffix(char* buffer, size_t capacity);
