// The tests' pretend Windows machine, for host builds. Linked into tests only, it completes the
// posix side of the platform seam: the file services there reach host files through its drive
// letters, and it supplies every Windows fact a Linux machine lacks and the launcher's run (its
// own module, temporary names, message boxes, the string table, the engine process), all from
// one record that tests configure. It also plays what a real machine rarely does on demand: a
// full disk, directories that cannot be made, exhausted memory, another program taking a name.
//
// Paths. The subsystems work with Windows paths. The pretend machine turns them into host paths:
// every backslash becomes a slash, and a leading drive ("C:") is replaced by the host folder
// configured for that drive letter. A path without a drive is used as it stands, so native
// Linux paths work unchanged.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/launcher_windows.h"

namespace pretend {

struct PretendMachine {
  // Lead bytes of double-byte characters in the pretend ANSI code page. None by default: a
  // single-byte code page, as on western Windows.
  bool lead_byte[256];
  // Host folder for each drive letter A to Z; empty leaves "X:" in the path as it is.
  char drive_root[26][512];

  // The launcher's run.
  uint32_t system_version;  // what GetSystemVersion reports; 0 means 5.1
  // The system's names of the module and of the temporary directory, in UTF-8 (the system names
  // files in Unicode); empty when they cannot be read. The pretend ANSI code page holds the
  // characters up to U+00FF, one byte each, as code page 1252 holds most of them.
  char module_path[1024];
  char temp_path[1024];
  // Short 8.3 forms the volume keeps: a folder's path (UTF-8) and the same folder's short path.
  // Components without an entry are their own short form; with short_names_off, all are.
  struct ShortName {
    char long_path[256];
    char short_path[256];
  } short_name[4];
  bool short_names_off;
  uint32_t temp_path_error;      // error code reported with a failed temporary path
  int current_drive;             // last drive made current, 0 before any
  char current_directory[1024];  // last folder made current (the process's own is left)
  uint32_t temp_names_made;      // counter behind the unique temporary names
  int make_directory_failures;   // so many next MakeDirectory (and MakePrivateDirectory) calls fail
  // Whether the process runs elevated; and, of the last MakePrivateDirectory call that made its
  // directory, the path and whether the current user was let in (its own user only).
  bool elevated;
  char private_directory[1024];
  bool private_directory_for_user;
  int allocation_failures;  // so many next AllocateZeroed calls fail
  // Another program at work in the same folders: called with the host path just before
  // MakeDirectory makes that directory, so it can take the name first.
  void (*before_make_directory)(const char* host_path, void* context);
  void* before_make_directory_context;
  // A disk that fills up. While disk_limited is set, WriteBytes writes at most disk_bytes_left
  // bytes in all, counting them down: a write that does not fit whole writes what does fit and
  // returns that short count, and a write with nothing left returns -1 with ENOSPC, as a full
  // disk does. Creating, truncating and deleting files are not counted.
  bool disk_limited;
  uint32_t disk_bytes_left;
  // Another program (an on-access scanner) holding files: while held_refusals is above 0, each
  // open, replacement, deletion or start of a file whose path contains held_path fails with a
  // sharing violation (errno EBUSY) and counts held_refusals down, once the first held_after
  // such operations have gone through (the scanner takes the file when its writer lets go).
  // Pauses are not slept: they add up in paused_milliseconds.
  char held_path[256];
  int held_after;
  int held_refusals;
  int held_start_error;  // what a held start fails with, when not EBUSY (Wine says ENOENT)
  uint32_t paused_milliseconds;
  int warning_boxes_shown;
  char warning_box_text[4096];  // the last message box
  char warning_box_caption[128];
  // The "process" that StartProcess runs: called with the command line and the current
  // directory; returns the exit code. Null makes every start fail, as for a file that is no
  // program (ENOEXEC).
  uint32_t (*run_process)(const char* command_line, const char* current_directory, void* context);
  void* run_process_context;
  int still_running_waits;     // so many waits report "still running" first
  bool exit_code_unreadable;   // GetProcessExitCode fails
  uint32_t process_exit_code;  // set by StartProcess from run_process
  int process_waits;           // waits made on the process so far

  // The Windows directory as WindowsDirectory reports it (a Windows path or a host folder);
  // empty when it cannot be determined.
  char windows_directory[512];
  // When set, the local clock stands still at pinned_clock; otherwise it is the host's
  // localtime().
  bool clock_pinned;
  platform::LocalTime pinned_clock;
  // The process id to report; 0 reports the host's getpid().
  uint32_t process_id;
  // The system locale's abbreviated language name, such as "ENU"; empty when it cannot be read.
  char abbreviated_language_name[8];
  // The network name connected to each drive letter A to Z (for example "\\srv\pub", or a
  // server-and-volume form like "SERVER_DATA"); empty when the drive is not connected.
  char network_connection[26][256];
  // Network folders that can be reached: a directory-entry search on \\server\share\rest finds
  // host_folder/rest when the share's name (\\server\share) is one of these. The share's root
  // itself is never found, as on Windows.
  struct Share {
    char name[256];
    char host_folder[512];
  } share[4];
};

// The machine record of this process.
PretendMachine& Machine();

// Puts the machine record back to its defaults.
void ResetMachine();

// Makes bytes first..last lead bytes, as a double-byte code page such as 932 does.
void SetLeadByteRange(uint8_t first, uint8_t last);

// Writes the host form of a Windows path into out. False when it does not fit.
bool ToHostPath(const char* path, char* out, size_t capacity);

}  // namespace pretend
