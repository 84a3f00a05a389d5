// The built tovalin tool, run as a user runs it: on installers it builds itself and on installers
// broken by hand. Host only: each test starts the real binary through the shell.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "archive/archive_format.h"
#include "implode/implode_encoder.h"
#include "package/package_format.h"
#include "package/package_writer.h"
#include "tests/support/test_files.h"

namespace {

namespace fs = std::filesystem;
using testing_support::Bytes;
using testing_support::ReadFile;
using testing_support::ReadFileText;
using testing_support::TempDir;
using testing_support::WriteFile;

// ---- Running the tool -----------------------------------------------------------------------

struct ToolRun {
  int status;
  std::string out;
  std::string err;
};

std::string ShellQuote(const std::string& word) {
  std::string quoted = "'";
  for (char c : word)
    quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

// ---- Installers by hand ---------------------------------------------------------------------

struct RawMember {
  Bytes name_field;  // up to 256 bytes; zero-filled behind
  Bytes data;
  uint32_t dos_date = 0x2A43;  // 2001-02-03
  uint32_t dos_time = 0x20A3;  // 04:05:06
  // When set, the header claims this size instead of the data's.
  int64_t claimed_size = -1;
};

Bytes NameField(const std::string& name) {
  return Bytes(name.begin(), name.end());
}

RawMember Member(const std::string& name, const Bytes& data) {
  RawMember member;
  member.name_field = NameField(name);
  member.data = data;
  return member;
}

// The image, then the members back to back and chained, then the trailer; no directory.
Bytes RawInstaller(const Bytes& image, const std::vector<RawMember>& members) {
  Bytes file = image;
  uint32_t first = members.empty() ? 0 : static_cast<uint32_t>(file.size());
  uint32_t last = 0;
  for (size_t i = 0; i < members.size(); ++i) {
    const RawMember& member = members[i];
    archive::EntryHeader header = {};
    uint32_t offset = static_cast<uint32_t>(file.size());
    last = offset;
    header.next_entry_offset =
        i + 1 < members.size()
            ? offset + archive::kEntryHeaderSize + static_cast<uint32_t>(member.data.size())
            : 0;
    header.attributes = 0x20;
    header.dos_date = member.dos_date;
    header.dos_time = member.dos_time;
    header.size = member.claimed_size >= 0 ? static_cast<uint32_t>(member.claimed_size)
                                           : static_cast<uint32_t>(member.data.size());
    std::copy(member.name_field.begin(), member.name_field.end(), header.name);
    uint8_t bytes[archive::kEntryHeaderSize];
    archive::EncodeEntryHeader(header, bytes);
    file.insert(file.end(), bytes, bytes + sizeof bytes);
    file.insert(file.end(), member.data.begin(), member.data.end());
  }
  uint8_t trailer[archive::kTrailerSize];
  archive::EncodeTrailer({first, last}, trailer);
  file.insert(file.end(), trailer, trailer + sizeof trailer);
  return file;
}

// A package of (name, bytes) files, dated 2002-03-04 05:06:08.
Bytes Package(const std::vector<std::pair<std::string, Bytes>>& files) {
  std::vector<package::PackageEntry> entries;
  for (const auto& file : files) {
    package::PackageEntry entry;
    entry.name = file.first;
    entry.data = file.second;
    entry.dos_date = (22u << 9) | (3u << 5) | 4u;
    entry.dos_time = (5u << 11) | (6u << 5) | 4u;
    entries.push_back(entry);
  }
  Bytes bytes;
  std::string error;
  EXPECT_TRUE(package::BuildPackage(entries, package::PackOptions(), &bytes, &error)) << error;
  return bytes;
}

// Where the first file's stream starts in a package.
constexpr size_t kFirstStreamAt = package::kHeaderSize + package::kRecordSize;

Bytes Text(const std::string& text) {
  return Bytes(text.begin(), text.end());
}

// ---- The fixture ----------------------------------------------------------------------------

class TovalinEndToEnd : public ::testing::Test {
 protected:
  std::string Path(const std::string& name) const { return dir_.Join(name); }

  ToolRun Tovalin(const std::vector<std::string>& args) {
    std::string command = "cd " + ShellQuote(dir_.path()) + " && " + ShellQuote(TOVALIN_TOOL);
    for (const std::string& arg : args)
      command += " " + ShellQuote(arg);
    command += " >" + ShellQuote(streams_.Join("out")) + " 2>" + ShellQuote(streams_.Join("err"));
    int raw = std::system(command.c_str());
    ToolRun run;
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    run.out = ReadFileText(streams_.Join("out"));
    run.err = ReadFileText(streams_.Join("err"));
    return run;
  }

  void Write(const std::string& name, const Bytes& bytes, time_t mtime = 981173106) {
    WriteFile(Path(name), bytes);
    SetTime(name, mtime);
  }

  void SetTime(const std::string& name, time_t mtime) {
    struct timeval times[2] = {{mtime, 0}, {mtime, 0}};
    ASSERT_EQ(utimes(Path(name).c_str(), times), 0) << name;
  }

  time_t ModificationTime(const std::string& name) const {
    struct stat st = {};
    EXPECT_EQ(stat(Path(name).c_str(), &st), 0) << name;
    return st.st_mtime;
  }

  // Every file under the test folder, as paths relative to it, sorted.
  std::vector<std::string> AllFiles() const {
    std::vector<std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(dir_.path())) {
      if (!entry.is_directory()) files.push_back(fs::relative(entry.path(), dir_.path()).string());
    }
    std::sort(files.begin(), files.end());
    return files;
  }

  TempDir dir_;
  TempDir streams_;
  const Bytes stub_ = testing_support::RandomBytes(3000, 7);
};

// 2001-02-03 04:05:06 UTC and 1999-12-31 23:59:58 UTC: even seconds, as DOS times hold them.
constexpr time_t kFirstTime = 981173106;
constexpr time_t kSecondTime = 946684798;

TEST_F(TovalinEndToEnd, BuildListExtractGivesBackTheSameBytesAndTimes) {
  Write("launcher.exe", stub_);
  Write("init.ini", Text("[Setup]\r\nTitle=Demo\r\n"), kFirstTime);
  Write("engine.exe", testing_support::RandomBytes(70000, 1), kSecondTime);
  Write("readme.txt", Text(std::string(50000, 'x') + "tail"), kFirstTime);
  Write("empty.dat", Bytes(), kSecondTime);
  ASSERT_EQ(Tovalin({"pack", "-o", "temp.shr", "engine.exe", "~0000.txt=readme.txt"}).status, 0);
  SetTime("temp.shr", kFirstTime);
  Write("lang.bin", testing_support::RandomBytes(300000, 2), kSecondTime);

  ToolRun build = Tovalin({"build", "-o", "setup.exe", "--stub", "launcher.exe", "init.ini",
                           "temp.shr", "InstallEnu.dll=lang.bin", "empty.dat"});
  ASSERT_EQ(build.status, 0) << build.err;
  EXPECT_NE(build.out.find("setup.exe: 4 members"), std::string::npos) << build.out;

  ToolRun list = Tovalin({"list", "setup.exe"});
  ASSERT_EQ(list.status, 0) << list.err;
  EXPECT_NE(list.out.find("2001-02-03  04:05:06  ----A  init.ini"), std::string::npos) << list.out;
  EXPECT_NE(list.out.find("300000  1999-12-31  23:59:58  ----A  InstallEnu.dll"), std::string::npos)
      << list.out;
  EXPECT_LT(list.out.find("init.ini"), list.out.find("temp.shr"));  // chain order
  EXPECT_NE(list.out.find("4 members"), std::string::npos);

  ToolRun packages = Tovalin({"list", "--packages", "setup.exe"});
  ASSERT_EQ(packages.status, 0) << packages.err;
  EXPECT_NE(packages.out.find("70000  1999-12-31  23:59:58  ----A    engine.exe"),
            std::string::npos)
      << packages.out;
  EXPECT_NE(packages.out.find("50004  2001-02-03  04:05:06  ----A    ~0000.txt"), std::string::npos)
      << packages.out;

  ToolRun extract = Tovalin({"extract", "-d", "out", "setup.exe"});
  ASSERT_EQ(extract.status, 0) << extract.err;
  const std::pair<const char*, const char*> members[] = {{"init.ini", "init.ini"},
                                                         {"temp.shr", "temp.shr"},
                                                         {"InstallEnu.dll", "lang.bin"},
                                                         {"empty.dat", "empty.dat"}};
  for (const auto& member : members) {
    std::string extracted = "out/" + std::string(member.first);
    EXPECT_EQ(ReadFile(Path(extracted)), ReadFile(Path(member.second))) << member.first;
    EXPECT_EQ(ModificationTime(extracted), ModificationTime(member.second)) << member.first;
  }

  ToolRun unpack = Tovalin({"extract", "--unpack", "-d", "unpacked", "setup.exe"});
  ASSERT_EQ(unpack.status, 0) << unpack.err;
  EXPECT_EQ(ReadFile(Path("unpacked/temp.shr/engine.exe")), ReadFile(Path("engine.exe")));
  EXPECT_EQ(ReadFile(Path("unpacked/temp.shr/~0000.txt")), ReadFile(Path("readme.txt")));
  EXPECT_EQ(ModificationTime("unpacked/temp.shr/engine.exe"), kSecondTime);
  EXPECT_EQ(ModificationTime("unpacked/temp.shr/~0000.txt"), kFirstTime);
  EXPECT_EQ(ModificationTime("unpacked/init.ini"), kFirstTime);
  EXPECT_FALSE(fs::is_regular_file(Path("unpacked/temp.shr")));

  ToolRun test = Tovalin({"test", "setup.exe"});
  EXPECT_EQ(test.status, 0) << test.out;
  EXPECT_NE(test.out.find("4 members, 1 package, 2 packed files: all whole"), std::string::npos)
      << test.out;
  EXPECT_EQ(test.err, "");  // no progress bar when standard error is not a terminal
}

TEST_F(TovalinEndToEnd, PackHonoursAsciiDictionarySizeAndLevel) {
  std::string text;
  for (int i = 0; i < 3000; ++i)
    text += "line " + std::to_string(i % 97) + " of the text\r\n";
  Write("text.txt", Text(text));
  Write("launcher.exe", stub_);
  for (const char* size : {"1024", "2048", "4096"}) {
    std::string package = std::string("t") + size + ".shr";
    ASSERT_EQ(Tovalin({"pack", "--ascii", "--dictionary", size, "-o", package, "text.txt"}).status,
              0);
    Bytes bytes = ReadFile(Path(package));
    ASSERT_GT(bytes.size(), kFirstStreamAt + 2);
    EXPECT_EQ(bytes[kFirstStreamAt], 1) << size;  // ASCII
    EXPECT_EQ(bytes[kFirstStreamAt + 1], std::string(size) == "1024"   ? 4
                                         : std::string(size) == "2048" ? 5
                                                                       : 6);
    std::string setup = std::string("s") + size + ".exe";
    ASSERT_EQ(Tovalin({"build", "-o", setup, "--stub", "launcher.exe", package}).status, 0);
    std::string out = std::string("o") + size;
    ASSERT_EQ(Tovalin({"extract", "-u", "-d", out, setup}).status, 0);
    EXPECT_EQ(ReadFileText(Path(out + "/" + package + "/text.txt")), text);
  }
  // --best: the encoder's best level, whose stream is the one it always made.
  ASSERT_EQ(Tovalin({"pack", "--best", "-o", "best.shr", "text.txt"}).status, 0);
  const Bytes best = ReadFile(Path("best.shr"));
  const Bytes expected = ImplodeBytes(reinterpret_cast<const uint8_t*>(text.data()), text.size(),
                                      kImplodeBinary, 6, kImplodeBest);
  ASSERT_EQ(best.size(), kFirstStreamAt + expected.size());
  EXPECT_EQ(Bytes(best.begin() + kFirstStreamAt, best.end()), expected);
}

TEST_F(TovalinEndToEnd, PackWritesTheSameBytesOnAnyNumberOfThreads) {
  std::string text;
  for (int i = 0; i < 20000; ++i)
    text += "entry " + std::to_string(i % 331) + " of the log\n";
  Write("a.txt", Text(text));
  Write("b.bin", testing_support::RandomBytes(150000, 3));
  Write("c.dat", Bytes());
  Write("d.bin", Bytes(65536, 9));
  const std::vector<std::string> files = {"a.txt", "b.bin", "c.dat", "d.bin", "e.txt=a.txt"};
  const std::vector<std::vector<std::string>> thread_options = {{"-j", "1"}, {"-j", "4"}, {}};
  std::vector<Bytes> packages;
  for (size_t i = 0; i < thread_options.size(); ++i) {
    std::vector<std::string> args = {"pack", "-o", "p" + std::to_string(i) + ".shr"};
    args.insert(args.end(), thread_options[i].begin(), thread_options[i].end());
    args.insert(args.end(), files.begin(), files.end());
    ToolRun pack = Tovalin(args);
    ASSERT_EQ(pack.status, 0) << pack.err;
    packages.push_back(ReadFile(Path("p" + std::to_string(i) + ".shr")));
  }
  EXPECT_GT(packages[0].size(), text.size() / 20);
  EXPECT_EQ(packages[1], packages[0]);  // -j 4 as -j 1
  EXPECT_EQ(packages[2], packages[0]);  // one thread per processor
  ToolRun refused = Tovalin({"pack", "-j", "0", "-o", "p.shr", "a.txt"});
  EXPECT_EQ(refused.status, 2);
  EXPECT_NE(refused.err.find("-j takes a number of threads from 1 to 64"), std::string::npos);
}

TEST_F(TovalinEndToEnd, JsonListingIsValidJsonEvenForOddNames) {
  Write("launcher.exe", stub_);
  Write("a.bin", Text("a"));
  Bytes package = Package({{"f\xe9ile.txt", Text("hello")}});
  Write("setup.exe", RawInstaller(stub_, {Member("we\"ird\\\xe4\x01.txt", Text("x")),
                                          Member("p.shr", package)}));
  ToolRun list = Tovalin({"list", "--json", "--packages", "setup.exe"});
  EXPECT_EQ(list.status, 0) << list.err;
  WriteFile(Path("list.json"), list.out);
  ToolRun check;
  int raw = std::system(
      ("python3 -m json.tool " + ShellQuote(Path("list.json")) + " >/dev/null").c_str());
  check.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  EXPECT_EQ(check.status, 0) << list.out;
  EXPECT_NE(list.out.find("\"name\": \"we\\\"ird\\\\\\u00E4\\u0001.txt\""), std::string::npos)
      << list.out;
  EXPECT_NE(list.out.find("\"name\": \"f\\u00E9ile.txt\""), std::string::npos) << list.out;
  EXPECT_NE(list.out.find("\"size\": 5"), std::string::npos) << list.out;
}

// Each damaged installer fails the test with a line that names where the damage is.
TEST_F(TovalinEndToEnd, TestNamesEveryKindOfDamage) {
  Bytes text = Text(std::string(20000, 'a') + "some more text at the end");
  Bytes good_package = Package({{"first.txt", Text("first file")}, {"engine.exe", text}});
  const size_t second_stream =
      kFirstStreamAt +
      (good_package[package::kHeaderSize + package::kRecordCompressedSizeAt] |
       good_package[package::kHeaderSize + package::kRecordCompressedSizeAt + 1] << 8) +
      package::kRecordSize;

  auto damaged_stream = [&](size_t at, uint8_t flip) {
    Bytes bytes = good_package;
    bytes[at] ^= flip;
    return RawInstaller(stub_, {Member("init.ini", Text("x")), Member("temp.shr", bytes)});
  };
  Bytes whole =
      RawInstaller(stub_, {Member("init.ini", Text("x")), Member("temp.shr", good_package)});
  Bytes past_end;
  {
    RawMember big = Member("big.dll", Text("only a few bytes"));
    big.claimed_size = 100000;
    past_end = RawInstaller(stub_, {Member("init.ini", Text("x")), big});
  }
  Bytes looping = RawInstaller(stub_, {Member("a.txt", Text("a")), Member("b.txt", Text("b"))});
  {
    // b.txt's header points back to a.txt's.
    uint32_t first = static_cast<uint32_t>(stub_.size());
    archive::StoreLittleEndian32(&looping[first + archive::kEntryHeaderSize + 1], first);
  }
  Bytes header_past_end = RawInstaller(stub_, {Member("a.txt", Text("a"))});
  archive::StoreLittleEndian32(&header_past_end[stub_.size()], 0x7FFFFF00u);
  Bytes short_package = RawInstaller(stub_, {Member("temp.shr", Bytes(20, 0))});
  Bytes zero_count = good_package;
  zero_count[package::kHeaderFileCountAt] = 0;
  zero_count[package::kHeaderFileCountAt + 1] = 0;
  // 3000 bytes of padding behind the first stream, counted in its compressed size: the decoder
  // stops at the end-of-stream code and never asks for the last of them.
  Bytes padded = good_package;
  {
    size_t size_at = package::kHeaderSize + package::kRecordCompressedSizeAt;
    uint32_t first_size = archive::LoadLittleEndian32(&padded[size_at]);
    archive::StoreLittleEndian32(&padded[size_at], first_size + 3000);
    padded.insert(padded.begin() + static_cast<long>(kFirstStreamAt + first_size), 3000, 0);
  }
  Bytes wrong_size = good_package;
  archive::StoreLittleEndian32(
      &wrong_size[package::kHeaderSize + package::kRecordUncompressedSizeAt], 5);
  Bytes cut_package = good_package;
  cut_package.resize(cut_package.size() - 10);

  const struct {
    const char* what;
    Bytes installer;
    std::string expected;
  } cases[] = {
      {"stream type byte", damaged_stream(kFirstStreamAt, 7),
       "temp.shr: first.txt: bad stream header: compression type 7"},
      {"stream dictionary byte", damaged_stream(kFirstStreamAt + 1, 15),
       "temp.shr: first.txt: bad stream header: dictionary size code 9"},
      {"last byte of a stream", damaged_stream(good_package.size() - 1, 0xFF),
       "temp.shr: engine.exe: "},
      {"byte in the middle of a stream", damaged_stream(second_stream + 6, 0xFF),
       "temp.shr: engine.exe: "},
      {"data past the end", past_end, "big.dll: its 100000 bytes of data"},
      {"looping chain", looping, "the member chain loops back to the entry header at offset 3000"},
      {"header past the end", header_past_end,
       "the entry header at offset 2147483392 lies past the end"},
      {"short package", short_package, "temp.shr: short package: 20 bytes"},
      {"zero file count", RawInstaller(stub_, {Member("temp.shr", zero_count)}),
       "temp.shr: bad package header: file count 0"},
      {"stream shorter than recorded", RawInstaller(stub_, {Member("temp.shr", padded)}),
       "temp.shr: first.txt: its stream ends "},
      {"recorded size wrong", RawInstaller(stub_, {Member("temp.shr", wrong_size)}),
       "temp.shr: first.txt: decodes to 10 bytes, but its record says 5"},
      {"package cut short", RawInstaller(stub_, {Member("temp.shr", cut_package)}),
       "temp.shr: short package: file 2 of 2 needs"},
  };
  Write("whole.exe", whole);
  ToolRun run_whole = Tovalin({"test", "whole.exe"});
  ASSERT_EQ(run_whole.status, 0) << run_whole.out;
  for (const auto& c : cases) {
    Write("damaged.exe", c.installer);
    ToolRun run = Tovalin({"test", "damaged.exe"});
    EXPECT_EQ(run.status, 1) << c.what << "\n" << run.out;
    EXPECT_NE(run.out.find("damaged.exe: " + c.expected), std::string::npos) << c.what << "\n"
                                                                             << run.out;
    EXPECT_EQ(run.out.find("all whole"), std::string::npos) << c.what;
  }
}

TEST_F(TovalinEndToEnd, ListDecodesFilesWhoseRecordLeavesOutTheSize) {
  Bytes package = Package({{"engine.exe", Text(std::string(40000, 'e'))}, {"b.txt", Text("bb")}});
  archive::StoreLittleEndian32(&package[package::kHeaderSize + package::kRecordUncompressedSizeAt],
                               0);
  Write("setup.exe", RawInstaller(stub_, {Member("engine.bin", package)}));
  ToolRun list = Tovalin({"list", "--packages", "setup.exe"});
  EXPECT_EQ(list.status, 0) << list.err;
  // Found as a package by its content, though its name does not end in ".shr".
  EXPECT_NE(list.out.find("      40000  2002-03-04  05:06:08  ----A    engine.exe"),
            std::string::npos)
      << list.out;
  EXPECT_NE(list.out.find("          2  2002-03-04  05:06:08  ----A    b.txt"), std::string::npos)
      << list.out;
  EXPECT_NE(list.out.find("1 package holding 2 files"), std::string::npos) << list.out;
}

TEST_F(TovalinEndToEnd, SomethingThatIsNoInstallerGetsAClearMessage) {
  Write("launcher.exe", stub_);
  Write("init.ini", Text("x"));
  ASSERT_EQ(Tovalin({"build", "-o", "setup.exe", "--stub", "launcher.exe", "init.ini"}).status, 0);
  Bytes truncated = ReadFile(Path("setup.exe"));
  truncated.resize(truncated.size() - 5);
  Write("truncated.exe", truncated);
  Write("tiny.exe", Bytes(10, 0));
  Write("random.exe", testing_support::RandomBytes(5000, 3));

  const struct {
    const char* file;
    std::string message;
  } cases[] = {
      {"truncated.exe", "truncated.exe: no payload archive"},
      {"random.exe", "random.exe: no payload archive"},
      {"tiny.exe", "tiny.exe: not an installer: 10 bytes"},
      {"missing.exe", "missing.exe: cannot open"},
  };
  for (const auto& c : cases) {
    for (const char* command : {"list", "test", "extract"}) {
      ToolRun run = Tovalin({command, c.file});
      EXPECT_EQ(run.status, 1) << command << " " << c.file;
      EXPECT_NE(run.err.find("tovalin: " + c.message), std::string::npos)
          << command << " " << c.file << "\n"
          << run.err;
    }
  }
  Write("empty.exe", RawInstaller(stub_, {}));
  ToolRun empty = Tovalin({"list", "empty.exe"});
  EXPECT_EQ(empty.status, 0) << empty.err;
  EXPECT_NE(empty.out.find("0 members"), std::string::npos);
}

TEST_F(TovalinEndToEnd, ExtractRefusesNamesThatLeaveTheFolderAndWritesNothingOutside) {
  Bytes package = Package({{"ok.txt", Text("ok")},
                           {"AAevil5.txt", Text("5")},
                           {"AAevil6.txt", Text("6")},
                           {"AAevil7.txt", Text("7")}});
  // Give three packed files names the writer would never store.
  const char* bad_names[] = {"../evil5.txt", "x\\evil6.txt", "D:evil7.txt"};
  size_t record = package::kHeaderSize;
  for (int i = 0; i < 4; ++i) {
    if (i > 0) {
      std::string name = bad_names[i - 1];
      std::fill(package.begin() + static_cast<long>(record),
                package.begin() + static_cast<long>(record + package::kNameFieldSize), 0);
      std::copy(name.begin(), name.end(), package.begin() + static_cast<long>(record));
    }
    uint32_t compressed = archive::LoadLittleEndian32(&package[record + 136]);
    record += package::kRecordSize + compressed;
  }
  RawMember unterminated = Member("", Text("no NUL"));
  unterminated.name_field = Bytes(archive::kNameFieldSize, 'n');
  Write("setup.exe",
        RawInstaller(stub_, {Member("good.txt", Text("good")), Member("../evil1.txt", Text("1")),
                             Member("..\\evil2.txt", Text("2")), Member("C:evil3.txt", Text("3")),
                             Member("sub/evil4.txt", Text("4")), Member("", Text("empty name")),
                             unterminated, Member("pkg.shr", package)}));
  fs::create_directories(Path("root/out"));

  ToolRun run = Tovalin({"extract", "--unpack", "-d", "root/out", "setup.exe"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(AllFiles(),
            (std::vector<std::string>{"root/out/good.txt", "root/out/pkg.shr/ok.txt", "setup.exe"}))
      << run.err;
  for (const char* refused :
       {"\"../evil1.txt\" refused", "\"..\\evil2.txt\" refused", "\"C:evil3.txt\" refused",
        "\"sub/evil4.txt\" refused", "\"\" refused: its name is empty", "no terminating NUL",
        "\"../evil5.txt\" refused", "\"x\\evil6.txt\" refused", "\"D:evil7.txt\" refused"}) {
    EXPECT_NE(run.err.find(refused), std::string::npos) << refused << "\n" << run.err;
  }

  fs::remove_all(Path("root"));
  ToolRun raw = Tovalin({"extract", "-d", "root/raw", "setup.exe"});
  EXPECT_EQ(raw.status, 1);
  EXPECT_EQ(AllFiles(),
            (std::vector<std::string>{"root/raw/good.txt", "root/raw/pkg.shr", "setup.exe"}));
}

TEST_F(TovalinEndToEnd, ExtractLeavesExistingFilesAloneUnlessForced) {
  Write("setup.exe",
        RawInstaller(stub_, {Member("init.ini", Text("new")), Member("other.txt", Text("other"))}));
  fs::create_directories(Path("out"));
  WriteFile(Path("out/init.ini"), Text("old"));
  fs::create_symlink(Path("elsewhere.txt"), Path("out/other.txt"));

  ToolRun kept = Tovalin({"extract", "-d", "out", "setup.exe"});
  EXPECT_EQ(kept.status, 1);
  EXPECT_NE(kept.err.find("init.ini: exists; use --force"), std::string::npos) << kept.err;
  EXPECT_EQ(ReadFileText(Path("out/init.ini")), "old");
  EXPECT_FALSE(fs::exists(Path("elsewhere.txt")));

  ToolRun forced = Tovalin({"extract", "--force", "-d", "out", "setup.exe"});
  EXPECT_EQ(forced.status, 0) << forced.err;
  EXPECT_EQ(ReadFileText(Path("out/init.ini")), "new");
  // The link was replaced, not written through.
  EXPECT_FALSE(fs::exists(Path("elsewhere.txt")));
  EXPECT_FALSE(fs::is_symlink(Path("out/other.txt")));
  EXPECT_EQ(ReadFileText(Path("out/other.txt")), "other");
}

TEST_F(TovalinEndToEnd, ExtractPicksNamedMembersWithoutRegardToCase) {
  Write("setup.exe",
        RawInstaller(stub_, {Member("init.ini", Text("first")), Member("Setup.AIC", Text("script")),
                             Member("INIT.INI", Text("shadowed"))}));
  ToolRun run = Tovalin({"extract", "-d", "out", "setup.exe", "INIT.ini", "setup.aic"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(testing_support::ListFolder(Path("out")),
            (std::vector<std::string>{"Setup.AIC", "init.ini"}));
  EXPECT_EQ(ReadFileText(Path("out/init.ini")), "first");  // the one the launcher reads
  EXPECT_NE(run.err.find("INIT.INI: skipped"), std::string::npos) << run.err;

  ToolRun missing = Tovalin({"extract", "-d", "out2", "setup.exe", "nosuch.txt"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("no member named \"nosuch.txt\""), std::string::npos);
}

TEST_F(TovalinEndToEnd, ExitStatusTellsSuccessFailureAndWrongCommandLines) {
  Write("launcher.exe", stub_);
  Write("a.txt", Text("a"));
  Write("setup.exe", RawInstaller(stub_, {Member("a.txt", Text("a"))}));
  const struct {
    std::vector<std::string> args;
    int status;
    std::string err;
  } cases[] = {
      {{}, 2, "Usage: tovalin COMMAND"},
      {{"frobnicate"}, 2, "unknown command 'frobnicate'"},
      {{"list"}, 2, "list: give exactly one INSTALLER"},
      {{"list", "setup.exe", "more.exe"}, 2, "give exactly one INSTALLER"},
      {{"list", "--bogus", "setup.exe"}, 2, "unknown option '--bogus'"},
      {{"test", "-d", "x", "setup.exe"}, 2, "unknown option '-d'"},
      {{"extract"}, 2, "give the INSTALLER"},
      {{"extract", "-d"}, 2, "option '-d' needs a value"},
      {{"pack", "-o", "p.shr", "--dictionary", "999", "a.txt"}, 2, "1024, 2048 or 4096"},
      {{"pack", "a.txt"}, 2, "-o PACKAGE"},
      {{"pack", "-o", "p.shr", "../x=a.txt"}, 2, "cannot be a packed file's name"},
      {{"build", "--stub", "launcher.exe", "a.txt"}, 2, "-o SETUP"},
      {{"build", "-o", "s.exe", "a.txt"}, 2, "--stub LAUNCHER"},
      {{"build", "-o", "s.exe", "--stub", "launcher.exe"}, 2, "at least one file"},
      {{"build", "-o", "s.exe", "--stub", "launcher.exe", "a.txt", "A.TXT=a.txt"},
       2,
       "given twice"},
      {{"build", "-o", "s.exe", "--stub", "launcher.exe", "c:x=a.txt"},
       2,
       "cannot be a member name"},
      {{"build", "-o", "a.txt", "--stub", "launcher.exe", "a.txt"}, 2, "is also an input"},
      {{"build", "-o", "s.exe", "--stub", "setup.exe", "a.txt"}, 1, "already carries"},
      {{"build", "-o", "setup.exe", "--stub", "launcher.exe", "a.txt"}, 1, "exists"},
      {{"build", "-o", "s.exe", "--stub", "launcher.exe", "missing.txt"}, 1, "missing.txt"},
      {{"list", "missing.exe"}, 1, "missing.exe: cannot open"},
      {{"list", "setup.exe"}, 0, ""},
      {{"--version"}, 0, ""},
  };
  for (const auto& c : cases) {
    ToolRun run = Tovalin(c.args);
    std::string shown = c.args.empty() ? "(none)" : c.args[0];
    EXPECT_EQ(run.status, c.status) << shown << " " << c.err << "\n" << run.err;
    EXPECT_NE(run.err.find(c.err), std::string::npos) << shown << "\n" << run.err;
  }
  EXPECT_FALSE(fs::exists(Path("s.exe")));
}

TEST_F(TovalinEndToEnd, EveryCommandAnswersHelpOnStandardOutput) {
  for (const char* command : {"list", "test", "extract", "pack", "build"}) {
    for (const char* flag : {"--help", "-h"}) {
      // Help comes first, even on a command line that would not parse.
      ToolRun run = Tovalin({command, "--no-such-option", flag});
      EXPECT_EQ(run.status, 0) << command;
      EXPECT_EQ(run.out.rfind(std::string("Usage: tovalin ") + command, 0), 0u) << run.out;
      EXPECT_EQ(run.err, "");
    }
  }
  ToolRun overview = Tovalin({"--help"});
  EXPECT_EQ(overview.status, 0);
  for (const char* command : {"list", "test", "extract", "pack", "build"}) {
    EXPECT_NE(overview.out.find(std::string("\n  ") + command + " "), std::string::npos);
  }
}

}  // namespace
