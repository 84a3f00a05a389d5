// The launcher's Windows: what only the launcher asks of the system, beyond files. Its own module
// and the temporary directory in the ANSI code page, the work directory's protection, the system
// facts the logs, the language choice and the network form of a path need, message boxes and
// strings, and the engine process. The progress dialog belongs here too; it lives with the rest
// of the dialog in ui/progress_dialog.h.
//
// The win32 side implements each with the Win32 call the launcher was designed around. The posix
// side of this half is not part of the product at all: the tests' pretend Windows machine
// (tests/support/pretend_*.cpp) implements it from a record they configure, so the host tests
// reach every route and failure of the run. The shipped tool never links it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/files.h"

namespace platform {

// ---- The work directory's protection -----------------------------------------------------------
// Creates a directory, in one step, that only SYSTEM, the Administrators group and its owner may
// use: the current user when current_user is set, else the Administrators group. The access list
// is protected from what the parent would hand down, and everything made inside inherits it.
// Where the system cannot build such a list (no security API, or a Windows older than Vista) the
// directory is made as MakeDirectory makes it. Non-zero on success; fails when the name exists.
int MakePrivateDirectory(const char* path, bool current_user);

// Whether the process runs with an elevated token; false where the system knows no elevation.
bool ProcessIsElevated();

// ---- Waiting out a held file and telling what the system said ---------------------------------

// Whether the last error is a refusal that another program holding the file causes, and that
// waiting may cure: a sharing violation, a lock violation or access denied (platform/retry.h).
bool LastErrorIsTransientRefusal();

// Sleeps for a while.
void Pause(uint32_t milliseconds);

// The system's own text for an error code (FormatMessageA), without the line break it ends in.
// Returns its length; 0 with an empty buffer when the system has no text for it.
uint32_t SystemErrorText(uint32_t error, char* buffer, uint32_t capacity);

// ---- Windows system facts ----------------------------------------------------------------------
// The facts the logs, the language choice and the network form of a path need. The tests' pretend
// machine takes each from its record.

// The local wall-clock time, field by field, as GetLocalTime gives it (month 1 to 12).
struct LocalTime {
  uint16_t year;
  uint16_t month;
  uint16_t day;
  uint16_t hour;
  uint16_t minute;
  uint16_t second;
};

// The Windows directory (GetWindowsDirectoryA), without a trailing backslash. Returns its length,
// or 0 when it cannot be determined or does not fit capacity (the buffer then holds no path).
uint32_t WindowsDirectory(char* buffer, uint32_t capacity);

// Reads the local clock.
void ReadLocalClock(LocalTime* now);

// The id of the calling process.
uint32_t CurrentProcessId();

// The system default locale's abbreviated language name, such as "ENU" (GetLocaleInfoA with
// LOCALE_SYSTEM_DEFAULT and LOCALE_SABBREVLANGNAME). Returns what that call returns: the
// characters stored including the NUL, or 0 when the name cannot be read.
int32_t AbbreviatedLanguageName(char* buffer, int32_t capacity);

// The network name connected to a local device name such as "X:" (WNetGetConnectionA):
// non-zero with the name in remote_name; 0 when the device is not connected, the name does not
// fit *length bytes (*length then tells the size needed), or it cannot be read. The network
// library is loaded from the system directory the first time this is called, never imported;
// when it cannot be loaded every device counts as not connected.
int NetworkNameOfDevice(const char* local_name, char* remote_name, uint32_t* length);

// Whether a directory-entry search (FindFirstFileA) finds the entry of path. A share's root
// (\\server\share) has no entry of its own and is never found.
bool DirectoryEntryFound(const char* path);

// Loads a library such as "comctl32.dll" from the system directory and nowhere else, as a
// library that is not one of the system's known DLLs must be: the ordinary search would look
// beside setup.exe first. The module handle, or nullptr when it cannot be loaded. Win32 side only:
// the network lookup and the Win32 dialog are its callers.
void* LoadSystemLibrary(const char* name);

// Lets later library loads search the system directory only, where the system offers that
// (SetDefaultDllDirectories); elsewhere, and on the posix side, nothing changes.
void RestrictDllSearchPath();

// ---- The launcher's run: its own module, temporary names, the engine process ------------------

// The system's version as GetVersion reports it: major version in the low byte, minor version
// in the second byte.
uint32_t GetSystemVersion();

// Full path of the running executable, in the ANSI code page: as the system names it where the
// code page holds every character of it, else with its folders (and, if need be, its own name)
// in short 8.3 form, which names the same file (base/ansi_path.h). Returns its length, or 0 when
// it cannot be read or does not fit the buffer (a cut path is never returned). When no form of it
// survives the code page (short names off on its volume), 0 with *lost set, and the buffer holds
// the path with a stand-in for each lost character, for messages.
uint32_t GetModulePath(char* buffer, uint32_t capacity, bool* lost);

// Makes a drive current (1 is A). Non-zero on success.
int ChangeDrive(int drive_number);

// Makes a folder the current directory. Non-zero on success.
int ChangeDirectory(const char* path);

// The user's temporary directory, with a trailing backslash, in the ANSI code page as
// GetModulePath gives its path. Returns its length; 0 when it cannot be read or does not fit, or
// with *lost set when no form of it survives the code page.
uint32_t GetTemporaryPath(char* buffer, uint32_t capacity, bool* lost);

// Creates an empty file with a unique name "<prefix><hex>.tmp" in folder (GetTempFileNameA with
// unique number 0) and writes its path to out, which holds at least kTempNameCapacity bytes.
// Returns the unique number, 0 on failure.
constexpr uint32_t kTempNameCapacity = 260;
uint32_t CreateUniqueTempFile(const char* folder, const char* prefix, char* out);

// Shows a message box without owner, with an OK button and the exclamation icon.
void ShowWarningBox(const char* text, const char* caption);

// Loads string id of the module's string table into buffer. Returns its length, 0 when missing.
int LoadStringText(void* instance, uint32_t id, char* buffer, int capacity);

// A started process; process and thread are opaque system handles.
struct ProcessInfo {
  void* process;
  void* thread;
};

// Starts command_line (the program is its first token) with the caller's environment and
// current directory, handles not inherited, default show state. Non-zero on success.
int StartProcess(char* command_line, ProcessInfo* started);

// Waits up to milliseconds for the process to end. Non-zero when it has ended.
int WaitForProcessEnd(const ProcessInfo& started, uint32_t milliseconds);

// The exit code the system reports for a process that has not ended (STILL_ACTIVE).
constexpr uint32_t kStillActive = 259;

// Reads the exit code of a process (kStillActive while it still runs). Non-zero on success.
int GetProcessExitCode(const ProcessInfo& started, uint32_t* exit_code);

// Ends the process with an exit code.
[[noreturn]] void EndProcess(uint32_t exit_code);

}  // namespace platform
