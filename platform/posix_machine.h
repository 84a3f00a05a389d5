// Host build only: the Windows facts that a Linux machine lacks, kept in one record that tests
// configure. The posix side of the platform seam reads it for every such fact.
//
// Paths. The subsystems work with Windows paths. The posix side turns them into host paths:
// every backslash becomes a slash, and a leading drive ("C:") is replaced by the host folder
// configured for that drive letter. A path without a drive is used as it stands, so native
// Linux paths work unchanged.
#pragma once

#include <cstddef>
#include <cstdint>

namespace platform {

struct PosixMachine {
  // Lead bytes of double-byte characters in the pretend ANSI code page. None by default: a
  // single-byte code page, as on western Windows.
  bool lead_byte[256];
  // Host folder for each drive letter A to Z; empty leaves "X:" in the path as it is.
  char drive_root[26][512];
};

// The machine record of this process.
PosixMachine& Machine();

// Puts the machine record back to its defaults.
void ResetMachine();

// Makes bytes first..last lead bytes, as a double-byte code page such as 932 does.
void SetLeadByteRange(uint8_t first, uint8_t last);

// Writes the host form of a Windows path into out. False when it does not fit.
bool ToHostPath(const char* path, char* out, size_t capacity);

}  // namespace platform
