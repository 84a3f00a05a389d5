// Scans over ANSI path text. In a double-byte code page the trail byte of a character may be
// 0x5C, the backslash, so every search for a separator steps over double-byte characters.
#pragma once

// The first backslash of text, or nullptr when there is none.
const char* FindFirstBackslash(const char* text);

// The last backslash of text, or nullptr when there is none.
const char* FindLastBackslash(const char* text);
char* FindLastBackslash(char* text);
