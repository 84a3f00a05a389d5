// Where the archive ends: at the file's end, or before the certificate table of a signed file,
// whatever the PE headers claim.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "archive/archive_end.h"
#include "archive/archive_format.h"
#include "base/little_endian.h"
#include "platform/files.h"
#include "tests/support/pe_image.h"
#include "tests/support/test_files.h"

namespace {

using testing_support::Bytes;

constexpr uint32_t kCertificateSize = 120;

// The image, a few bytes of payload, and a trailer; then padding and a certificate table when
// padding is not negative.
Bytes SignedFile(int padding, Bytes image = testing_support::MinimalPeImage()) {
  Bytes file = std::move(image);
  const Bytes payload = testing_support::RandomBytes(37, 3);
  file.insert(file.end(), payload.begin(), payload.end());
  uint8_t trailer[archive::kTrailerSize];
  archive::EncodeTrailer(archive::ArchiveTrailer{1024, 1024}, trailer);
  file.insert(file.end(), trailer, trailer + sizeof trailer);
  if (padding < 0) return file;
  file.insert(file.end(), static_cast<size_t>(padding), 0);
  const uint32_t table = static_cast<uint32_t>(file.size());
  file.insert(file.end(), kCertificateSize, 0x5A);
  testing_support::SetPeDirectory(&file, pe::kCertificateDirectory, table, kCertificateSize);
  return file;
}

archive::ArchiveBounds BoundsOf(const Bytes& bytes) {
  testing_support::TempDir dir;
  const std::string path = dir.Join("file.exe");
  testing_support::WriteFile(path, bytes);
  platform::FileHandle file = platform::OpenForReading(path.c_str());
  EXPECT_NE(file, platform::kNoFile);
  archive::ArchiveBounds bounds;
  archive::FindArchiveBounds(file, static_cast<uint32_t>(bytes.size()), &bounds);
  platform::CloseFile(file);
  return bounds;
}

void Put16(Bytes* bytes, size_t at, uint16_t value) {
  endian::StoreLittleEndian16(bytes->data() + at, value);
}

void Put32(Bytes* bytes, size_t at, uint32_t value) {
  endian::StoreLittleEndian32(bytes->data() + at, value);
}

TEST(ArchiveEnd, SignedFilesEndBeforeTheirPaddingAndTable) {
  for (int padding = 0; padding <= 7; ++padding) {
    SCOPED_TRACE(padding);
    const Bytes file = SignedFile(padding);
    const uint32_t table = static_cast<uint32_t>(file.size()) - kCertificateSize;
    const archive::ArchiveBounds bounds = BoundsOf(file);
    EXPECT_EQ(bounds.end, table - static_cast<uint32_t>(padding));
    EXPECT_EQ(bounds.certificate_offset, table);
    EXPECT_EQ(bounds.certificate_size, kCertificateSize);
  }
  // A 64-bit image keeps its directories 16 bytes further on.
  Bytes wide = SignedFile(5);
  const size_t optional = testing_support::kPeImageOptionalAt;
  Put16(&wide, optional, pe::kMagic64);
  Put16(&wide, testing_support::kPeImageHeaderAt + pe::kOptionalHeaderSizeAt, 240);
  Put32(&wide, optional + pe::kDirectoryCountAt64, 16);
  const uint32_t table = static_cast<uint32_t>(wide.size()) - kCertificateSize;
  Put32(&wide, optional + pe::kDirectoriesAt64 + 4 * pe::kDirectorySize, table);
  Put32(&wide, optional + pe::kDirectoriesAt64 + 4 * pe::kDirectorySize + 4, kCertificateSize);
  EXPECT_EQ(BoundsOf(wide).end, table - 5);
}

TEST(ArchiveEnd, AnythingElseIsAnUnsignedFileThatEndsAtItsEnd) {
  const Bytes signed_file = SignedFile(0);
  const uint32_t table = static_cast<uint32_t>(signed_file.size()) - kCertificateSize;
  const size_t header = testing_support::kPeImageHeaderAt;
  const size_t optional = testing_support::kPeImageOptionalAt;
  const size_t directory = optional + pe::kDirectoriesAt32 + 4 * pe::kDirectorySize;
  const struct Case {
    const char* what;
    void (*damage)(Bytes* file, uint32_t table, size_t header, size_t optional, size_t directory);
  } cases[] = {
      {"no signature at all", [](Bytes*, uint32_t, size_t, size_t, size_t) {}},
      {"table not at the end", [](Bytes* f, uint32_t, size_t, size_t, size_t) { f->push_back(0); }},
      {"table past the end",
       [](Bytes* f, uint32_t t, size_t, size_t, size_t d) { Put32(f, d, t + 1); }},
      {"offset and size wrap around",
       [](Bytes* f, uint32_t, size_t, size_t, size_t d) {
         Put32(f, d, 0xFFFFFF00u);
         Put32(f, d + 4, 0x200 + static_cast<uint32_t>(f->size()));
       }},
      {"empty table", [](Bytes* f, uint32_t, size_t, size_t, size_t d) { Put32(f, d + 4, 0); }},
      {"no MZ", [](Bytes* f, uint32_t, size_t, size_t, size_t) { (*f)[0] = 'Z'; }},
      {"PE header past the end",
       [](Bytes* f, uint32_t, size_t, size_t, size_t) { Put32(f, 0x3C, 0x7FFFFFF0u); }},
      {"PE header cut by the end",
       [](Bytes* f, uint32_t, size_t, size_t, size_t) {
         Put32(f, 0x3C, static_cast<uint32_t>(f->size()) - 40);
       }},
      {"no PE signature", [](Bytes* f, uint32_t, size_t h, size_t, size_t) { (*f)[h] = 'X'; }},
      {"unknown optional header",
       [](Bytes* f, uint32_t, size_t, size_t o, size_t) { Put16(f, o, 0x107); }},
      {"four directories only", [](Bytes* f, uint32_t, size_t, size_t o,
                                   size_t) { Put32(f, o + pe::kDirectoryCountAt32, 4); }},
      {"section table past the end", [](Bytes* f, uint32_t, size_t h, size_t,
                                        size_t) { Put16(f, h + pe::kSectionCountAt, 0xFFFF); }},
      {"optional header too small for the directory",
       [](Bytes* f, uint32_t, size_t h, size_t, size_t) {
         Put16(f, h + pe::kOptionalHeaderSizeAt, pe::kDirectoriesAt32 + 4 * pe::kDirectorySize);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes file = std::string(c.what) == "no signature at all" ? SignedFile(-1) : signed_file;
    c.damage(&file, table, header, optional, directory);
    const archive::ArchiveBounds bounds = BoundsOf(file);
    EXPECT_EQ(bounds.end, file.size());
    EXPECT_EQ(bounds.certificate_size, 0u);
  }
}

TEST(ArchiveEnd, ASignedFileWithoutTrailerEndsAtItsTable) {
  // A signed program that is no installer: no trailer before the table, whatever the padding.
  Bytes file = testing_support::MinimalPeImage();
  file.insert(file.end(), 13, 0);
  const uint32_t table = static_cast<uint32_t>(file.size());
  file.insert(file.end(), kCertificateSize, 1);
  testing_support::SetPeDirectory(&file, pe::kCertificateDirectory, table, kCertificateSize);
  EXPECT_EQ(BoundsOf(file).end, table);
  // Nor is a non-zero byte padding: the trailer seven bytes back does not count.
  Bytes dirty = SignedFile(7);
  dirty[dirty.size() - kCertificateSize - 3] = 1;
  EXPECT_EQ(BoundsOf(dirty).end, dirty.size() - kCertificateSize);
}

}  // namespace
