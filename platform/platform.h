// The operating-system services the subsystems call, named for what they do.
//
// Everything above this seam is portable C++. The win32 side implements each service with
// the Win32 ANSI call the launcher was designed around (_lopen, _lread, CreateFileA, ...);
// the posix side implements the same contract on Linux so that the host build and its tests
// can run every subsystem without Windows. Facts that Linux lacks (Windows version, locale,
// mapped network drives, the Windows directory ...) come, on the posix side, from the
// configurable machine record in platform/posix_machine.h.
//
// Conventions follow the rest of the launcher: results are plain integers, -1 stands for a
// file that is not open or a failed read, nothing throws, nothing allocates unless it says so.
#pragma once

#include <cstddef>
#include <cstdint>

namespace platform {

// A file opened by one of the Open/Create services below; -1 when not open.
using FileHandle = intptr_t;
constexpr FileHandle kNoFile = -1;

// Seek origins, as for _llseek.
constexpr int kFromStart = 0;
constexpr int kFromCurrent = 1;
constexpr int kFromEnd = 2;

// Win32 attribute bits used by the subsystems.
constexpr uint32_t kAttributeReadOnly = 0x01;
constexpr uint32_t kAttributeDirectory = 0x10;
constexpr uint32_t kAttributeArchive = 0x20;
constexpr uint32_t kAttributeNormal = 0x80;
constexpr uint32_t kNoAttributes = 0xFFFFFFFFu;

// ---- Binary files ------------------------------------------------------------------------------

// Opens an existing file for reading (_lopen, read only). kNoFile on failure.
FileHandle OpenForReading(const char* path);

// Creates a file with normal attributes, or truncates an existing one, open for writing
// (_lcreat with attribute 0). kNoFile on failure.
FileHandle CreateOrTruncate(const char* path);

// Creates a file, replacing an existing one, open for reading and writing (CreateFileA with
// CREATE_ALWAYS). kNoFile on failure.
FileHandle CreateForReadWrite(const char* path);

// Opens a file for appending, positioned at its end. With create_missing false a missing file
// is not created and the result is kNoFile.
FileHandle OpenForAppending(const char* path, bool create_missing);

// Moves the file position; returns the new position from the start, or -1.
int32_t Seek(FileHandle file, int32_t offset, int origin);

// Reads up to count bytes; returns the number read (0 at the end of the file) or -1.
int32_t ReadBytes(FileHandle file, void* buffer, uint32_t count);

// Writes count bytes; returns the number written or -1.
int32_t WriteBytes(FileHandle file, const void* buffer, uint32_t count);

void CloseFile(FileHandle file);

// ---- File system -------------------------------------------------------------------------------

// Win32 attribute bits of a file, kNoAttributes when they cannot be read.
uint32_t GetAttributes(const char* path);

// Sets the Win32 attribute bits of a file (only read-only is meaningful on the posix side).
// Non-zero on success.
int SetAttributes(const char* path, uint32_t attributes);

// The last-write time of a file as DOS date and DOS time (low 16 bits each), taken as the file
// system keeps it, in UTC. Non-zero on success; 0 when any step fails (LastError tells why).
int GetLastWriteDosDateTime(const char* path, uint32_t* dos_date, uint32_t* dos_time);

// Sets creation, last-access and last-write time of an open file to one moment, given as
// DOS date and time in UTC. Non-zero on success.
int SetFileDosDateTime(FileHandle file, uint32_t dos_date, uint32_t dos_time);

// Deletes a file. Non-zero on success.
int RemoveFile(const char* path);

// Creates a directory. Non-zero on success; fails when the name exists.
int MakeDirectory(const char* path);

// Creates a directory, in one step, that only SYSTEM, the Administrators group and its owner may
// use: the current user when current_user is set, else the Administrators group. The access list
// is protected from what the parent would hand down, and everything made inside inherits it.
// Where the system cannot build such a list (no security API, or a Windows older than Vista) the
// directory is made as MakeDirectory makes it. Non-zero on success; fails when the name exists.
int MakePrivateDirectory(const char* path, bool current_user);

// Whether the process runs with an elevated token; false where the system knows no elevation.
bool ProcessIsElevated();

// ---- Text and code page ------------------------------------------------------------------------

// Whether a byte is the lead byte of a double-byte character in the ANSI code page.
bool IsLeadByte(uint8_t byte);

// ---- Memory ------------------------------------------------------------------------------------

// A zero-filled block of memory (GlobalAlloc, fixed and zero-initialised); nullptr when memory is
// exhausted. Released with FreeMemory.
void* AllocateZeroed(size_t size);
void FreeMemory(void* block);

// ---- System ------------------------------------------------------------------------------------

// The calling thread's last system error code (GetLastError, errno on the posix side).
uint32_t LastError();

// ---- Windows system facts ----------------------------------------------------------------------
// The facts the logs, the language choice and the network form of a path need. On the posix side
// each comes from the machine record (platform/posix_machine.h) that tests configure.

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
