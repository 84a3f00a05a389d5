// A package's records as tests see them: where each starts, and each read and written back field
// by field, so that a test can make a package the writer never would. Free of the test
// framework, for the fuzz targets too.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "package/package_format.h"

namespace testing_support {

inline package::FileRecord RecordAt(const std::vector<uint8_t>& package, size_t offset) {
  package::FileRecord record;
  package::DecodeFileRecord(package.data() + offset, &record);
  return record;
}

inline void PutRecordAt(std::vector<uint8_t>* package, size_t offset,
                        const package::FileRecord& record) {
  package::EncodeFileRecord(record, package->data() + offset);
}

// Where each record starts, found by walking the package the way the unpacker does.
inline std::vector<size_t> RecordOffsets(const std::vector<uint8_t>& package) {
  std::vector<size_t> offsets;
  if (package.size() < package::kHeaderSize) return offsets;
  package::PackageHeader header;
  package::DecodePackageHeader(package.data(), &header);
  size_t at = package::kHeaderSize;
  for (int file = 0; file < header.file_count && at + package::kRecordSize <= package.size();
       ++file) {
    offsets.push_back(at);
    at += package::kRecordSize + RecordAt(package, at).compressed_size;
  }
  return offsets;
}

// Replaces the whole 128-byte name field of the record at offset.
inline void PutNameField(std::vector<uint8_t>* package, size_t offset,
                         const std::vector<uint8_t>& field) {
  uint8_t* name = package->data() + offset + package::kRecordNameAt;
  std::memset(name, 0, package::kNameFieldSize);
  if (!field.empty())
    std::memcpy(name, field.data(), std::min(field.size(), package::kNameFieldSize));
}

}  // namespace testing_support
