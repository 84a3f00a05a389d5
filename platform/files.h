// The file services every part of the project calls, real on both sides of the seam.
//
// Everything above this seam is portable C++. The win32 side implements each service with the
// Win32 call the launcher was designed around (_lopen, _lread, CreateFileA, ...); the posix side
// implements the same contract on Linux (platform/posix), for the shipped tool on the real host
// and for the tests on their pretend Windows machine, which maps drive letters to host folders.
// What only the launcher needs of Windows (its own module, the temporary directory, processes,
// message boxes, the system facts) is the other half of the seam: platform/launcher_windows.h.
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

}  // namespace platform
