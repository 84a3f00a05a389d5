// Finding a file's certificate table, which Authenticode signing appends to an executable.
#pragma once

#include <cstdint>

#include "platform/files.h"

namespace pe {

// Where the certificate table lies, as the file's headers say: a file offset and a size.
struct CertificateTable {
  uint32_t offset;
  uint32_t size;
};

// Reads the headers of the file (file_size bytes long) and takes the certificate directory. 1 when
// the file is a PE image whose headers lie within the file and whose certificate directory is
// present and not empty; the table may still lie anywhere, which the caller judges. 0 for
// anything else, a file that cannot be read included. The headers are hostile input: every field
// is checked against the file and the header sizes before it is used.
int ReadCertificateTable(platform::FileHandle file, uint32_t file_size, CertificateTable* table);

}  // namespace pe
