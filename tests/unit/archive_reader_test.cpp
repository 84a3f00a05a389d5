// The archive reader against installers built by the writer and against hand-made broken ones:
// lookups, the fallback to loose files, member streams, the install-script scan and copies.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "archive/archive_format.h"
#include "archive/archive_reader.h"
#include "platform/files.h"
#include "tests/support/pe_image.h"
#include "tests/support/test_files.h"
#include "tests/unit/archive_test_util.h"

#ifndef _WIN32
#include <signal.h>
#include <sys/resource.h>

#include "tests/support/pretend_machine.h"
#endif

using archive_testing::Append;
using archive_testing::BuildInstaller;
using archive_testing::Bytes;
using archive_testing::HeaderBytes;
using archive_testing::Member;
using archive_testing::NameField;
using archive_testing::ReadRest;
using archive_testing::Text;
using archive_testing::TrailerBytes;
using testing_support::FileExists;
using testing_support::RandomBytes;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

namespace {

constexpr uint32_t kImageSize = 1000;

class ArchiveReaderTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetArchiveReader(&reader_); }
  void TearDown() override {
    CloseArchive();
#ifndef _WIN32
    pretend::ResetMachine();
#endif
  }

  // The reader's operations, on the fixture's own reader.
  void SelectArchiveSource(const char* path) {
    ::SelectArchiveSource(&reader_, path);
  }
  void CloseArchive() {
    ::CloseArchive(&reader_);
  }
  MemberStream* OpenMember(const char* path) {
    return ::OpenMember(&reader_, path);
  }
  int HasInstallScriptMember() {
    return ::HasInstallScriptMember(&reader_);
  }
  const ArchiveReader& CurrentArchiveState() const {
    return reader_;
  }
  // A copy out of source, which is selected first.
  int CopyMemberToFile(const char* source, const char* path, const char* target, void* buffer) {
    ::SelectArchiveSource(&reader_, source);
    return ::CopyMemberToFile(&reader_, path, target, buffer);
  }

  std::string Path(const std::string& name) const {
    return dir_.Join(name);
  }

  // Opens a member by request, reads it whole and closes it. False when OpenMember gives none.
  bool ReadWhole(const std::string& request, Bytes* bytes) {
    MemberStream* stream = OpenMember(request.c_str());
    if (stream == nullptr) return false;
    *bytes = ReadRest(stream);
    CloseMember(stream);
    return true;
  }

  // What a request delivers: the bytes, or "(none)".
  std::string Lookup(const std::string& request) {
    Bytes bytes;
    if (!ReadWhole(request, &bytes)) return "(none)";
    return std::string(bytes.begin(), bytes.end());
  }

  ArchiveReader reader_;
  TempDir dir_;
  const std::string installer_ = dir_.Join("setup.exe");
  const Bytes image_ = RandomBytes(kImageSize, 7);
};

// ---- Lookups in well-formed installers ----------------------------------------------------------

