// Text files as the C runtime's text mode keeps them on Windows, the same on every platform:
// each "\n" written reaches the disk as CR LF; on reading, CR LF comes back as one "\n" and a
// Ctrl-Z byte ends the text. The launcher's logs, cleanup script and "init.ini" use them.
#pragma once

#include <cstdint>

namespace text {

// Appends text at the end of a file, each "\n" as CR LF. With create_missing false the file
// must already exist. Non-zero when the file was opened and every byte written.
int AppendText(const char* path, const char* text, bool create_missing);

// Appends line and a newline in one open of the file, as fprintf(file, "%s\n", line) would.
int AppendLine(const char* path, const char* line, bool create_missing);

// Reads the text of a file into buffer, at most capacity - 1 bytes counted after CR LF pairs
// have become "\n", stopping at a Ctrl-Z byte, and ends it with a NUL. Returns the number of
// bytes stored, or -1 when the file cannot be opened (the buffer is then left untouched).
int32_t ReadText(const char* path, char* buffer, uint32_t capacity);

}  // namespace text
