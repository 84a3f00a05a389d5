// Bounded text helpers: every fixed-size text buffer of the launcher is written through these,
// so no input, however long, writes past a buffer. Each returns true when the whole text fitted;
// when it does not, the buffer holds the part that fitted, always NUL-terminated, and the caller
// decides whether a cut text is acceptable or the operation must be refused.
#pragma once

#include <cstdarg>
#include <cstddef>

namespace text {

// Paths and most texts of the launcher live in buffers of this size, terminating NUL included.
constexpr size_t kPathCapacity = 1024;

// Copies source into buffer.
bool Copy(char* buffer, size_t capacity, const char* source);

// Appends source to the text already in buffer.
bool Append(char* buffer, size_t capacity, const char* source);

// Copies first, then appends second: a path joined from a folder and a name, say.
bool Join(char* buffer, size_t capacity, const char* first, const char* second);

// Copies at most count bytes of source (fewer if it ends first).
bool CopyPrefix(char* buffer, size_t capacity, const char* source, size_t count);

// printf-style formatting into buffer.
bool Format(char* buffer, size_t capacity, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
bool FormatList(char* buffer, size_t capacity, const char* format, va_list arguments);

// Length of a NUL-terminated text, looking at no more than limit bytes; limit when no NUL
// comes first. For fields that may lack their terminator.
size_t BoundedLength(const char* text, size_t limit);

}  // namespace text
