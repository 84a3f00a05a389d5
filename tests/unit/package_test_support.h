// Helpers for the package tests: packages built by the writer, read back field by field, and
// patched where a test needs a package that the writer would never make.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "package/package_format.h"
#include "package/package_writer.h"

namespace package_testing {

using Bytes = std::vector<uint8_t>;

// An entry for in-memory bytes.
package::PackageEntry Entry(const std::string& name, const Bytes& data, uint32_t dos_date = 0x2821,
                            uint32_t dos_time = 0x6000);

// The package of entries, written as the launcher carries them; fails the test on error.
Bytes Pack(const std::vector<package::PackageEntry>& entries,
           const package::PackOptions& options = package::PackOptions());

// Where each record starts, found by walking the package the way the unpacker does.
std::vector<size_t> RecordOffsets(const Bytes& package);

package::FileRecord RecordAt(const Bytes& package, size_t offset);
void PutRecordAt(Bytes* package, size_t offset, const package::FileRecord& record);

// Replaces the whole 128-byte name field of the record at offset.
void PutNameField(Bytes* package, size_t offset, const Bytes& field);

// The DOS date of a calendar day and the DOS time of a clock time (seconds rounded down to even).
uint32_t DosDate(int year, int month, int day);
uint32_t DosTime(int hour, int minute, int second);

}  // namespace package_testing
