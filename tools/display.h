// How the tool shows the values it finds in installers: DOS dates and times, attribute bits and
// names that may hold any byte.
#pragma once

#include <cstdint>
#include <string>

namespace tool {

// "YYYY-MM-DD" from the low 16 bits of a DOS date (bits 9-15 years since 1980, 5-8 month,
// 0-4 day). The fields are shown as stored, even when they name no real day.
std::string FormatDosDate(uint32_t dos_date);

// "HH:MM:SS" from the low 16 bits of a DOS time (bits 11-15 hours, 5-10 minutes, 0-4 seconds
// divided by two).
std::string FormatDosTime(uint32_t dos_time);

// Five letters for the Win32 attribute bits read-only, hidden, system, directory and archive,
// "-" for each that is clear: "----A" for a plain archived file.
std::string FormatAttributes(uint32_t attributes);

// name for a terminal: bytes below 0x20 and 0x7F shown as "\xNN", so that a hostile name cannot
// move the cursor or hide itself. Bytes from 0x80 up are left alone (they are the code page's).
std::string PrintableName(const std::string& name);

// "1 member", "3 members": n and a thing named in the singular, made plural by an "s".
std::string CountOf(uint64_t n, const char* thing);

}  // namespace tool
