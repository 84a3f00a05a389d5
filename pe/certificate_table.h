// Finding a file's certificate table, which Authenticode signing appends to an executable, and
// the one rule for whether a file is signed.
#pragma once

#include <cstdint>

#include "platform/files.h"

namespace pe {

// Where the certificate table lies, as the file's headers say: a file offset and a size.
struct CertificateTable {
  uint32_t offset;
  uint32_t size;
};

// Reads the headers of the file (file_size bytes long, through ReadPeHeaders) and takes the
// certificate directory. 1 when the file is a PE image whose headers lie within the file and
// whose certificate directory is present and not empty; the table may still lie anywhere, which
// SignsFile judges. 0 for anything else, a file that cannot be read included.
int ReadCertificateTable(platform::FileHandle file, uint32_t file_size, CertificateTable* table);

// Whether the table signs the file: a file is signed when its certificate table ends exactly at
// the file's end, where signing appends it. A directory that points anywhere else is no
// signature over the file (something was appended after signing, or the headers lie). 1 or 0.
inline int SignsFile(const CertificateTable& table, uint32_t file_size) {
  return table.offset <= file_size && file_size - table.offset == table.size ? 1 : 0;
}

}  // namespace pe
