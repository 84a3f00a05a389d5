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
#include "archive/archive_writer.h"
#include "implode/implode_encoder.h"
#include "package/package_format.h"
#include "package/package_writer.h"
#include "pe_resources/resource_edit.h"
#include "tests/support/installer_parts.h"
#include "tests/support/pe_image.h"
#include "tests/support/resource_parts.h"
#include "tests/support/test_files.h"

namespace {

namespace fs = std::filesystem;
using testing_support::Bytes;
using testing_support::ReadFile;
using testing_support::ReadFileText;
using testing_support::TempDir;
using testing_support::Text;
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
Bytes Package(const testing_support::InstallerRecipe::Files& files) {
  using testing_support::DosDate;
  using testing_support::DosTime;
  return testing_support::InstallerRecipe(DosDate(2002, 3, 4), DosTime(5, 6, 8)).Package(files);
}

// Where the first file's stream starts in a package.
constexpr size_t kFirstStreamAt = package::kHeaderSize + package::kRecordSize;

// ---- The fixture ----------------------------------------------------------------------------

class TovalinEndToEnd : public ::testing::Test {
 protected:
  std::string Path(const std::string& name) const { return dir_.Join(name); }

  // Runs the tool in the test folder; environment holds "NAME=value" words for it.
  ToolRun Tovalin(const std::vector<std::string>& args, const std::string& environment = "") {
    return Run(TOVALIN_TOOL, args, environment);
  }

