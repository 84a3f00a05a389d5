// Members and packages for tests that build installers: the same few lines every such test
// would otherwise write again. Tests that use it link archive_writer and package_writer.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "archive/archive_writer.h"
#include "package/package_writer.h"

namespace testing_support {

// A member with its bytes and its recorded DOS date and time.
inline archive::NewMember DatedMember(const std::string& name, const std::vector<uint8_t>& bytes,
                                      uint32_t dos_date, uint32_t dos_time) {
  archive::NewMember member;
  member.name = name;
  member.data = bytes;
  member.dos_date = dos_date;
  member.dos_time = dos_time;
  return member;
}

// A package (binary, dictionary 4,096) of named files, all with one DOS date and time.
inline std::vector<uint8_t> DatedPackage(
    const std::vector<std::pair<std::string, std::vector<uint8_t>>>& files, uint32_t dos_date,
    uint32_t dos_time) {
  std::vector<package::PackageEntry> entries;
  for (const auto& [name, data] : files) {
    package::PackageEntry entry;
    entry.name = name;
    entry.data = data;
    entry.dos_date = dos_date;
    entry.dos_time = dos_time;
    entries.push_back(entry);
  }
  std::vector<uint8_t> bytes;
  std::string error;
  EXPECT_TRUE(package::BuildPackage(entries, package::PackOptions{}, &bytes, &error)) << error;
  return bytes;
}

}  // namespace testing_support
