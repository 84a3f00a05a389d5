// Helpers for the package tests: packages built by the writer, read back field by field, and
// patched where a test needs a package that the writer would never make.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "package/package_format.h"
#include "package/package_writer.h"
#include "tests/support/installer_parts.h"

namespace package_testing {

using testing_support::Bytes;
using testing_support::DosDate;
using testing_support::DosTime;
using testing_support::Entry;
using testing_support::Pack;
using testing_support::Text;

// Where each record starts, found by walking the package the way the unpacker does.
std::vector<size_t> RecordOffsets(const Bytes& package);

package::FileRecord RecordAt(const Bytes& package, size_t offset);
void PutRecordAt(Bytes* package, size_t offset, const package::FileRecord& record);

// Replaces the whole 128-byte name field of the record at offset.
void PutNameField(Bytes* package, size_t offset, const Bytes& field);

}  // namespace package_testing