  // Starts program (a copy of the tool, or a link to one) in the test folder.
  ToolRun Run(const std::string& program, const std::vector<std::string>& args,
              const std::string& environment = "") {
    std::string command =
        "cd " + ShellQuote(dir_.path()) + " && " + environment + " " + ShellQuote(program);
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

  // Runs a command in the test folder; its exit status.
  int Shell(const std::string& command) {
    std::string line = "cd " + ShellQuote(dir_.path()) + " && " + command + " >" +
                       ShellQuote(streams_.Join("shell")) + " 2>&1";
    int raw = std::system(line.c_str());
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  }

  // Signs in into out with osslsigncode (SHA-256), under a certificate made on first use;
  // nest adds a second signature to a signed file.
  void Sign(const std::string& in, const std::string& out, bool nest = false) {
    if (!testing_support::FileExists(Path("key.pem"))) {
      ASSERT_EQ(Shell("openssl req -x509 -newkey rsa:2048 -nodes -keyout key.pem -out cert.pem "
                      "-days 2 -subj /CN=tovalin-test"),
                0)
          << ReadFileText(streams_.Join("shell"));
    }
    ASSERT_EQ(Shell(std::string("osslsigncode sign") + (nest ? " -nest" : "") +
                    " -certs cert.pem -key key.pem -h sha256 -in " + ShellQuote(in) + " -out " +
                    ShellQuote(out)),
              0)
        << ReadFileText(streams_.Join("shell"));
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
  // A stream whose first token copies from one byte back, before the stream's first byte: the
  // launcher reads its window's history there, the tool calls it damage.
  Bytes reaching_back = Package({{"reach.bin", Text("xy")}});
  {
    const Bytes stream = {0x00, 0x06, 0x3B, 0x01, 0xFF};  // copy 2 from 1 back, then the end
    reaching_back.resize(package::kHeaderSize + package::kRecordSize);
    archive::StoreLittleEndian32(
        &reaching_back[package::kHeaderSize + package::kRecordCompressedSizeAt],
        static_cast<uint32_t>(stream.size()));
    reaching_back.insert(reaching_back.end(), stream.begin(), stream.end());
  }

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
      {"copy before the stream's start", RawInstaller(stub_, {Member("temp.shr", reaching_back)}),
       "temp.shr: reach.bin: a copy reaches back before the stream's first byte"},
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

// A problem has one text, whichever command meets it: test prints it, list reports it after the
// listing, extract names it where it refuses. Each row's text is taken from test's line.
TEST_F(TovalinEndToEnd, EveryCommandWordsAProblemAlike) {
  Bytes package = Package({{"first.txt", Text("first file")}, {"second.txt", Text("second")}});
  Bytes unsized = package;  // list decodes a file whose record leaves out the size
  archive::StoreLittleEndian32(&unsized[package::kHeaderSize + package::kRecordUncompressedSizeAt],
                               0);
  unsized[kFirstStreamAt] ^= 7;
  Bytes one_more = package;
  one_more.push_back(0);
  RawMember unterminated = Member("", Text("no NUL"));
  unterminated.name_field = Bytes(archive::kNameFieldSize, 'n');
  RawMember big = Member("big.dll", Text("only a few bytes"));
  big.claimed_size = 100000;
  Bytes looping = RawInstaller(stub_, {Member("a.txt", Text("a")), Member("b.txt", Text("b"))});
  archive::StoreLittleEndian32(&looping[stub_.size() + archive::kEntryHeaderSize + 1],
                               static_cast<uint32_t>(stub_.size()));
  Write("launcher.exe", stub_);
  Write("readme.txt", Text(std::string(3000, 'r')));
  ASSERT_EQ(
      Tovalin({"build", "-q", "-o", "setup.exe", "--stub", "launcher.exe", "readme.txt"}).status,
      0);
  Bytes damaged = ReadFile(Path("setup.exe"));
  damaged[stub_.size() + archive::kEntryHeaderSize + 100] ^= 1;

  const struct {
    const char* what;
    Bytes installer;
    std::string where;  // what test's line names before the text
    bool listed;        // whether list --packages meets it too (it reads no checksums)
  } cases[] = {
      {"name without NUL", RawInstaller(stub_, {unterminated}), std::string(256, 'n') + ": ", true},
      {"data past the end", RawInstaller(stub_, {Member("init.ini", Text("x")), big}),
       "big.dll: ", true},
      {"checksum", damaged, "readme.txt: ", false},
      {"short package", RawInstaller(stub_, {Member("temp.shr", Bytes(20, 0))}),
       "temp.shr: ", true},
      {"a byte after the last file", RawInstaller(stub_, {Member("temp.shr", one_more)}),
       "temp.shr: ", true},
      {"stream header", RawInstaller(stub_, {Member("temp.shr", unsized)}),
       "temp.shr: first.txt: ", true},
      {"chain", looping, "", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Write("damaged.exe", c.installer);
    ToolRun test = Tovalin({"test", "damaged.exe"});
    const std::string start = "damaged.exe: " + c.where;
    const size_t at = test.out.find(start);
    ASSERT_NE(at, std::string::npos) << test.out;
    const std::string text =
        test.out.substr(at + start.size(), test.out.find('\n', at) - at - start.size());
    if (c.listed) {
      ToolRun list = Tovalin({"list", "--packages", "damaged.exe"});
      EXPECT_EQ(list.status, 1);
      std::string line = "tovalin: " + start;
      line += text + "\n";
      EXPECT_NE(list.err.find(line), std::string::npos) << line << list.err;
    }
    fs::remove_all(Path("out"));
    ToolRun extract = Tovalin({"extract", "--unpack", "-d", "out", "damaged.exe"});
    EXPECT_EQ(extract.status, 1);
    EXPECT_NE(extract.err.find(text), std::string::npos) << text << "\n" << extract.err;
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
      // No --stub, and the build tree holds no installed stub beside the tool.
      {{"build", "-o", "s.exe", "a.txt"}, 1, "none is installed: looked for "},
      {{"build", "-o", "s.exe"}, 2, "at least one file"},
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

TEST_F(TovalinEndToEnd, ChecksumsAreListedTestedAndHeldAgainstExtraction) {
  Write("launcher.exe", stub_);
  Write("readme.txt", Text(std::string(3000, 'r')));
  Write("engine.exe", testing_support::RandomBytes(30000, 4));
  ASSERT_EQ(Tovalin({"pack", "-q", "-o", "inst32.shr", "~0000.exe=engine.exe"}).status, 0);
  ASSERT_EQ(Tovalin({"build", "-q", "-o", "setup.exe", "--stub", "launcher.exe", "readme.txt",
                     "inst32.shr"})
                .status,
            0);
  EXPECT_NE(Tovalin({"list", "setup.exe"}).out.find("Checksums: CRC-32 of 2 members"),
            std::string::npos);
  Write("raw.exe", RawInstaller(stub_, {Member("readme.txt", Text("r"))}));
  EXPECT_NE(Tovalin({"list", "raw.exe"}).out.find("No checksums"), std::string::npos);

  // One bit flipped in each member: in the text, and in a literal of the engine's stream,
  // which still decodes, to other bytes.
  Bytes damaged = ReadFile(Path("setup.exe"));
  const size_t readme = stub_.size() + archive::kEntryHeaderSize;
  const size_t package = readme + 3000 + archive::kEntryHeaderSize;
  damaged[readme + 1500] ^= 0x01;
  damaged[package + kFirstStreamAt + 3000] ^= 0x01;
  Write("damaged.exe", damaged);
  ToolRun test = Tovalin({"test", "damaged.exe"});
  EXPECT_EQ(test.status, 1);
  for (const char* name : {"readme.txt", "inst32.shr"}) {
    EXPECT_NE(test.out.find(std::string("damaged.exe: ") + name +
                            ": its data does not match its checksum"),
              std::string::npos)
        << test.out;
  }
  EXPECT_NE(test.out.find("2 problems"), std::string::npos) << test.out;

  for (const char* unpack : {"", "--unpack"}) {
    SCOPED_TRACE(unpack);
    std::vector<std::string> args = {"extract", "-q", "-d", "out", "damaged.exe"};
    if (*unpack != '\0') args.insert(args.begin() + 1, unpack);
    ToolRun refused = Tovalin(args);
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("readme.txt: its data does not match its checksum"),
              std::string::npos)
        << refused.err;
    EXPECT_FALSE(testing_support::FileExists(Path("out/readme.txt")));
    EXPECT_FALSE(testing_support::FileExists(Path("out/inst32.shr")));
    args.insert(args.begin() + 1, "--force");
    ToolRun forced = Tovalin(args);
    EXPECT_EQ(forced.status, 0) << forced.err;
    EXPECT_NE(forced.err.find("written all the same"), std::string::npos) << forced.err;
    EXPECT_EQ(ReadFile(Path("out/readme.txt")).size(), 3000u);
    fs::remove_all(Path("out"));
  }
}

// Without --stub, build takes the stub of the tool's own install, found from the program file
// itself: an install keeps it in share/tovalin beside bin/, an unpacked zip beside the program,
// and a link on PATH leads to the install it points into.
TEST_F(TovalinEndToEnd, BuildWithoutStubTakesTheStubOfItsOwnInstall) {
  Write("a.txt", Text("a"));
  const Bytes shared = testing_support::RandomBytes(2000, 11);
  const Bytes beside = testing_support::RandomBytes(2500, 12);
  const struct {
    std::string name;
    std::string program;  // where the tool is copied, in the test folder
    std::vector<std::pair<std::string, const Bytes*>> stubs;
    std::string link;    // when set, a link to the program, started instead of it
    const Bytes* taken;  // nullptr when no stub is to be found
  } layouts[] = {
      {"install", "usr/bin/tovalin", {{"usr/share/tovalin/launcher.exe", &shared}}, "", &shared},
      {"unpacked zip", "zip/tovalin", {{"zip/launcher.exe", &beside}}, "", &beside},
      {"install first",
       "opt/bin/tovalin",
       {{"opt/share/tovalin/launcher.exe", &shared}, {"opt/bin/launcher.exe", &beside}},
       "",
       &shared},
      {"link on PATH",
       "real/bin/tovalin",
       {{"real/share/tovalin/launcher.exe", &shared}},
       "path/tovalin",
       &shared},
      {"no stub", "bare/bin/tovalin", {}, "", nullptr},
  };
  const std::string folder = fs::canonical(dir_.path()).string();
  for (const auto& layout : layouts) {
    SCOPED_TRACE(layout.name);
    fs::create_directories(fs::path(Path(layout.program)).parent_path());
    fs::copy_file(TOVALIN_TOOL, Path(layout.program));
    for (const auto& stub : layout.stubs) {
      fs::create_directories(fs::path(Path(stub.first)).parent_path());
      WriteFile(Path(stub.first), *stub.second);
    }
    std::string started = Path(layout.program);
    if (!layout.link.empty()) {
      started = Path(layout.link);
      fs::create_directories(fs::path(started).parent_path());
      fs::create_symlink(Path(layout.program), started);
    }
    const std::string setup = layout.name + ".exe";
    ToolRun build = Run(started, {"build", "-o", setup, "a.txt"});
    if (layout.taken == nullptr) {
      EXPECT_EQ(build.status, 1);
      std::string message = "looked for " + folder;
      message += "/bare/share/tovalin/launcher.exe and " + folder;
      message += "/bare/bin/launcher.exe; give it with --stub LAUNCHER";
      EXPECT_NE(build.err.find(message), std::string::npos) << build.err;
      EXPECT_FALSE(fs::exists(Path(setup)));
      continue;
    }
    ASSERT_EQ(build.status, 0) << build.err;
    const Bytes written = ReadFile(Path(setup));
    ASSERT_GT(written.size(), layout.taken->size());
    EXPECT_TRUE(std::equal(layout.taken->begin(), layout.taken->end(), written.begin()));
    EXPECT_EQ(Tovalin({"test", setup}).status, 0);
  }
}

TEST_F(TovalinEndToEnd, SignedInstallersAreListedTestedAndExtracted) {
  Write("launcher.exe", testing_support::MinimalPeImage());
  Write("init.ini", Text("[Setup]"), kFirstTime);
  Write("engine.exe", testing_support::RandomBytes(40000, 2), kSecondTime);
  ASSERT_EQ(Tovalin({"pack", "-q", "-o", "inst32.shr", "~0000.exe=engine.exe"}).status, 0);
  for (const char* extra : {"a", "ab", "abc"}) {
    // Whatever the members, the length is ready for a signature.
    Write("extra.txt", Text(extra));
    ASSERT_EQ(Tovalin({"build", "-q", "-f", "-o", "setup.exe", "--stub", "launcher.exe", "init.ini",
                       "inst32.shr", "extra.txt"})
                  .status,
              0);
    EXPECT_EQ(ReadFile(Path("setup.exe")).size() % 8, 0u) << extra;
  }
  const size_t unsigned_size = ReadFile(Path("setup.exe")).size();
  Sign("setup.exe", "signed.exe");
  Sign("signed.exe", "nested.exe", true);
  for (const char* installer : {"signed.exe", "nested.exe"}) {
    SCOPED_TRACE(installer);
    const size_t table = ReadFile(Path(installer)).size() - unsigned_size;
    ToolRun list = Tovalin({"list", installer});
    EXPECT_EQ(list.status, 0) << list.err;
    EXPECT_NE(list.out.find("3 members"), std::string::npos) << list.out;
    EXPECT_NE(list.out.find("Signed: certificate table of " + std::to_string(table) +
                            " bytes at offset " + std::to_string(unsigned_size)),
              std::string::npos)
        << list.out;
    ToolRun test = Tovalin({"test", installer});
    EXPECT_EQ(test.status, 0) << test.out;
    EXPECT_NE(test.out.find("all whole"), std::string::npos) << test.out;
    ToolRun extract = Tovalin({"extract", "-q", "-f", "--unpack", "-d", "out", installer});
    EXPECT_EQ(extract.status, 0) << extract.err;
    EXPECT_EQ(ReadFile(Path("out/inst32.shr/~0000.exe")), ReadFile(Path("engine.exe")));
    EXPECT_EQ(ReadFile(Path("out/extra.txt")), Text("abc"));
  }
  EXPECT_NE(Tovalin({"list", "setup.exe"}).out.find("Not signed"), std::string::npos);

  // Signing comes last: neither a signed launcher nor a signed installer makes a stub.
  Sign("launcher.exe", "signed-launcher.exe");
  for (const char* stub : {"signed-launcher.exe", "signed.exe"}) {
    SCOPED_TRACE(stub);
    ToolRun build = Tovalin({"build", "-o", "again.exe", "--stub", stub, "init.ini"});
    EXPECT_EQ(build.status, 1);
    EXPECT_NE(build.err.find("is signed"), std::string::npos) << build.err;
    EXPECT_NE(build.err.find("sign the installer after building"), std::string::npos) << build.err;
    EXPECT_FALSE(testing_support::FileExists(Path("again.exe")));
  }
}

// A launcher in small with the resources the real one has, and an author's icon of two images.
Bytes LauncherWithResources() {
  return testing_support::LauncherLikeImage(
             pe::WriteResourceTree(testing_support::LauncherLikeResources(),
                                   testing_support::kLauncherLikeResourcesAt))
      .bytes;
}

Bytes AuthorIcon() {
  return testing_support::IcoFile({{16, 32, testing_support::BitmapImage(16, 32)},
                                   {32, 32, testing_support::BitmapImage(32, 32)}});
}

TEST_F(TovalinEndToEnd, BuildGivesTheInstallerTheAuthorsIconVersionAndManifest) {
  const Bytes launcher = LauncherWithResources();
  Write("launcher.exe", launcher);
  Write("author.ico", AuthorIcon());
  Write("init.ini", Text("[Setup]"), kFirstTime);
  ToolRun build =
      Tovalin({"build", "-o", "setup.exe", "--stub", "launcher.exe", "--icon", "author.ico",
               "--version-info", "ProductName=Example \xc2\xa9", "--version-info",
               "FileVersion=2.1.0.7", "--version-info=CompanyName=Ex Ltd.", "--execution-level",
               "requireAdministrator", "init.ini"});
  ASSERT_EQ(build.status, 0) << build.err;
  EXPECT_EQ(ReadFile(Path("launcher.exe")), launcher);  // the stub itself stays as it was

  ToolRun list = Tovalin({"list", "--resources", "setup.exe"});
  ASSERT_EQ(list.status, 0) << list.err;
  EXPECT_EQ(list.out.substr(0, list.out.find("\n\n")),
            "Icon INSTALL: 16x16 32-bit, 32x32 32-bit\n"
            "Version: file 2.1.0.7, product 2.1.0.7\n"
            "  ProductName        Example \xc2\xa9\n"
            "  FileVersion        2.1.0.7\n"
            "  CompanyName        Ex Ltd.\n"
            "Execution level: requireAdministrator\n"
            "Other resources: DIALOG PROMPTDLG, STRING #13");
  EXPECT_NE(list.out.find("2001-02-03  04:05:06  ----A  init.ini"), std::string::npos);
  ToolRun json = Tovalin({"list", "-r", "--json", "setup.exe"});
  ASSERT_EQ(json.status, 0) << json.err;
  for (const char* part :
       {"\"execution_level\": \"requireAdministrator\"", "\"ProductName\": \"Example \\u00A9\"",
        "\"width\": 32", "\"type\": \"DIALOG\""}) {
    EXPECT_NE(json.out.find(part), std::string::npos) << part << "\n" << json.out;
  }
  ToolRun extract = Tovalin({"extract", "-d", "out", "setup.exe"});
  EXPECT_EQ(extract.status, 0) << extract.err;
  EXPECT_EQ(ReadFile(Path("out/init.ini")), Text("[Setup]"));
  // An installer without the options keeps the stub's bytes, and shows no version.
  ASSERT_EQ(Tovalin({"build", "-o", "plain.exe", "--stub", "launcher.exe", "init.ini"}).status, 0);
  EXPECT_TRUE(std::equal(launcher.begin(), launcher.end(), ReadFile(Path("plain.exe")).begin()));
  ToolRun plain_list = Tovalin({"list", "-r", "plain.exe"});
  EXPECT_NE(plain_list.out.find("Icon INSTALL: 32x32 4-bit\nVersion: none\n"
                                "Execution level: none requested (no manifest)\n"),
            std::string::npos)
      << plain_list.out;
}

TEST_F(TovalinEndToEnd, BrokenResourceInputsEndWithAMessageAndNoInstaller) {
  Write("launcher.exe", LauncherWithResources());
  Write("bare.exe", testing_support::MinimalPeImage());
  Write("random.exe", stub_);
  Write("author.ico", AuthorIcon());
  Write("cursor.ico", Bytes{0, 0, 2, 0, 1, 0});
  Write("init.ini", Text("[Setup]"));
  Sign("launcher.exe", "signed.exe");
  // A certificate directory that does not end the file signs nothing, but would ride along.
  Bytes misplaced = LauncherWithResources();
  testing_support::SetPeDirectory(&misplaced, pe::kCertificateDirectory, 0x600, 8);
  Write("misplaced.exe", misplaced);
  const std::vector<std::string> icon = {"--icon", "author.ico"};
  const struct {
    std::vector<std::string> args;
    std::string environment;
    int status;
    std::string err;
  } cases[] = {
      {{"--icon", "init.ini"}, "", 1, "init.ini: not an icon file"},
      {{"--icon", "cursor.ico"}, "", 1, "cursor.ico: a cursor file"},
      {{"--icon", "missing.ico"}, "", 1, "missing.ico: cannot open"},
      {{"--stub", "bare.exe", "--execution-level", "asInvoker"},
       "",
       1,
       "has no resources (no resource section)"},
      {{"--stub", "random.exe", "--version-info", "Comments=x"}, "", 1, "not a Windows program"},
      {{"--stub", "signed.exe", "--icon", "author.ico"}, "", 1, "is signed"},
      {{"--stub", "misplaced.exe"}, "", 1, "8 bytes at offset 1536, which does not end the file"},
      {{"--stub", "misplaced.exe", "--icon", "author.ico"}, "", 1, "does not end the file"},
      {{"--execution-level", "admin"},
       "",
       2,
       "asInvoker, highestAvailable or requireAdministrator"},
      {{"--version-info", "Version=1"}, "", 2, "not a version key"},
      {{"--icon", "setup.exe"}, "", 2, "is also an input"},
      {icon, "SOURCE_DATE_EPOCH=yesterday", 2, "SOURCE_DATE_EPOCH='yesterday' is not a time"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = {"build", "-o", "setup.exe"};
    if (std::find(c.args.begin(), c.args.end(), "--stub") == c.args.end()) {
      args.insert(args.end(), {"--stub", "launcher.exe"});
    }
    args.insert(args.end(), c.args.begin(), c.args.end());
    args.push_back("init.ini");
    ToolRun run = Tovalin(args, c.environment);
    EXPECT_EQ(run.status, c.status) << c.err << "\n" << run.err;
    EXPECT_NE(run.err.find(c.err), std::string::npos) << run.err;
    EXPECT_FALSE(testing_support::FileExists(Path("setup.exe"))) << c.err;
  }
  ToolRun pack = Tovalin({"pack", "-o", "p.shr", "init.ini"}, "SOURCE_DATE_EPOCH=");
  EXPECT_EQ(pack.status, 2);
  EXPECT_NE(pack.err.find("digits only"), std::string::npos) << pack.err;
}

TEST_F(TovalinEndToEnd, SourceDateEpochMakesRebuildsByteIdentical) {
  Write("launcher.exe", LauncherWithResources());
  Write("author.ico", AuthorIcon());
  Write("engine.exe", testing_support::RandomBytes(40000, 4));
  Write("readme.txt", Text(std::string(3000, 'r')));
  Write("init.ini", Text("[Setup]"));
  // 2001-02-03 04:05:06 UTC; readme.txt is older and keeps its own time.
  const std::string epoch = "SOURCE_DATE_EPOCH=" + std::to_string(kFirstTime);
  const auto build = [&](const std::string& environment, const std::string& setup) {
    EXPECT_EQ(
        Tovalin({"pack", "-q", "-f", "-o", "inst32.shr", "~0000.exe=engine.exe", "readme.txt"},
                environment)
            .status,
        0);
    ToolRun run = Tovalin({"build", "-q", "-o", setup, "--stub", "launcher.exe", "--icon",
                           "author.ico", "--version-info", "ProductVersion=1.0",
                           "--execution-level", "asInvoker", "init.ini", "inst32.shr"},
                          environment);
    EXPECT_EQ(run.status, 0) << run.err;
  };
  SetTime("readme.txt", kSecondTime);
  build(epoch + " TZ=UTC", "first.exe");
  // Everything touched now, in another time zone: only what the clamp hides changes.
  for (const char* name : {"launcher.exe", "author.ico", "engine.exe", "init.ini"})
    SetTime(name, time(nullptr));
  build(epoch + " TZ=XYZ-5:30", "second.exe");
  build("", "unclamped.exe");
  ASSERT_EQ(Shell("sha256sum first.exe second.exe unclamped.exe > sums && "
                  "test \"$(cut -c1-64 sums | sort -u | wc -l)\" = 2"),
            0)
      << ReadFileText(Path("sums"));
  EXPECT_EQ(ReadFile(Path("first.exe")), ReadFile(Path("second.exe")));
  EXPECT_NE(ReadFile(Path("first.exe")), ReadFile(Path("unclamped.exe")));
  ToolRun list = Tovalin({"list", "--packages", "second.exe"});
  for (const char* line :
       {"2001-02-03  04:05:06  ----A  init.ini", "2001-02-03  04:05:06  ----A    ~0000.exe",
        "1999-12-31  23:59:58  ----A    readme.txt"}) {
    EXPECT_NE(list.out.find(line), std::string::npos) << line << "\n" << list.out;
  }
}

TEST_F(TovalinEndToEnd, SourceDateEpochBuildsTheSameBytesAsTheWindowsTool) {
  // The inputs of tests/e2e/tovalin_wine_smoke, which builds them with tovalin.exe under Wine
  // and expects the same sum.
  std::string numbers;
  for (int i = 1; i <= 20000; ++i)
    numbers += std::to_string(i) + "\n";
  Write("launcher.exe", Text("MZ stand-in launcher\r\n"), time(nullptr));
  Write("init.ini", Text("[Setup]\r\nTitle=Smoke\r\n"), time(nullptr));
  Write("engine.txt", Text(numbers), time(nullptr));
  Write("lang.bin", Text(std::string(70000, 'z')), kFirstTime);
  const std::string epoch = "SOURCE_DATE_EPOCH=946684800";  // 2000-01-01 00:00:00 UTC
  ASSERT_EQ(Tovalin({"pack", "-q", "-o", "temp.shr", "~0000.exe=engine.txt"}, epoch).status, 0);
  ASSERT_EQ(Tovalin({"build", "-q", "-o", "setup.exe", "--stub", "launcher.exe", "init.ini",
                     "temp.shr", "InstallEnu.dll=lang.bin"},
                    epoch)
                .status,
            0);
  ASSERT_EQ(Shell("sha256sum setup.exe > sums && grep -q "
                  "^8cd37627ba088e227c69206436e3ecf0a7f07cd3b9bac2e44846d72902b12716 sums"),
            0)
      << ReadFileText(Path("sums"));
}

TEST_F(TovalinEndToEnd, InstallersStayWithinTheLimitAndWorkRightUpToIt) {
  // Sparse files keep this cheap: the holes take no disk and read as zeros.
  Write("launcher.exe", testing_support::MinimalPeImage());
  ASSERT_EQ(Shell("truncate -s 1100M big1.bin && truncate -s 1100M big2.bin"), 0);
  ToolRun refused =
      Tovalin({"build", "-o", "setup.exe", "--stub", "launcher.exe", "big1.bin", "big2.bin"});
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.err.find("2,146,435,072"), std::string::npos) << refused.err;
  EXPECT_NE(refused.err.find("loose files beside the installer"), std::string::npos) << refused.err;
  EXPECT_FALSE(testing_support::FileExists(Path("setup.exe")));

  // An installer of just under the limit: a small member, a hole of a member, and small
  // members whose headers lie past 2,145 MB.
  const uint64_t size = archive::kLargestInstaller - 8;
  const Bytes tail_member = Text("near the end");
  const Bytes engine = testing_support::RandomBytes(5000, 3);
  Bytes head = RawInstaller(testing_support::MinimalPeImage(),
                            {Member("init.ini", Text("[Setup]")), Member("filler.bin", Bytes())});
  head.resize(head.size() - archive::kTrailerSize);  // the chain continues at the far end
  const uint32_t filler_header = static_cast<uint32_t>(head.size()) - archive::kEntryHeaderSize;
  Bytes tail = RawInstaller(Bytes(), {Member("package.shr", Package({{"engine.exe", engine}})),
                                      Member("tail.txt", tail_member)});
  const uint32_t tail_at = static_cast<uint32_t>(size - tail.size());
  // The tail's chain counts from the tail's start; in the file it starts at tail_at.
  for (uint32_t at = 0;;) {
    const uint32_t next = archive::LoadLittleEndian32(&tail[at]);
    if (next == 0) break;
    archive::StoreLittleEndian32(&tail[at], next + tail_at);
    at = next;
  }
  archive::StoreLittleEndian32(&tail[tail.size() - 8], 1024);  // the first entry: init.ini
  archive::StoreLittleEndian32(&tail[tail.size() - 4], 0);
  archive::StoreLittleEndian32(&head[filler_header], tail_at);
  archive::StoreLittleEndian32(&head[filler_header + archive::kHeaderSizeAt],
                               tail_at - filler_header - archive::kEntryHeaderSize);
  WriteFile(Path("huge.exe"), head);
  WriteFile(Path("tail.part"), tail);
  ASSERT_EQ(Shell("truncate -s " + std::to_string(tail_at) +
                  " huge.exe && cat tail.part >> huge.exe && rm tail.part"),
            0);
  ASSERT_EQ(fs::file_size(Path("huge.exe")), size);

  ToolRun list = Tovalin({"list", "-q", "huge.exe"});
  EXPECT_EQ(list.status, 0) << list.err;
  EXPECT_NE(list.out.find("4 members"), std::string::npos) << list.out;
  ToolRun test = Tovalin({"test", "-q", "huge.exe"});
  EXPECT_EQ(test.status, 0) << test.out;
  ToolRun extract =
      Tovalin({"extract", "-q", "-u", "-d", "out", "huge.exe", "tail.txt", "package.shr"});
  EXPECT_EQ(extract.status, 0) << extract.err;
  EXPECT_EQ(ReadFile(Path("out/tail.txt")), tail_member);
  EXPECT_EQ(ReadFile(Path("out/package.shr/engine.exe")), engine);
}

}  // namespace
