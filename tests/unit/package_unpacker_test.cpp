#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "archive/archive_reader.h"
#include "archive/archive_writer.h"
#include "base/bounded_text.h"
#include "implode/implode_encoder.h"
#include "package/unpacker.h"
#include "platform/files.h"
#include "platform/text_file.h"
#include "tests/support/installer_parts.h"
#include "tests/support/package_records.h"
#include "tests/support/test_files.h"

using testing_support::Bytes;
using testing_support::DosDate;
using testing_support::DosTime;
using testing_support::Entry;
using testing_support::FileExists;
using testing_support::ListFolder;
using testing_support::Pack;
using testing_support::RandomBytes;
using testing_support::ReadFile;
using testing_support::ReadFileText;
using testing_support::RecordAt;
using testing_support::RecordOffsets;
using testing_support::Separator;
using testing_support::TempDir;
using testing_support::Text;
using testing_support::WriteFile;

namespace {

class UnpackerTest : public testing::Test {
 protected:
  void SetUp() override {
    work_dir = dir.path() + Separator();
    script = dir.Join("~0000.bat");
    WriteFile(script, std::string());  // the sequence creates it empty before any unpacking
    // As the launcher sets it up: files go into the work directory, the cleanup script is
    // kept from every package, and each whole file gets its "del " line there.
    target.folder = work_dir.c_str();
    target.kept_paths[0] = script.c_str();
    target.file_written = ListInScript;
    target.block_read = CountBlock;
    target.context = this;
  }

  static void ListInScript(void* context, const char* path) {
    auto* test = static_cast<UnpackerTest*>(context);
    text::AppendLine(test->script.c_str(), ("del " + std::string(path)).c_str(), true);
  }

  static void CountBlock(void* context) { ++static_cast<UnpackerTest*>(context)->blocks_read; }

  // Puts the package into the work directory as a loose file and unpacks it.
  int Unpack(const Bytes& package, const std::string& name = "pkg.shr") {
    WriteFile(dir.Join(name), package);
    return UnpackPackageFile(&target, nullptr, name.c_str());
  }

  std::string Del(const std::string& name) const { return "del " + work_dir + name + "\r\n"; }

  // What the work directory holds besides the package and the cleanup script.
  std::vector<std::string> Unpacked() const {
    std::vector<std::string> names;
    for (const std::string& name : ListFolder(dir.path())) {
      if (name != "~0000.bat" && name != "pkg.shr") names.push_back(name);
    }
    return names;
  }

  void ExpectTime(const std::string& name, uint32_t dos_date, uint32_t dos_time) const {
    uint32_t date = 0;
    uint32_t time = 0;
    ASSERT_NE(platform::GetLastWriteDosDateTime(dir.Join(name).c_str(), &date, &time), 0);
    EXPECT_EQ(date, dos_date) << name;
    EXPECT_EQ(time, dos_time) << name;
  }

