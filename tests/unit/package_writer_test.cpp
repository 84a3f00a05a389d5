#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "implode/implode.h"
#include "implode/implode_encoder.h"
#include "package/package_writer.h"
#include "platform/files.h"
#include "tests/support/installer_parts.h"
#include "tests/support/package_records.h"
#include "tests/support/test_files.h"

using testing_support::Bytes;
using testing_support::DosDate;
using testing_support::DosTime;
using testing_support::Entry;
using testing_support::FileExists;
using testing_support::Pack;
using testing_support::RandomBytes;
using testing_support::ReadFile;
using testing_support::RecordAt;
using testing_support::RecordOffsets;
using testing_support::TempDir;
using testing_support::Text;
using testing_support::WriteFile;

namespace {

// Decodes exactly the given bytes, as the unpacker hands out a record's share.
struct MemoryDecode {
  const uint8_t* input;
  size_t left;
  Bytes output;
};

uint32_t ReadInput(uint8_t* buffer, uint32_t* count, void* user_param) {
  auto* decode = static_cast<MemoryDecode*>(user_param);
  size_t n = decode->left < *count ? decode->left : *count;
  std::memcpy(buffer, decode->input, n);
  decode->input += n;
  decode->left -= n;
  return static_cast<uint32_t>(n);
}

void WriteOutput(uint8_t* buffer, uint32_t* count, void* user_param) {
  auto* decode = static_cast<MemoryDecode*>(user_param);
  decode->output.insert(decode->output.end(), buffer, buffer + *count);
}

int32_t Decode(const uint8_t* stream, size_t size, Bytes* output) {
  static ImplodeWorkArea work;
  MemoryDecode decode = {stream, size, {}};
  int32_t result = DecodeImplodeStream(ReadInput, WriteOutput, &work, &decode);
  *output = decode.output;
  return result;
}

TEST(PackageWriterTest, PackagesAsTheLauncherCarriesThem) {
  const std::vector<package::PackageEntry> entries = {
      Entry("~0000.exe", RandomBytes(20000, 11), DosDate(2003, 4, 5), DosTime(6, 7, 8)),
      Entry("empty", Bytes(), DosDate(1980, 1, 1), DosTime(0, 0, 0)),
      Entry("notes.txt", Text(std::string(9000, 'z') + "end"), DosDate(2107, 12, 31),
            DosTime(23, 59, 58)),
  };
  for (uint16_t value_20 : {package::kUsualHeaderValue20, package::kOtherHeaderValue20}) {
    package::PackOptions options;
    options.header_value_20 = value_20;
    Bytes package = Pack(entries, options);
    ASSERT_GE(package.size(), package::kHeaderSize);

    package::PackageHeader header;
    package::DecodePackageHeader(package.data(), &header);
    EXPECT_EQ(header.value_14, 116);
    EXPECT_EQ(header.file_count, 3);
    EXPECT_EQ(header.value_18, 116);
    EXPECT_EQ(header.value_20, value_20);

    std::vector<size_t> offsets = RecordOffsets(package);
    ASSERT_EQ(offsets.size(), entries.size());
    for (size_t i = 0; i < entries.size(); ++i) {
      package::FileRecord record = RecordAt(package, offsets[i]);
      EXPECT_STREQ(record.name, entries[i].name.c_str());
      EXPECT_EQ(record.attributes, 0x20u);
      EXPECT_EQ(record.dos_date, entries[i].dos_date);
      EXPECT_EQ(record.dos_time, entries[i].dos_time);
      EXPECT_EQ(record.uncompressed_size, entries[i].data.size());
      // Binary, dictionary code 6; the stream decodes whole from exactly its own bytes and
      // needs the last of them: nothing follows the end code.
      const uint8_t* stream = package.data() + offsets[i] + package::kRecordSize;
      EXPECT_EQ(stream[0], kImplodeBinary);
      EXPECT_EQ(stream[1], 6);
      Bytes decoded;
      EXPECT_EQ(Decode(stream, record.compressed_size, &decoded), IMPLODE_OK) << i;
      EXPECT_EQ(decoded, entries[i].data) << i;
      EXPECT_NE(Decode(stream, record.compressed_size - 1, &decoded), IMPLODE_OK) << i;
    }
    size_t last = offsets.back();
    EXPECT_EQ(last + package::kRecordSize + RecordAt(package, last).compressed_size,
              package.size());
  }
}

TEST(PackageWriterTest, CompressionTypeAndDictionaryAreSelectable) {
  const Bytes data = Text("the quick brown fox jumps over the lazy dog; " + std::string(600, '-'));
  for (uint32_t type : {kImplodeBinary, kImplodeAscii}) {
    for (uint32_t bits : {4u, 5u, 6u}) {
      package::PackOptions options;
      options.compression_type = type;
      options.dictionary_bits = bits;
      Bytes package = Pack({Entry("a.txt", data)}, options);
      size_t at = RecordOffsets(package).at(0);
      const uint8_t* stream = package.data() + at + package::kRecordSize;
      EXPECT_EQ(stream[0], type);
      EXPECT_EQ(stream[1], bits);
      Bytes decoded;
      EXPECT_EQ(Decode(stream, RecordAt(package, at).compressed_size, &decoded), IMPLODE_OK);
      EXPECT_EQ(decoded, data);
    }
  }
}

// Each level's stream is the encoder's at that level; the two differ on data whose copies lie
// deeper in the hash chains than the fast level looks.
TEST(PackageWriterTest, LevelIsTheEncodersLevel) {
  Bytes data = RandomBytes(30000, 4);
  for (uint8_t& byte : data)
    byte = static_cast<uint8_t>('a' + byte % 4);
  const Bytes fast = ImplodeBytes(data.data(), data.size(), kImplodeBinary, 6, kImplodeFast);
  const Bytes best = ImplodeBytes(data.data(), data.size(), kImplodeBinary, 6, kImplodeBest);
  ASSERT_LT(best.size(), fast.size());
  for (const Bytes* expected : {&fast, &best}) {
    package::PackOptions options;
    options.level = expected == &fast ? kImplodeFast : kImplodeBest;
    Bytes package = Pack({Entry("a.bin", data)}, options);
    size_t at = RecordOffsets(package).at(0);
    const uint8_t* stream = package.data() + at + package::kRecordSize;
    EXPECT_EQ(Bytes(stream, stream + RecordAt(package, at).compressed_size), *expected);
  }
}

// Files are coded in blocks on as many threads as asked for, and joined in order: the package is
// the same for any number, and each stream is the one the encoder makes of the whole file.
TEST(PackageWriterTest, SameBytesOnAnyNumberOfThreads) {
  TempDir dir;
  const Bytes big = RandomBytes(200000, 5);
  WriteFile(dir.Join("big.bin"), big);
  Bytes text;
  while (text.size() < 300000) {
    const std::string line = "line " + std::to_string(text.size() % 977) + " of many\r\n";
    text.insert(text.end(), line.begin(), line.end());
  }
  package::PackageEntry from_disk;
  ASSERT_EQ(package::EntryFromFile(dir.Join("big.bin"), "", &from_disk, nullptr), 1);
  const std::vector<package::PackageEntry> entries = {
      Entry("text.txt", text),
      Entry("empty", Bytes()),
      from_disk,
      Entry("one.bin", Bytes(1, 7)),
      Entry("block.bin", Bytes(65536, 3)),  // exactly one encoder block
      Entry("blocks.bin", Bytes(text.begin(), text.begin() + 131073)),
  };
  const Bytes one_thread = Pack(entries, package::PackOptions());
  size_t at = RecordOffsets(one_thread).at(0);
  const uint8_t* stream = one_thread.data() + at + package::kRecordSize;
  EXPECT_EQ(Bytes(stream, stream + RecordAt(one_thread, at).compressed_size),
            ImplodeBytes(text.data(), text.size(), kImplodeBinary, 6));
  for (uint32_t jobs : {2u, 3u, 4u, 8u}) {
    SCOPED_TRACE(jobs);
    package::PackOptions options;
    options.jobs = jobs;
    uint64_t progress = 0;
    options.progress = [&progress](uint64_t bytes) { progress += bytes; };
    EXPECT_EQ(Pack(entries, options), one_thread);
    const std::string target = dir.Join("p" + std::to_string(jobs) + ".shr");
    ASSERT_EQ(package::WritePackageFile(target, entries, options, nullptr), 1);
    EXPECT_EQ(ReadFile(target), one_thread);
    EXPECT_EQ(progress, 2 * (text.size() + big.size() + 1 + 65536 + 131073));
  }
}

TEST(PackageWriterTest, FilesAreStreamedFromDiskWithTheirUtcTimes) {
  TempDir dir;
  const Bytes big = RandomBytes(300000, 12);
  const std::string source = dir.Join("engine.bin");
  WriteFile(source, big);
  platform::FileHandle file = platform::OpenForAppending(source.c_str(), false);
  ASSERT_NE(platform::SetFileDosDateTime(file, DosDate(2020, 2, 29), DosTime(1, 2, 4)), 0);
  platform::CloseFile(file);

  package::PackageEntry as_is;
  package::PackageEntry renamed;
  std::string error;
  ASSERT_EQ(package::EntryFromFile(source, "", &as_is, &error), 1) << error;
  ASSERT_EQ(package::EntryFromFile(source, "~0000.exe", &renamed, &error), 1) << error;
  EXPECT_EQ(as_is.name, "engine.bin");
  EXPECT_EQ(renamed.name, "~0000.exe");
  EXPECT_EQ(as_is.dos_date, DosDate(2020, 2, 29));
  EXPECT_EQ(as_is.dos_time, DosTime(1, 2, 4));

  const std::string target = dir.Join("out.shr");
  package::PackOptions options;
  uint64_t reported = 0;
  options.progress = [&reported](uint64_t bytes) { reported += bytes; };
  ASSERT_EQ(package::WritePackageFile(target, {as_is, renamed}, options, &error), 1) << error;
  EXPECT_EQ(reported, 2 * big.size()) << "progress counts every input byte once";
  // The same bytes as a package built from the data in memory.
  EXPECT_EQ(ReadFile(target), Pack({Entry("engine.bin", big, as_is.dos_date, as_is.dos_time),
                                    Entry("~0000.exe", big, as_is.dos_date, as_is.dos_time)}));
}

TEST(PackageWriterTest, RefusesWhatTheLauncherCouldNotUnpack) {
  TempDir dir;
  const std::string target = dir.Join("out.shr");
  struct Case {
    const char* what;
    std::vector<package::PackageEntry> entries;
    package::PackOptions options;
  };
  package::PackOptions bad_type;
  bad_type.compression_type = 2;
  package::PackOptions bad_dictionary;
  bad_dictionary.dictionary_bits = 7;
  package::PackOptions bad_level;
  bad_level.level = static_cast<ImplodeLevel>(2);
  package::PackOptions no_threads;
  no_threads.jobs = 0;
  package::PackOptions too_many_threads;
  too_many_threads.jobs = package::kMaxPackJobs + 1;
  package::PackageEntry missing;
  missing.name = "missing.bin";
  missing.source_path = dir.Join("no-such-file");
  const Case cases[] = {
      {"no files", {}, package::PackOptions()},
      {"directory part", {Entry("ok.txt", Bytes()), Entry("sub\\x.txt", Bytes())}, {}},
      {"parent", {Entry("..", Bytes())}, {}},
      {"drive", {Entry("C:x", Bytes())}, {}},
      {"empty name", {Entry("", Bytes())}, {}},
      {"name too long", {Entry(std::string(128, 'n'), Bytes())}, {}},
      {"type", {Entry("a", Bytes())}, bad_type},
      {"dictionary", {Entry("a", Bytes())}, bad_dictionary},
      {"level", {Entry("a", Bytes())}, bad_level},
      {"no threads", {Entry("a", Bytes())}, no_threads},
      {"too many threads", {Entry("a", Bytes())}, too_many_threads},
      {"source missing", {Entry("a", Text("first")), missing}, {}},
  };
  for (const Case& c : cases) {
    std::string error;
    EXPECT_EQ(package::WritePackageFile(target, c.entries, c.options, &error), 0) << c.what;
    EXPECT_FALSE(error.empty()) << c.what;
    EXPECT_FALSE(FileExists(target)) << c.what;
    Bytes bytes;
    EXPECT_EQ(package::BuildPackage(c.entries, c.options, &bytes, nullptr), 0) << c.what;
  }
  std::vector<package::PackageEntry> too_many(32768, Entry("a", Bytes()));
  EXPECT_EQ(package::WritePackageFile(target, too_many, package::PackOptions(), nullptr), 0);
  EXPECT_FALSE(FileExists(target));

  package::PackageEntry entry;
  EXPECT_EQ(package::EntryFromFile(dir.Join("no-such-file"), "", &entry, nullptr), 0);
  WriteFile(dir.Join("x"), Text("x"));
  EXPECT_EQ(package::EntryFromFile(dir.Join("x"), "a/b", &entry, nullptr), 0);
}

}  // namespace
