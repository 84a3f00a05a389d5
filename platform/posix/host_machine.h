// The posix side of the platform serves two machines. The shipped tool runs on the real Linux
// host (posix/linux_host.cpp): paths are host paths as given, writes and directories fail only
// as the system makes them fail, and no byte is a lead byte. The tests run the launcher on a
// pretend Windows machine (tests/support/pretend_machine.cpp) that maps drive letters to host
// folders and can play a full disk, failing directories and exhausted memory.
//
// Each machine defines HostPathOf and the services of platform/files.h whose behaviour differs
// between them (WriteBytes, MakeDirectory, AllocateZeroed, IsLeadByte); the file services in
// posix/files.cpp are written over HostPathOf and shared by both.
#pragma once

#include <cstddef>
#include <cstdint>

namespace platform {
namespace posix {

// The host path of a path as the subsystems give it; false when it does not fit capacity.
bool HostPathOf(const char* path, char* out, size_t capacity);

// Whether another program holds the file at path with no sharing, as an on-access scanner holds
// a fresh file: opening, replacing and deleting it then fail (errno EBUSY, Windows' sharing
// violation). Never on the real host; the tests' pretend machine plays it on demand.
bool HeldByAnotherProgram(const char* path);

// Writes count bytes to a descriptor, going on after interrupted and partial writes. Returns the
// number written: count, fewer when the system stopped taking bytes, or -1 when it took none.
int32_t WriteToDescriptor(int descriptor, const void* buffer, uint32_t count);

}  // namespace posix
}  // namespace platform