  TempDir dir;
  std::string work_dir;
  std::string script;
  UnpackTarget target = {};
  int32_t blocks_read = 0;
};

// Random bytes whose binary-mode stream is exactly stream_size bytes long. Random data costs
// about nine bits a byte, so some length near stream_size * 8 / 9 hits the size exactly.
Bytes DataForStreamSize(uint32_t stream_size, uint32_t seed) {
  Bytes pool = RandomBytes(stream_size, seed);
  size_t guess = stream_size * 8 / 9;
  for (size_t length = guess - 64; length < guess + 64; ++length) {
    if (ImplodeBytes(pool.data(), length, kImplodeBinary, 6).size() == stream_size) {
      return Bytes(pool.begin(), pool.begin() + static_cast<std::ptrdiff_t>(length));
    }
  }
  ADD_FAILURE() << "no length gives a stream of " << stream_size << " bytes";
  return Bytes();
}

TEST_F(UnpackerTest, ZeroUncompressedSizeIsNotConsulted) {
  Bytes data = RandomBytes(10000, 1);
  Bytes package = Pack({Entry("~0000.exe", data, DosDate(2001, 2, 3), DosTime(4, 5, 6))});
  size_t record = RecordOffsets(package).at(0);
  package::FileRecord fields = RecordAt(package, record);
  ASSERT_EQ(fields.uncompressed_size, data.size());
  fields.uncompressed_size = 0;
  testing_support::PutRecordAt(&package, record, fields);

  EXPECT_EQ(Unpack(package), 1);
  EXPECT_EQ(ReadFile(dir.Join("~0000.exe")), data);
  ExpectTime("~0000.exe", DosDate(2001, 2, 3), DosTime(4, 5, 6));
  EXPECT_EQ(ReadFileText(script), Del("~0000.exe"));
}

TEST_F(UnpackerTest, ThreeFilesInPackageOrderWithTheirLinesAndTimes) {
  const std::vector<package::PackageEntry> entries = {
      Entry("zeta.dll", RandomBytes(70000, 2), DosDate(1999, 12, 31), DosTime(23, 59, 58)),
      Entry("empty.txt", Bytes(), DosDate(2024, 6, 30), DosTime(4, 0, 0)),
      Entry("alpha.txt", Text(std::string(5000, 'a') + "tail"), DosDate(1980, 1, 1),
            DosTime(0, 0, 0)),
  };
  Bytes package = Pack(entries);

  size_t expected_size = package::kHeaderSize;
  for (size_t offset : RecordOffsets(package)) {
    expected_size += package::kRecordSize + RecordAt(package, offset).compressed_size;
  }
  EXPECT_EQ(RecordOffsets(package).size(), 3u);
  EXPECT_EQ(expected_size, package.size());

  EXPECT_EQ(Unpack(package), 1);
  for (const package::PackageEntry& entry : entries) {
    EXPECT_EQ(ReadFile(dir.Join(entry.name)), entry.data) << entry.name;
    // Times away from noon and midnight in a zone away from UTC: a local-time slip moves them.
    ExpectTime(entry.name, entry.dos_date, entry.dos_time);
  }
  EXPECT_EQ(ReadFileText(script), Del("zeta.dll") + Del("empty.txt") + Del("alpha.txt"));
}

TEST_F(UnpackerTest, PackageShorterThanItsHeaderCreatesNothing) {
  Bytes whole = Pack({Entry("a.txt", Text("abc"))});
  for (size_t size : {size_t{0}, size_t{1}, size_t{57}}) {
    Bytes cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(size));
    EXPECT_EQ(Unpack(cut), 0) << size;
    EXPECT_TRUE(Unpacked().empty()) << size;
    EXPECT_EQ(ReadFileText(script), "") << size;
  }
  // (A work area allocated and left behind would be reported by the host's LeakSanitizer.)
  // A package that is not there at all ends the same way.
  EXPECT_EQ(UnpackPackageFile(&target, nullptr, "absent.shr"), 0);
  EXPECT_TRUE(Unpacked().empty());
}

TEST_F(UnpackerTest, FileCountBelowOneUnpacksNothing) {
  Bytes package = Pack({Entry("a.txt", Text("abc"))});
  for (int16_t count : {int16_t{0}, int16_t{-1}, int16_t{-32768}}) {
    package::PackageHeader header;
    package::DecodePackageHeader(package.data(), &header);
    header.file_count = count;
    package::EncodePackageHeader(header, package.data());
    EXPECT_EQ(Unpack(package), 0) << count;
    EXPECT_TRUE(Unpacked().empty()) << count;
    EXPECT_EQ(ReadFileText(script), "") << count;
  }
}

