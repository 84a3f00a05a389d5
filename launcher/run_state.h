// The process-wide state of one launcher run that several subsystems share: the kept command
// line, the show-progress flag, the message-line text of the progress dialog, and the cleanup
// script with the one operation that writes to it.
//
// The cleanup script ("~0000.bat" in the work directory) lists everything the run leaves
// behind: "del " lines for files and a final "rd " line for the work directory, CR LF line ends,
// paths never quoted. The launcher only writes it; the installer engine runs it.
#pragma once

#include <cstddef>

// Capacities, terminating NUL included.
constexpr size_t kPathCapacity = 1024;
// The longest command line Windows hands to a process, so that no legitimate one is cut.
constexpr size_t kCommandLineCapacity = 32768;
constexpr size_t kMessageLineCapacity = 512;

struct RunState {
  // The command line as handed to the entry point (after the program name).
  char kept_command_line[kCommandLineCapacity];
  // Set when the process starts (by the entry point); quiet mode clears it and nothing sets it
  // again.
  bool show_progress;
  // The text of "init.ini", at most 511 bytes; empty when that file is missing or empty.
  char message_line_text[kMessageLineCapacity];
  // The work directory followed by "~0000.bat".
  char cleanup_script_path[kPathCapacity];
  // Set when a cleanup line could not be written whole (a full disk, say): the script then no
  // longer lists everything the run leaves behind, and the engine is not started with it.
  bool cleanup_line_lost;
  // The installer engine's path in the work directory while packages other than the engine's
  // are unpacked: they may not write it, so that what starts is what the engine package held.
  // Empty while the engine package itself is unpacked (and before the work directory exists).
  char reserved_engine_path[kPathCapacity];
};

extern RunState g_run_state;

// Puts the run state back to how the process starts: everything empty, show-progress set.
void ResetRunState();

// Fills the message-line text from a text file: at most 511 bytes counted after CR LF pairs
// have become newlines, up to a Ctrl-Z. A file that cannot be opened changes nothing.
void ReadMessageLineText(const char* path);

// Appends one line (and a newline) to the cleanup script; a line that cannot be written is
// dropped without a report, and cleanup_line_lost is set.
void AppendCleanupLine(const char* line);
