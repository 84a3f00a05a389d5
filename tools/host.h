// The few things the tool needs of the host system that the platform services do not offer.
// Each has a posix and a win32 side (host_posix.cpp, host_win32.cpp); everything else in the tool
// is the same code on both.
#pragma once

#include <string>

namespace tool {

// The separator the tool puts between a folder and a name it joins.
extern const char kPathSeparator;

// Whether standard error is a terminal, where a progress bar can redraw its line.
bool StderrIsTerminal();

// Whether anything exists at path, without following a symbolic link at the end of it: a link
// to somewhere else counts as existing, so that nothing is written through it.
bool EntryExists(const std::string& path);

// Whether path is a real directory (not a link to one).
bool IsPlainDirectory(const std::string& path);

// Removes the file or link at path, read-only or not. A link is removed, never its target.
// true on success.
bool RemoveEntry(const std::string& path);

// The full path of the running program file, links resolved where the system does so; empty
// when the system cannot tell. The tool finds the parts of its install from there.
std::string RunningProgramPath();

// Text of the last failed system call, for messages.
std::string LastSystemErrorText();

}  // namespace tool