TEST_F(UnpackerTest, DamagedStreamInTheMiddleStopsThePackageThere) {
  const Bytes middle = RandomBytes(50000, 3);
  const std::vector<package::PackageEntry> entries = {Entry("first.txt", Text("first file")),
                                                      Entry("middle.bin", middle),
                                                      Entry("last.txt", Text("last file"))};
  struct Case {
    const char* what;
    void (*damage)(Bytes* package, size_t record);
    size_t least_kept;  // the full output blocks decoded before the damage reach the file
  };
  const Case cases[] = {
      // The record claims half the stream: the decoder runs out before the end code.
      {"cut",
       [](Bytes* package, size_t record) {
         package::FileRecord fields = RecordAt(*package, record);
         fields.compressed_size /= 2;
         testing_support::PutRecordAt(package, record, fields);
       },
       16384},
      // A dictionary size code the decoder refuses before it writes anything.
      {"bad dictionary",
       [](Bytes* package, size_t record) { (*package)[record + package::kRecordSize + 1] = 7; }, 0},
  };
  for (const Case& c : cases) {
    Bytes package = Pack(entries);
    c.damage(&package, RecordOffsets(package).at(1));
    ASSERT_EQ(ReadFileText(script), "");

    EXPECT_EQ(Unpack(package), 0) << c.what;
    EXPECT_EQ(ReadFile(dir.Join("first.txt")), entries[0].data) << c.what;
    Bytes partial = ReadFile(dir.Join("middle.bin"));
    EXPECT_LT(partial.size(), middle.size()) << c.what;
    EXPECT_GE(partial.size(), c.least_kept) << c.what;
    EXPECT_TRUE(std::equal(partial.begin(), partial.end(), middle.begin())) << c.what;
    EXPECT_FALSE(FileExists(dir.Join("last.txt"))) << c.what;
    EXPECT_EQ(ReadFileText(script), Del("first.txt")) << c.what;
    WriteFile(script, std::string());
    platform::RemoveFile(dir.Join("middle.bin").c_str());
  }
}

TEST_F(UnpackerTest, ExistingReadOnlyFileIsReplaced) {
  const std::string target = dir.Join("~0000.exe");
  WriteFile(target, Text("an older engine, longer than the new one"));
  ASSERT_NE(platform::SetAttributes(target.c_str(), platform::kAttributeReadOnly), 0);
  ASSERT_NE(platform::GetAttributes(target.c_str()) & platform::kAttributeReadOnly, 0u);

  EXPECT_EQ(Unpack(Pack({Entry("~0000.exe", Text("new"))})), 1);
  EXPECT_EQ(ReadFile(target), Text("new"));
  EXPECT_EQ(platform::GetAttributes(target.c_str()) & platform::kAttributeReadOnly, 0u);
  EXPECT_EQ(ReadFileText(script), Del("~0000.exe"));
}

TEST_F(UnpackerTest, OneStepPerBlockOfCompressedData) {
  struct Case {
    uint32_t stream_size;
    int32_t steps;
  };
  const Case cases[] = {{2048, 1}, {4096, 2}, {3 * 2048, 3}, {2049, 2}, {100, 1}};
  for (const Case& c : cases) {
    blocks_read = 0;
    Bytes data = DataForStreamSize(c.stream_size, c.stream_size);
    // A second file after it proves that the stream took exactly its own bytes.
    Bytes package = Pack({Entry("sized.bin", data), Entry("next.txt", Text("next"))});
    ASSERT_EQ(RecordAt(package, RecordOffsets(package).at(0)).compressed_size, c.stream_size);
    ASSERT_LE(RecordAt(package, RecordOffsets(package).at(1)).compressed_size, 2048u);

    EXPECT_EQ(Unpack(package), 1) << c.stream_size;
    EXPECT_EQ(ReadFile(dir.Join("sized.bin")), data) << c.stream_size;
    EXPECT_EQ(ReadFile(dir.Join("next.txt")), Text("next")) << c.stream_size;
    EXPECT_EQ(blocks_read, c.steps + 1) << c.stream_size;
  }
}

TEST_F(UnpackerTest, WriteCallbackReportsFailedWritesAndHonoursAbort) {
  const std::string path = dir.Join("out.bin");
  uint8_t block[16] = {1, 2, 3};
  uint32_t count = sizeof block;

  // A handle that cannot be written: the block is lost and the file counts as failed.
  WriteFile(path, Text("x"));
  UnpackContext context = {&target, nullptr, {}, platform::OpenForReading(path.c_str()), false};
  ASSERT_NE(context.output_file, platform::kNoFile);
  PackageWriteCallback(block, &count, &context);
  platform::CloseFile(context.output_file);
  EXPECT_TRUE(context.write_failed);

  // After a failed read of the run nothing is written at all.
  target.read_failed = true;
  context = {&target, nullptr, {}, platform::CreateForReadWrite(path.c_str()), false};
  PackageWriteCallback(block, &count, &context);
  platform::CloseFile(context.output_file);
  EXPECT_EQ(ReadFile(path).size(), 0u);
  EXPECT_FALSE(context.write_failed);

  // Otherwise the block goes out whole.
  target.read_failed = false;
  context = {&target, nullptr, {}, platform::CreateForReadWrite(path.c_str()), false};
  PackageWriteCallback(block, &count, &context);
  platform::CloseFile(context.output_file);
  EXPECT_EQ(ReadFile(path), Bytes(block, block + sizeof block));
  EXPECT_FALSE(context.write_failed);
}

