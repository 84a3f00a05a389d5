#include "tests/unit/package_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

namespace package_testing {

std::vector<size_t> RecordOffsets(const Bytes& package) {
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

package::FileRecord RecordAt(const Bytes& package, size_t offset) {
  package::FileRecord record;
  package::DecodeFileRecord(package.data() + offset, &record);
  return record;
}

void PutRecordAt(Bytes* package, size_t offset, const package::FileRecord& record) {
  package::EncodeFileRecord(record, package->data() + offset);
}

void PutNameField(Bytes* package, size_t offset, const Bytes& field) {
  uint8_t* name = package->data() + offset + package::kRecordNameAt;
  std::memset(name, 0, package::kNameFieldSize);
  if (!field.empty())
    std::memcpy(name, field.data(), std::min(field.size(), package::kNameFieldSize));
}

}  // namespace package_testing