TEST_F(ArchiveReaderTest, FindsMembersByFileNameAndExtension) {
  BuildInstaller(installer_, image_,
                 {Member("init.ini", Text("[init]")), Member("temp.shr", Text("package")),
                  Member("[x].ini", Text("brackets")), Member("dup.txt", Text("first")),
                  Member("dup.txt", Text("second")), Member("empty.txt", {})});
  SelectArchiveSource(installer_.c_str());
  const std::vector<std::pair<std::string, std::string>> cases = {
      {Path("init.ini"), "[init]"},
      {Path("INIT.INI"), "[init]"},
      {"C:\\somewhere\\INIT.INI", "[init]"},
      {"Temp.Shr", "package"},
      {Path("dup.txt"), "first"},
      {Path("empty.txt"), ""},
      {Path("[X].INI"), "brackets"},
      {Path("{x}.ini"), "(none)"},
      {Path("missing.txt"), "(none)"},
      {Path("init.ini.bak"), "(none)"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(Lookup(c.first), c.second) << c.first;
}

TEST_F(ArchiveReaderTest, ArchiveMemberStreamCarriesTheHeaderFields) {
  archive::NewMember second = Member("b.bin", RandomBytes(300, 1), 0x1234, 0x4321);
  second.attributes = 0x21;
  BuildInstaller(installer_, image_, {Member("a.txt", Text("abc")), second});
  SelectArchiveSource(installer_.c_str());
  MemberStream* stream = OpenMember(Path("B.BIN").c_str());
  ASSERT_NE(stream, nullptr);
  EXPECT_EQ(stream->file_handle, platform::kNoFile);
  EXPECT_EQ(stream->data_start, static_cast<int32_t>(kImageSize + 276 + 3 + 276));
  EXPECT_EQ(stream->position, 0);
  EXPECT_EQ(stream->size, 300);
  EXPECT_EQ(stream->dos_date, 0x1234u);
  EXPECT_EQ(stream->dos_time, 0x4321u);
  EXPECT_EQ(stream->attributes, 0x21u);
  EXPECT_EQ(ReadRest(stream, 128), RandomBytes(300, 1));
  EXPECT_EQ(stream->position, 300);
  CloseMember(stream);
}

TEST_F(ArchiveReaderTest, LooseFileStreamWhenTheArchiveLacksTheMember) {
  BuildInstaller(installer_, image_, {Member("a.txt", Text("archived"))});
  WriteFile(Path("b.txt"), std::string("loose bytes"));
  SelectArchiveSource(installer_.c_str());
  MemberStream* stream = OpenMember(Path("b.txt").c_str());
  ASSERT_NE(stream, nullptr);
  EXPECT_NE(stream->file_handle, platform::kNoFile);
  EXPECT_EQ(stream->data_start, 0);
  EXPECT_EQ(stream->size, 11);
  EXPECT_EQ(stream->attributes, platform::GetAttributes(Path("b.txt").c_str()));
  EXPECT_EQ(ReadRest(stream, 4), Text("loose bytes"));
  CloseMember(stream);
}

TEST_F(ArchiveReaderTest, KeysBeyondTheLimitsMatchNothingInTheArchive) {
  // Made by hand: the writer would refuse a name that no key can equal.
  Bytes file = image_;
  Append(&file, HeaderBytes(0, 8, NameField("x.abcdefgh")));
  Append(&file, Text("archived"));
  Append(&file, TrailerBytes(kImageSize));
  WriteFile(installer_, file);
  SelectArchiveSource(installer_.c_str());
  EXPECT_EQ(Lookup(Path("x.abcdefgh")), "(none)");
  WriteFile(Path("x.abcdefgh"), std::string("loose"));
  EXPECT_EQ(Lookup(Path("x.abcdefgh")), "loose");
}

TEST_F(ArchiveReaderTest, WildcardsNeverOpenLooseFiles) {
  BuildInstaller(installer_, image_, {Member("a.txt", Text("archived"))});
#ifndef _WIN32
  // Linux allows these names; the reader must refuse them all the same.
  WriteFile(Path("b?.txt"), std::string("loose"));
  WriteFile(Path("*.txt"), std::string("loose"));
#endif
  for (const char* source : {"", installer_.c_str()}) {
    SelectArchiveSource(source);
    EXPECT_EQ(Lookup(Path("b?.txt")), "(none)") << source;
    EXPECT_EQ(Lookup(Path("*.txt")), "(none)") << source;
  }
}

TEST_F(ArchiveReaderTest, EmptySourceReadsLooseFilesOnly) {
  WriteFile(Path("init.ini"), std::string("beside"));
  WriteFile(Path("setup.aic"), std::string("script"));
  SelectArchiveSource("");
  EXPECT_EQ(Lookup(Path("init.ini")), "beside");
  EXPECT_EQ(Lookup(Path("absent.ini")), "(none)");
  EXPECT_EQ(HasInstallScriptMember(), 0);
}

#ifndef _WIN32
TEST_F(ArchiveReaderTest, DoubleByteNamesKeepTrailBytesThatLookLikeSeparators) {
  pretend::SetLeadByteRange(0x81, 0x9F);
  const std::string name = "\x95\x5C.txt";
  BuildInstaller(installer_, image_, {Member(name, Text("double"))});
  SelectArchiveSource(installer_.c_str());
  EXPECT_EQ(Lookup("C:\\dir\\" + name), "double");
  EXPECT_EQ(Lookup(name), "double");
  // In a single-byte code page the key is ".txt", which the archive does not hold.
  pretend::ResetMachine();
  EXPECT_EQ(Lookup("C:\\dir\\" + name), "(none)");
}
#endif

// ---- Trailer and chain, well-formed or not
// --------------------------------------------------------

// Each case is a whole file; the member m.txt either comes from it ("archived") or from the
// loose file beside it ("loose").
struct SourceCase {
  const char* what;
  Bytes file;
  const char* expected;
};

Bytes ImageThen(const Bytes& image, const std::vector<Bytes>& pieces) {
  Bytes file = image;
  for (const Bytes& piece : pieces)
    Append(&file, piece);
  return file;
}

TEST_F(ArchiveReaderTest, ReadsOnlyArchivesItCanTrust) {
  const uint32_t h = archive::kEntryHeaderSize;
  const uint32_t first = kImageSize;
  const Bytes archived = Text("archived");
  Bytes bad_magic = TrailerBytes(first);
  bad_magic[7] = ' ';
  Bytes unterminated = Text("m.txt");
  unterminated.resize(archive::kNameFieldSize, 'x');
  Bytes short_file = TrailerBytes(first);
  short_file.resize(10);

  // Out of file order and not back to back: the chain goes from the far header to the near one.
  Bytes scattered = image_;
  archive_testing::PutAt(&scattered, 3000, HeaderBytes(1500, 4, NameField("other.txt")));
  archive_testing::PutAt(&scattered, 3000 + h, Text("OTHR"));
  archive_testing::PutAt(&scattered, 1500, HeaderBytes(0, 8, NameField("m.txt")));
  archive_testing::PutAt(&scattered, 1500 + h, archived);
  Append(&scattered, RandomBytes(77, 3));
  Append(&scattered, TrailerBytes(3000));

  const std::vector<SourceCase> cases = {
      {"valid",
       ImageThen(image_,
                 {HeaderBytes(0, 8, NameField("m.txt")), archived, TrailerBytes(first, first)}),
       "archived"},
      {"last entry field ignored",
       ImageThen(image_, {HeaderBytes(0, 8, NameField("m.txt")), archived,
                          TrailerBytes(first, 0xDEADBEEF)}),
       "archived"},
      {"junk before the trailer",
       ImageThen(image_, {HeaderBytes(0, 8, NameField("m.txt")), archived, RandomBytes(5000, 9),
                          TrailerBytes(first)}),
       "archived"},
      {"scattered members", scattered, "archived"},
      {"bytes after the NUL",
       ImageThen(image_, {HeaderBytes(0, 8, Text(std::string("m.txt\0zz", 8))), archived,
                          TrailerBytes(first)}),
       "archived"},
      {"byte 7 of magic not NUL",
       ImageThen(image_, {HeaderBytes(0, 8, NameField("m.txt")), archived, bad_magic}), "loose"},
      {"no trailer", image_, "loose"},
      {"shorter than a trailer", short_file, "loose"},
      {"empty file", Bytes(), "loose"},
      {"first entry 0",
       ImageThen(image_, {HeaderBytes(0, 8, NameField("m.txt")), archived, TrailerBytes(0, first)}),
       "loose"},
      {"first entry beyond the end",
       ImageThen(image_, {HeaderBytes(0, 8, NameField("m.txt")), archived, TrailerBytes(90000)}),
       "loose"},
      {"truncated header", ImageThen(image_, {TrailerBytes(kImageSize - 100)}), "loose"},
      {"name without NUL",
       ImageThen(image_, {HeaderBytes(0, 8, unterminated), archived, TrailerBytes(first)}),
       "loose"},
      {"looping chain",
       ImageThen(image_, {HeaderBytes(first + h, 0, NameField("a.txt")),
                          HeaderBytes(first, 0, NameField("b.txt")), TrailerBytes(first)}),
       "loose"},
      {"chain into the trailer",
       ImageThen(image_, {HeaderBytes(first + h + 8 + 1, 8, NameField("a.txt")), archived,
                          TrailerBytes(first)}),
       "loose"},
  };
  WriteFile(Path("m.txt"), std::string("loose"));
  for (const SourceCase& c : cases) {
    WriteFile(installer_, c.file);
    SelectArchiveSource(installer_.c_str());
    EXPECT_EQ(Lookup(Path("m.txt")), c.expected) << c.what;
    EXPECT_EQ(HasInstallScriptMember(), 0) << c.what;
    CloseArchive();
  }
}

TEST_F(ArchiveReaderTest, MovesThroughTheFourStates) {
  const ArchiveReader& state = CurrentArchiveState();
  auto expect_state = [&](const char* what, bool has_source, bool open, uint32_t first) {
    EXPECT_EQ(state.source_path[0] != '\0', has_source) << what;
    EXPECT_EQ(state.archive_handle != platform::kNoFile, open) << what;
    EXPECT_EQ(state.first_entry_offset, first) << what;
  };
  BuildInstaller(installer_, image_, {Member("a.txt", Text("a"))});
  WriteFile(Path("empty.exe"), ImageThen(image_, {TrailerBytes(0)}));
  WriteFile(Path("plain.exe"), image_);

  expect_state("start", false, false, 0);
  SelectArchiveSource(installer_.c_str());
  EXPECT_STREQ(state.source_path, installer_.c_str());
  expect_state("selected", true, false, 0);
  EXPECT_EQ(Lookup(Path("a.txt")), "a");
  expect_state("available", true, true, kImageSize);
  SelectArchiveSource(installer_.c_str());
  expect_state("selected again", true, false, 0);
  CloseArchive();
  expect_state("closed", false, false, 0);

  SelectArchiveSource(Path("empty.exe").c_str());
  EXPECT_EQ(Lookup(Path("a.txt")), "(none)");
  expect_state("open without members", true, true, 0);
  platform::FileHandle kept = state.archive_handle;
  EXPECT_EQ(HasInstallScriptMember(), 0);
  // A reader that re-opened here would hold a second handle (cppcheck cannot see that the
  // scan changes the state behind the reference).
  // cppcheck-suppress knownConditionTrueFalse
  EXPECT_EQ(state.archive_handle, kept) << "opened again";

  SelectArchiveSource(Path("plain.exe").c_str());
  EXPECT_EQ(Lookup(Path("a.txt")), "(none)");
  expect_state("no archive in the source", false, false, 0);

  SelectArchiveSource("");
  expect_state("empty source", false, false, 0);
}

TEST_F(ArchiveReaderTest, RefusesASourcePathThatDoesNotFit) {
  std::string fits(kSourcePathCapacity - 1, 'p');
  SelectArchiveSource(fits.c_str());
  EXPECT_EQ(std::string(CurrentArchiveState().source_path), fits);
  std::string too_long(kSourcePathCapacity, 'p');
  SelectArchiveSource(too_long.c_str());
  EXPECT_STREQ(CurrentArchiveState().source_path, "");
  EXPECT_EQ(CurrentArchiveState().archive_handle, platform::kNoFile);
}

TEST_F(ArchiveReaderTest, ASourceWithoutArchiveIsTriedOnce) {
  WriteFile(installer_, image_);
  WriteFile(Path("m.txt"), std::string("loose"));
  SelectArchiveSource(installer_.c_str());
  EXPECT_EQ(Lookup(Path("m.txt")), "loose");
  // The source now carries an archive, but the reader has given up on it ...
  BuildInstaller(installer_, image_, {Member("m.txt", Text("archived"))});
  EXPECT_EQ(Lookup(Path("m.txt")), "loose");
  EXPECT_EQ(HasInstallScriptMember(), 0);
  // ... until it is selected again.
  SelectArchiveSource(installer_.c_str());
  EXPECT_EQ(Lookup(Path("m.txt")), "archived");
}

TEST_F(ArchiveReaderTest, LooseFileTimesAreUtc) {
  // TZ is set away from UTC for the tests: 02:30:10 UTC on 16 June 2021 is still the 15th there.
  const uint32_t date = (41u << 9) | (6u << 5) | 16u;
  const uint32_t time = (2u << 11) | (30u << 5) | 5u;
  WriteFile(Path("dated.txt"), std::string("x"));
  platform::FileHandle file = platform::OpenForAppending(Path("dated.txt").c_str(), false);
  ASSERT_NE(file, platform::kNoFile);
  ASSERT_NE(platform::SetFileDosDateTime(file, date, time), 0);
  platform::CloseFile(file);
  MemberStream* stream = OpenMember(Path("dated.txt").c_str());
  ASSERT_NE(stream, nullptr);
  EXPECT_EQ(stream->dos_date, date);
  EXPECT_EQ(stream->dos_time, time);
  CloseMember(stream);
}

// ---- Member streams
// -------------------------------------------------------------------------------

TEST_F(ArchiveReaderTest, ReadsStopAtTheEndOfTheMember) {
  BuildInstaller(installer_, image_,
                 {Member("ten.bin", Text("0123456789")), Member("next.bin", Text("NEXT"))});
  SelectArchiveSource(installer_.c_str());
  MemberStream* stream = OpenMember(Path("ten.bin").c_str());
  ASSERT_NE(stream, nullptr);
  char buffer[64] = {};
  EXPECT_EQ(ReadMember(stream, buffer, 4), 4);
  EXPECT_EQ(ReadMember(stream, buffer, -1), -1);
  EXPECT_EQ(ReadMember(stream, buffer, 64), 6);
  EXPECT_EQ(std::string(buffer, 6), "456789");
  EXPECT_EQ(ReadMember(stream, buffer, 64), 0);
  EXPECT_EQ(ReadMember(stream, buffer, 1), 0);
  CloseMember(stream);

  stream = OpenMember(Path("next.bin").c_str());
  ASSERT_NE(stream, nullptr);
  EXPECT_EQ(ReadRest(stream, 2), Text("NEXT"));
  CloseMember(stream);
}

TEST_F(ArchiveReaderTest, EmptyMemberReadsNothing) {
  BuildInstaller(installer_, image_, {Member("empty.txt", {}), Member("after.txt", Text("x"))});
  SelectArchiveSource(installer_.c_str());
  MemberStream* stream = OpenMember(Path("empty.txt").c_str());
  ASSERT_NE(stream, nullptr);
  EXPECT_EQ(stream->size, 0);
  char byte = 0;
  EXPECT_EQ(ReadMember(stream, &byte, 1), 0);
  CloseMember(stream);
}

TEST_F(ArchiveReaderTest, StreamsReadInTurnEachDeliverTheirOwnBytes) {
  const Bytes a = RandomBytes(10000, 11);
  const Bytes b = RandomBytes(7000, 12);
  BuildInstaller(installer_, image_, {Member("a.bin", a), Member("b.bin", b)});
  SelectArchiveSource(installer_.c_str());
  MemberStream* first = OpenMember(Path("a.bin").c_str());
  MemberStream* second = OpenMember(Path("b.bin").c_str());
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  Bytes got_a;
  Bytes got_b;
  uint8_t buffer[999];
  for (bool more = true; more;) {
    int32_t n = ReadMember(first, buffer, sizeof buffer);
    int32_t m = ReadMember(second, buffer + 0, 0);  // a zero count changes nothing
    EXPECT_EQ(m, 0);
    if (n > 0) got_a.insert(got_a.end(), buffer, buffer + n);
    // A lookup in between moves the shared file too.
    CloseMember(OpenMember(Path("zzz.none").c_str()));
    int32_t k = ReadMember(second, buffer, sizeof buffer);
    if (k > 0) got_b.insert(got_b.end(), buffer, buffer + k);
    // So does the install-script scan, between two reads of the same stream.
    EXPECT_EQ(HasInstallScriptMember(), 0);
    k = ReadMember(second, buffer, sizeof buffer);
    if (k > 0) got_b.insert(got_b.end(), buffer, buffer + k);
    more = n > 0 || k > 0;
  }
  EXPECT_EQ(got_a, a);
  EXPECT_EQ(got_b, b);
  CloseMember(first);
  CloseMember(second);
  CloseMember(nullptr);
}

TEST_F(ArchiveReaderTest, ArchiveStreamsFailOnceTheArchiveIsGone) {
  BuildInstaller(installer_, image_, {Member("a.bin", Text("archived"))});
  WriteFile(Path("loose.bin"), std::string("loose"));
  char buffer[16];
  for (int close_by_select = 0; close_by_select <= 1; ++close_by_select) {
    SelectArchiveSource(installer_.c_str());
    MemberStream* member = OpenMember(Path("a.bin").c_str());
    MemberStream* loose = OpenMember(Path("loose.bin").c_str());
    ASSERT_NE(member, nullptr);
    ASSERT_NE(loose, nullptr);
    EXPECT_EQ(ReadMember(member, buffer, 2), 2);
    if (close_by_select) {
      SelectArchiveSource(installer_.c_str());
    } else {
      CloseArchive();
    }
    EXPECT_EQ(ReadMember(member, buffer, 2), -1);
    EXPECT_EQ(ReadMember(loose, buffer, sizeof buffer), 5) << "loose files have their own handle";
    CloseMember(member);
    CloseMember(loose);
  }
}

// ---- Install-script scan
// -------------------------------------------------------------------------

TEST_F(ArchiveReaderTest, InstallScriptMemberByNameAnywhereInTheChain) {
  const std::vector<std::pair<std::vector<std::string>, int>> cases = {
      {{"setup.aic"}, 1},
      {{"a.txt", "SETUP.AIC"}, 1},
      {{"a.txt", "b.txt", "x.Aic.old"}, 1},
      {{"a.txt", "aic.txt", "x.ai"}, 0},
  };
  for (const auto& c : cases) {
    std::vector<archive::NewMember> members;
    for (const std::string& name : c.first)
      members.push_back(Member(name, Text(name)));
    BuildInstaller(installer_, image_, members);
    SelectArchiveSource(installer_.c_str());
    EXPECT_EQ(HasInstallScriptMember(), c.second) << c.first.back();
  }
  // A loose script beside an installer does not count.
  WriteFile(Path("setup.aic"), std::string("script"));
  EXPECT_EQ(HasInstallScriptMember(), 0);
}

TEST_F(ArchiveReaderTest, SignedInstallersAreReadUpToTheirCertificateTable) {
  // A member whose header claims more than the archive holds would read into the table.
  BuildInstaller(installer_, testing_support::MinimalPeImage(),
                 {Member("a.txt", Text("archived")), Member("b.bin", RandomBytes(3000, 9))});
  Bytes file = ReadFile(installer_);
  const size_t b_header = 1024 + archive::kEntryHeaderSize + 8;  // behind the image and a.txt
  ASSERT_EQ(std::string(reinterpret_cast<char*>(&file[b_header + archive::kHeaderNameAt])),
            "b.bin");
  for (int padding : {0, 7}) {
    SCOPED_TRACE(padding);
    Bytes signed_file = file;
    signed_file.insert(signed_file.end(), static_cast<size_t>(padding), 0);
    const uint32_t table = static_cast<uint32_t>(signed_file.size());
    const Bytes certificate = RandomBytes(900, 4);
    signed_file.insert(signed_file.end(), certificate.begin(), certificate.end());
    testing_support::SetPeDirectory(&signed_file, pe::kCertificateDirectory, table, 900);
    WriteFile(installer_, signed_file);
    SelectArchiveSource(installer_.c_str());
    EXPECT_EQ(Lookup(Path("a.txt")), "archived");
    EXPECT_EQ(CurrentArchiveState().archive_end, table - static_cast<uint32_t>(padding));
    // b.bin now claims everything up to the file's end; it reads only up to the archive's.
    endian::StoreLittleEndian32(
        &signed_file[b_header + archive::kHeaderSizeAt],
        static_cast<uint32_t>(signed_file.size() - b_header - archive::kEntryHeaderSize));
    WriteFile(installer_, signed_file);
    SelectArchiveSource(installer_.c_str());
    Bytes read;
    ASSERT_TRUE(ReadWhole(Path("b.bin"), &read));
    EXPECT_EQ(read.size(), table - static_cast<uint32_t>(padding) - (b_header + 276));
    std::vector<uint8_t> buffer(kCopyBlockSize);
    EXPECT_EQ(CopyMemberToFile(installer_.c_str(), Path("b.bin").c_str(), Path("b.out").c_str(),
                               buffer.data()),
              0);
  }
}

// ---- Member checksums -----------------------------------------------------------------------

// An installer of three members whose second has one byte flipped after the build; hurt breaks
// its checksum record on top (or leaves it alone).
Bytes DamagedInstaller(void (*hurt)(Bytes* file, size_t record_tail)) {
  testing_support::TempDir dir;
  const std::string path = dir.Join("setup.exe");
  BuildInstaller(path, RandomBytes(kImageSize, 7),
                 {Member("a.bin", RandomBytes(100, 1)), Member("b.bin", RandomBytes(40000, 2)),
                  Member("c.bin", RandomBytes(70000, 3))});
  Bytes file = ReadFile(path);
  file[kImageSize + 2 * archive::kEntryHeaderSize + 100 + 39999] ^= 0x80;
  size_t directory = file.size() - archive::kTrailerSize - archive::kDirectoryTailSize;
  directory -= endian::LoadLittleEndian32(&file[directory + archive::kTailRecordAreaLengthAt]);
  hurt(&file, directory - archive::kChecksumTailSize);
  return file;
}

TEST_F(ArchiveReaderTest, MembersAreCheckedAsTheyAreCopied) {
  WriteFile(installer_, DamagedInstaller([](Bytes*, size_t) {}));
  std::vector<uint8_t> buffer(kCopyBlockSize);
  const struct Case {
    const char* name;
    int outcome;
  } cases[] = {{"a.bin", COPY_DONE}, {"b.bin", COPY_DAMAGED}, {"c.bin", COPY_DONE}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string target = Path(std::string("out-") + c.name);
    EXPECT_EQ(
        CopyMemberToFile(installer_.c_str(), Path(c.name).c_str(), target.c_str(), buffer.data()),
        c.outcome);
    EXPECT_EQ(FileExists(target), c.outcome == COPY_DONE) << "a damaged copy is no copy";
  }
  // Read as a stream, the damaged member gives its bytes, then fails at its end.
  MemberStream* stream = OpenMember(Path("b.bin").c_str());
  ASSERT_NE(stream, nullptr);
  EXPECT_TRUE(stream->checked);
  buffer.resize(40000);
  EXPECT_EQ(ReadMember(stream, buffer.data(), 39999), 39999);
  EXPECT_EQ(ReadMember(stream, buffer.data(), 10), -1);
  EXPECT_TRUE(stream->damaged);
  CloseMember(stream);
}

TEST_F(ArchiveReaderTest, AChecksumRecordThatDoesNotAddUpChecksNothing) {
  const struct Case {
    const char* what;
    void (*hurt)(Bytes* file, size_t record_tail);
  } cases[] = {
      {"no record", [](Bytes* f, size_t t) { (*f)[t] = 'x'; }},
      {"another version", [](Bytes* f, size_t t) { (*f)[t + archive::kChecksumVersionAt] = 2; }},
      {"more checksums than room",
       [](Bytes* f, size_t t) {
         endian::StoreLittleEndian32(&(*f)[t + archive::kChecksumCountAt], 0x40000000);
       }},
      {"a directory longer than the archive",
       [](Bytes* f, size_t) {
         endian::StoreLittleEndian32(
             &(*f)[f->size() - archive::kTrailerSize - archive::kDirectoryTailSize +
                   archive::kTailRecordAreaLengthAt],
             0xFFFFFF00u);
       }},
  };
  std::vector<uint8_t> buffer(kCopyBlockSize);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WriteFile(installer_, DamagedInstaller(c.hurt));
    EXPECT_EQ(CopyMemberToFile(installer_.c_str(), Path("b.bin").c_str(), Path("b.out").c_str(),
                               buffer.data()),
              COPY_DONE);
    EXPECT_EQ(CurrentArchiveState().checksums.offset, 0u);
  }
}

// ---- Member copy
// ----------------------------------------------------------------------------------

TEST_F(ArchiveReaderTest, CopiesMembersWhole) {
  const std::vector<size_t> sizes = {0, 1, 32767, 32768, 65536, 100003};
  std::vector<archive::NewMember> members;
  for (size_t size : sizes) {
    members.push_back(Member("m" + std::to_string(size) + ".bin", RandomBytes(size, 100 + size)));
  }
  BuildInstaller(installer_, image_, members);
  std::vector<uint8_t> buffer(kCopyBlockSize);
  for (size_t size : sizes) {
    std::string name = "m" + std::to_string(size) + ".bin";
    std::string target = Path("out-" + name);
    ASSERT_EQ(
        CopyMemberToFile(installer_.c_str(), Path(name).c_str(), target.c_str(), buffer.data()), 1)
        << name;
    EXPECT_EQ(ReadFile(target), RandomBytes(size, 100 + size)) << name;
  }
  // The copy leaves the source selected and open.
  EXPECT_STREQ(CurrentArchiveState().source_path, installer_.c_str());
  EXPECT_EQ(Lookup(Path("m1.bin")), std::string(1, static_cast<char>(RandomBytes(1, 101)[0])));
}

TEST_F(ArchiveReaderTest, CopiesLooseFilesWhenThereIsNoArchive) {
  const Bytes bytes = RandomBytes(40000, 5);
  WriteFile(Path("loose.bin"), bytes);
  std::vector<uint8_t> buffer(kCopyBlockSize);
  ASSERT_EQ(
      CopyMemberToFile("", Path("loose.bin").c_str(), Path("copy.bin").c_str(), buffer.data()), 1);
  EXPECT_EQ(ReadFile(Path("copy.bin")), bytes);
}

TEST_F(ArchiveReaderTest, MissingMemberLeavesTheTargetAlone) {
  BuildInstaller(installer_, image_, {Member("a.txt", Text("a"))});
  WriteFile(Path("target.txt"), std::string("keep"));
  std::vector<uint8_t> buffer(kCopyBlockSize);
  EXPECT_EQ(CopyMemberToFile(installer_.c_str(), Path("b.txt").c_str(), Path("target.txt").c_str(),
                             buffer.data()),
            0);
  EXPECT_EQ(testing_support::ReadFileText(Path("target.txt")), "keep");
}

TEST_F(ArchiveReaderTest, UncreatableTargetGivesZeroAndReleasesTheStream) {
  WriteFile(Path("loose.bin"), std::string("loose"));
  BuildInstaller(installer_, image_, {Member("a.bin", Text("archived"))});
  std::vector<uint8_t> buffer(kCopyBlockSize);
  std::string target = dir_.Join("no-such-folder") + testing_support::Separator() + "x.bin";
  EXPECT_EQ(
      CopyMemberToFile(installer_.c_str(), Path("a.bin").c_str(), target.c_str(), buffer.data()),
      0);
  EXPECT_EQ(CopyMemberToFile(installer_.c_str(), Path("loose.bin").c_str(), target.c_str(),
                             buffer.data()),
            0);
  EXPECT_FALSE(FileExists(target));
  // Windows refuses to delete a file that is still open: the loose stream was closed. (On the
  // host, LeakSanitizer reports a stream record that was not released.)
  EXPECT_NE(platform::RemoveFile(Path("loose.bin").c_str()), 0);
}

TEST_F(ArchiveReaderTest, MemberCutShortByTheFileEndIsNoCopy) {
  // The header promises 50000 bytes, the file ends after 40000 of them.
  Bytes file = image_;
  Append(&file, HeaderBytes(0, 50000, NameField("cut.bin")));
  Append(&file, RandomBytes(40000 - archive::kTrailerSize, 4));
  Append(&file, TrailerBytes(kImageSize));
  WriteFile(installer_, file);
  std::vector<uint8_t> buffer(kCopyBlockSize);
  std::string target = Path("cut-copy.bin");
  EXPECT_EQ(
      CopyMemberToFile(installer_.c_str(), Path("cut.bin").c_str(), target.c_str(), buffer.data()),
      0);
  EXPECT_FALSE(FileExists(target)) << "a partial copy must not be left behind";
}

#ifndef _WIN32
TEST_F(ArchiveReaderTest, FailedWriteIsNoCopy) {
  BuildInstaller(installer_, image_, {Member("big.bin", RandomBytes(100000, 8))});
  // A file size limit makes the target's writes come up short, as a full disk would.
  struct rlimit saved;
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  struct rlimit limited = saved;
  limited.rlim_cur = 50000;
  void (*previous)(int) = signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
  std::vector<uint8_t> buffer(kCopyBlockSize);
  std::string target = Path("full.bin");
  int copied =
      CopyMemberToFile(installer_.c_str(), Path("big.bin").c_str(), target.c_str(), buffer.data());
  EXPECT_EQ(setrlimit(RLIMIT_FSIZE, &saved), 0);
  signal(SIGXFSZ, previous);
  EXPECT_EQ(copied, 0);
  EXPECT_FALSE(FileExists(target));
}
#endif

}  // namespace