TEST_F(UnpackerTest, FailedReadSetsAbortForTheRestOfTheRun) {
  // A package whose stream cannot be read, as an archive member whose archive is gone.
  UnpackContext context = {&target, nullptr, {}, platform::kNoFile, false};
  const package::PackageSource failing = {[](void*, void*, int32_t) -> int32_t { return -1; },
                                          nullptr, nullptr};
  package::BeginPackageStream(&context.package, failing, 5000);
  uint8_t buffer[kImplodeInputBlockSize];
  uint32_t count = kImplodeInputBlockSize;
  EXPECT_EQ(PackageReadCallback(buffer, &count, &context), 0u);
  EXPECT_TRUE(target.read_failed);

  // The next package of the run: its first file is created, left empty and unlisted, and
  // nothing after it is unpacked.
  EXPECT_EQ(Unpack(Pack({Entry("one.txt", Text("one")), Entry("two.txt", Text("two"))})), 0);
  EXPECT_TRUE(FileExists(dir.Join("one.txt")));
  EXPECT_EQ(ReadFile(dir.Join("one.txt")).size(), 0u);
  EXPECT_FALSE(FileExists(dir.Join("two.txt")));
  EXPECT_EQ(ReadFileText(script), "");

  // And the one after that again.
  EXPECT_TRUE(target.read_failed);
  EXPECT_EQ(Unpack(Pack({Entry("three.txt", Text("three"))}), "other.shr"), 0);
  EXPECT_EQ(ReadFile(dir.Join("three.txt")).size(), 0u);
  EXPECT_EQ(ReadFileText(script), "");
}

TEST_F(UnpackerTest, RecordWithoutAPlainNameStopsBeforeCreatingAnything) {
  ASSERT_NE(platform::MakeDirectory(dir.Join("sub").c_str()), 0);
  const std::string parent_file = "tovalin-package-escape.txt";
  struct Case {
    const char* what;
    Bytes field;
  };
  const Case cases[] = {
      {"backslash", Text("sub\\x.txt")},
      {"slash", Text("sub/x.txt")},
      {"drive", Text("C:x.txt")},
      {"parent", Text("..")},
      {"up and out", Text("..\\" + parent_file)},
      {"up and out (slash)", Text("../" + parent_file)},
      {"empty", Bytes()},
      {"no NUL", Bytes(package::kNameFieldSize, 'n')},
  };
  for (const Case& c : cases) {
    Bytes package = Pack({Entry("first.txt", Text("first")), Entry("placeholder.txt", Text("2")),
                          Entry("third.txt", Text("third"))});
    testing_support::PutNameField(&package, RecordOffsets(package).at(1), c.field);

    EXPECT_EQ(Unpack(package), 0) << c.what;
    EXPECT_EQ(Unpacked(), (std::vector<std::string>{"first.txt", "sub"})) << c.what;
    EXPECT_TRUE(ListFolder(dir.Join("sub")).empty()) << c.what;
    EXPECT_FALSE(FileExists(dir.path() + Separator() + ".." + Separator() + parent_file)) << c.what;
    EXPECT_EQ(ReadFileText(script), Del("first.txt")) << c.what;
    WriteFile(script, std::string());
  }
}

TEST_F(UnpackerTest, PackageNeverReplacesItselfOrTheCleanupScript) {
  for (const char* name : {"pkg.shr", "PKG.Shr", "~0000.bat", "~0000.BAT"}) {
    Bytes package = Pack({Entry("first.txt", Text("first")), Entry(name, Text("del *.*")),
                          Entry("third.txt", Text("third"))});
    EXPECT_EQ(Unpack(package), 0) << name;
    EXPECT_EQ(ReadFile(dir.Join("pkg.shr")), package) << name;
    EXPECT_EQ(ReadFileText(script), Del("first.txt")) << name;
    EXPECT_EQ(Unpacked(), std::vector<std::string>{"first.txt"}) << name;
    WriteFile(script, std::string());
  }
}

TEST_F(UnpackerTest, RecordThatCannotBeReadWholeStopsBeforeCreatingAnything) {
  Bytes package = Pack({Entry("first.txt", Text("first")), Entry("second.txt", Text("second"))});
  size_t second = RecordOffsets(package).at(1);
  for (size_t keep : {size_t{0}, size_t{1}, size_t{package::kRecordSize - 1}}) {
    Bytes cut(package.begin(), package.begin() + static_cast<std::ptrdiff_t>(second + keep));
    EXPECT_EQ(Unpack(cut), 0) << keep;
    EXPECT_EQ(Unpacked(), std::vector<std::string>{"first.txt"}) << keep;
    EXPECT_EQ(ReadFileText(script), Del("first.txt")) << keep;
    WriteFile(script, std::string());
  }
}

TEST_F(UnpackerTest, OutputThatCannotBeCreatedIsAFailedFile) {
  ASSERT_NE(platform::MakeDirectory(dir.Join("busy").c_str()), 0);
  EXPECT_EQ(Unpack(Pack({Entry("first.txt", Text("first")), Entry("busy", Text("in the way")),
                         Entry("third.txt", Text("third"))})),
            0);
  EXPECT_EQ(Unpacked(), (std::vector<std::string>{"busy", "first.txt"}));
  EXPECT_EQ(ReadFileText(script), Del("first.txt"));
}

TEST_F(UnpackerTest, PathThatDoesNotFitIsRefused) {
  // Work directory + name must fit the 1,024-byte path; a longer one is not cut.
  std::string name(package::kMaxNameLength, 'n');
  WriteFile(dir.Join("pkg.shr"), Pack({Entry(name, Text("x"))}));
  std::string padded = work_dir;
  while (padded.size() + name.size() < text::kPathCapacity)
    padded += std::string(".") + Separator();
  target.folder = padded.c_str();
  EXPECT_EQ(UnpackPackageFile(&target, nullptr, "pkg.shr"), 0);
  EXPECT_TRUE(Unpacked().empty());
  EXPECT_EQ(ReadFileText(script), "");
}

TEST_F(UnpackerTest, PackagesInsideThePayloadArchive) {
  const Bytes engine = RandomBytes(30000, 7);
  const Bytes helper = Text("helper text");
  std::vector<archive::NewMember> members(3);
  members[0].name = "init.ini";
  members[0].data = Text("Welcome");
  members[1].name = "inst32.shr";
  members[1].data = Pack({Entry("~0000.exe", engine, DosDate(2010, 5, 6), DosTime(7, 8, 10))});
  members[2].name = "temp.shr";
  members[2].data = Pack({Entry("helper.txt", helper), Entry("more.txt", Text("more"))});
  TempDir elsewhere;
  const std::string installer = elsewhere.Join("setup.exe");
  std::string error;
  ASSERT_EQ(archive::WriteInstallerFile(installer, Text("MZ stand-in image"), members, &error), 1)
      << error;

  ArchiveReader reader;
  ResetArchiveReader(&reader);
  SelectArchiveSource(&reader, installer.c_str());
  // No loose file of either name exists: both come out of the archive.
  EXPECT_EQ(UnpackPackageFile(&target, &reader, "temp.shr"), 1);
  EXPECT_EQ(UnpackPackageFile(&target, &reader, "inst32.shr"), 1);
  CloseArchive(&reader);
  EXPECT_EQ(ReadFile(dir.Join("helper.txt")), helper);
  EXPECT_EQ(ReadFile(dir.Join("more.txt")), Text("more"));
  EXPECT_EQ(ReadFile(dir.Join("~0000.exe")), engine);
  ExpectTime("~0000.exe", DosDate(2010, 5, 6), DosTime(7, 8, 10));
  EXPECT_EQ(ReadFileText(script), Del("helper.txt") + Del("more.txt") + Del("~0000.exe"));
}

}  // namespace
