// The parts of the tovalin tool: its command line, its JSON, its progress line, how it shows
// values, which names it lets become files, where its install keeps the stub, and what the decode
// pass hands its sink in each mode.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "archive/archive_writer.h"
#include "base/dos_time.h"
#include "package/package_format.h"
#include "package/package_writer.h"
#include "tests/support/test_files.h"
#include "tools/command.h"
#include "tools/decode_pass.h"
#include "tools/display.h"
#include "tools/host.h"
#include "tools/input_file.h"
#include "tools/installed_stub.h"
#include "tools/inventory.h"
#include "tools/json_writer.h"
#include "tools/options.h"
#include "tools/progress_bar.h"
#include "tools/resource_options.h"
#include "tools/safe_name.h"
#include "tools/source_argument.h"
#include "tools/source_date.h"
#include "tools/tool_error.h"
#include "tools/utf16_text.h"

namespace tool {
namespace {

const std::vector<OptionDefinition> kSpecs = {{"directory", 'd', true},
                                              {"force", 'f', false},
                                              {"dictionary", 0, true},
                                              {"tag", 't', true, true}};

TEST(ToolOptions, AcceptsEveryFormOfOptionAndKeepsOperandsInOrder) {
  struct Case {
    std::vector<std::string> args;
    std::string directory;
    bool force;
    std::vector<std::string> operands;
  };
  const Case cases[] = {
      {{"setup.exe"}, "", false, {"setup.exe"}},
      {{"-d", "out", "setup.exe"}, "out", false, {"setup.exe"}},
      {{"-dout", "setup.exe", "a"}, "out", false, {"setup.exe", "a"}},
      {{"--directory", "out", "-f", "x"}, "out", true, {"x"}},
      {{"--directory=out=1", "x", "--force"}, "out=1", true, {"x"}},
      {{"x", "--", "-f", "--directory"}, "", false, {"x", "-f", "--directory"}},
      {{"-", "x"}, "", false, {"-", "x"}},
  };
  for (const Case& c : cases) {
    ParsedCommandLine parsed = ParseCommandLine(c.args, kSpecs);
    EXPECT_EQ(parsed.Value("directory"), c.directory) << c.args[0];
    EXPECT_EQ(parsed.Has("force"), c.force) << c.args[0];
    EXPECT_EQ(parsed.operands, c.operands) << c.args[0];
  }
}

TEST(ToolOptions, RefusesWhatTheCommandDoesNotTake) {
  const std::vector<std::vector<std::string>> wrong = {
      {"--unknown"},   {"-x"},  {"-d"},       {"--directory"},
      {"--force=yes"}, {"-fx"}, {"-f", "-f"}, {"-d", "a", "--directory=b"},
  };
  for (const auto& args : wrong) {
    EXPECT_THROW(ParseCommandLine(args, kSpecs), UsageError) << args[0];
  }
}

TEST(ToolOptions, RepeatableOptionsKeepEveryValueInOrder) {
  ParsedCommandLine parsed =
      ParseCommandLine({"-t", "a=1", "x", "--tag=b", "-tc", "--tag", "a=1"}, kSpecs);
  EXPECT_EQ(parsed.Values("tag"), (std::vector<std::string>{"a=1", "b", "c", "a=1"}));
  EXPECT_TRUE(parsed.Has("tag"));
  EXPECT_EQ(parsed.operands, std::vector<std::string>{"x"});
  EXPECT_TRUE(ParseCommandLine({"x"}, kSpecs).Values("tag").empty());
  EXPECT_THROW(ParseCommandLine({"--tag"}, kSpecs), UsageError);
}

TEST(ToolOptions, ValueFallsBackWhenTheOptionIsMissing) {
  ParsedCommandLine parsed = ParseCommandLine({"x"}, kSpecs);
  EXPECT_EQ(parsed.Value("dictionary", "4096"), "4096");
  EXPECT_FALSE(parsed.Has("dictionary"));
}

TEST(ToolJson, WritesNestedDocumentsWithCommasInTheRightPlaces) {
  JsonWriter json;
  json.BeginObject();
  json.Key("a");
  json.Number(1);
  json.Key("list");
  json.BeginArray();
  json.String("x");
  json.Bool(true);
  json.BeginObject();
  json.EndObject();
  json.EndArray();
  json.Key("empty");
  json.BeginArray();
  json.EndArray();
  json.EndObject();
  EXPECT_EQ(json.text(),
            "{\n  \"a\": 1,\n  \"list\": [\n    \"x\",\n    true,\n    {}\n  ],\n"
            "  \"empty\": []\n}\n");
}

TEST(ToolJson, EscapesEveryByteThatIsNotPrintableAscii) {
  const struct {
    std::string in;
    std::string out;
  } cases[] = {
      {"init.ini", "\"init.ini\""},
      {"a\"b\\c", "\"a\\\"b\\\\c\""},
      {"\n\r\t", "\"\\n\\r\\t\""},
      {std::string("\x01\x1f\x7f", 3), "\"\\u0001\\u001F\\u007F\""},
      {"\xe4\xff", "\"\\u00E4\\u00FF\""},
      {std::string("a\0b", 3), "\"a\\u0000b\""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(JsonQuote(c.in), c.out);
  // Resource text is UTF-16: its units are escaped as themselves, not as bytes.
  JsonWriter json;
  json.Utf16String(u"\u00a9 \"Tov\u00e4lin\" \U0001F600");
  EXPECT_EQ(json.text(), "\"\\u00A9 \\\"Tov\\u00E4lin\\\" \\uD83D\\uDE00\"");
}

TEST(ToolProgress, LineShowsShareOfWorkAndKeepsTheEndOfLongLabels) {
  EXPECT_EQ(RenderProgressLine(0, 100, "", 10, 20), "[..........]   0%");
  EXPECT_EQ(RenderProgressLine(50, 100, "temp.shr", 10, 20), "[#####.....]  50%  temp.shr");
  EXPECT_EQ(RenderProgressLine(100, 100, "", 10, 20), "[##########] 100%");
  EXPECT_EQ(RenderProgressLine(7, 0, "", 4, 20), "[####] 100%");
  EXPECT_EQ(RenderProgressLine(200, 100, "", 4, 20), "[####] 100%");
  EXPECT_EQ(RenderProgressLine(1, 3, "abcdefghij", 3, 8), "[...]  33%  ...fghij");
  // Totals near the top of 64 bits must neither overflow nor divide by zero.
  EXPECT_EQ(RenderProgressLine(UINT64_MAX / 2, UINT64_MAX, "", 2, 0), "[..]  49%");
}

TEST(ToolProgress, DrawsNothingWhenNotWanted) {
  std::FILE* out = std::tmpfile();
  ASSERT_NE(out, nullptr);
  {
    ProgressBar quiet(false, 100, out);
    quiet.SetLabel("x");
    quiet.Advance(50);
  }
  EXPECT_EQ(std::ftell(out), 0);
  {
    ProgressBar late(true, 100, out, std::chrono::hours(1));
    late.Advance(50);  // quick work: no flicker
  }
  EXPECT_EQ(std::ftell(out), 0);
  {
    ProgressBar shown(true, 100, out, std::chrono::milliseconds(0));
    shown.SetLabel("temp.shr");
    shown.Advance(50);
  }
  std::rewind(out);
  char text[256] = {};
  size_t got = std::fread(text, 1, sizeof text - 1, out);
  std::fclose(out);
  // Drawn, then erased with blanks when the bar went away.
  std::string drawn(text, got);
  EXPECT_EQ(drawn.rfind("\r[..............................]   0%  temp.shr\r", 0), 0u) << drawn;
  EXPECT_NE(drawn.find("\r[###############...............]  50%  temp.shr"), std::string::npos);
  EXPECT_EQ(drawn.substr(drawn.size() - 2), " \r");
}

TEST(ToolDisplay, ShowsDosDatesTimesAndAttributesAsStored) {
  EXPECT_EQ(FormatDosDate((21u << 9) | (2u << 5) | 3u), "2001-02-03");
  EXPECT_EQ(FormatDosDate(0), "1980-00-00");
  EXPECT_EQ(FormatDosDate(0xFFFFu), "2107-15-31");
  EXPECT_EQ(FormatDosDate(0x12340000u | (21u << 9) | (2u << 5) | 3u), "2001-02-03");
  EXPECT_EQ(FormatDosTime((4u << 11) | (5u << 5) | 3u), "04:05:06");
  EXPECT_EQ(FormatDosTime(0xFFFFu), "31:63:62");
  EXPECT_EQ(FormatAttributes(0x20), "----A");
  EXPECT_EQ(FormatAttributes(0x37), "RHSDA");
  EXPECT_EQ(FormatAttributes(0x80), "-----");
  EXPECT_EQ(PrintableName(std::string("a\x1b[2Jb\x7f\xe4", 8)), "a\\x1B[2Jb\\x7F\xe4");
  EXPECT_EQ(CountOf(1, "member"), "1 member");
  EXPECT_EQ(CountOf(0, "file"), "0 files");
}

TEST(DosDateTime, PacksAndUnpacksTheSameFieldsWithinItsYears) {
  const struct {
    dos::DateTimeFields fields;
    uint32_t date, time;
  } cases[] = {
      {{1980, 1, 1, 0, 0, 0}, 0x0021, 0x0000},
      {{2001, 2, 3, 4, 5, 6}, (21u << 9) | (2u << 5) | 3u, (4u << 11) | (5u << 5) | 3u},
      {{2107, 12, 31, 23, 59, 58}, 0xFF9F, 0xBF7D},
  };
  for (const auto& c : cases) {
    uint32_t date = 0;
    uint32_t time = 0;
    ASSERT_TRUE(dos::PackDateTime(c.fields, &date, &time)) << c.fields.year;
    EXPECT_EQ(date, c.date);
    EXPECT_EQ(time, c.time);
    const dos::DateTimeFields back = dos::UnpackDateTime(0xABCD0000u | date, time);
    EXPECT_EQ(std::vector<uint32_t>(
                  {back.year, back.month, back.day, back.hour, back.minute, back.second}),
              std::vector<uint32_t>({c.fields.year, c.fields.month, c.fields.day, c.fields.hour,
                                     c.fields.minute, c.fields.second}));
  }
  uint32_t date = 7;
  uint32_t time = 7;
  EXPECT_TRUE(dos::PackDateTime({2000, 6, 15, 12, 30, 59}, &date, &time));
  EXPECT_EQ(time & 0x1F, 29u);  // odd seconds round down
  for (uint32_t year : {1979u, 2108u}) {
    EXPECT_FALSE(dos::PackDateTime({year, 1, 1, 0, 0, 0}, &date, &time)) << year;
  }
  EXPECT_EQ(date, (20u << 9) | (6u << 5) | 15u);  // untouched by the refusals
}

TEST(ToolSafeNames, RefusesNamesThatCouldLeaveTheFolder) {
  const struct {
    std::string name;
    bool terminated;
    bool safe;
  } cases[] = {
      {"init.ini", true, true},
      {"~0000.exe", true, true},
      {"a b.txt", true, true},
      {"\xe4\xf6.txt", true, true},
      {"init.ini", false, false},
      {"", true, false},
      {".", true, false},
      {"..", true, false},
      {"..\\evil.txt", true, false},
      {"../evil.txt", true, false},
      {"a..b", true, false},
      {"C:evil.txt", true, false},
      {"C:\\evil.txt", true, false},
      {"file.txt:stream", true, false},
      {"sub/file.txt", true, false},
      {"sub\\file.txt", true, false},
      {"/etc/passwd", true, false},
      {"\x81\x5c.txt", true, false},
      {"line\nbreak", true, false},
      {"del\x7f", true, false},
      {"name.", true, false},
      {"name ", true, false},
      {" ", true, false},
      {".profile", true, true},
      {"what?.txt", true, false},
      {"a|b", true, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(WhyNameIsUnsafe(c.name, c.terminated).empty(), c.safe) << c.name;
  }
}

TEST(ToolSourceArguments, NamesComeFromThePathOrBeforeTheFirstEquals) {
  const struct {
    std::string operand;
    std::string name;
    std::string path;
  } cases[] = {
      {"init.ini", "init.ini", "init.ini"},
      {"dir/sub/temp.shr", "temp.shr", "dir/sub/temp.shr"},
      {"~0000.exe=build/engine.exe", "~0000.exe", "build/engine.exe"},
      {"a=b=c", "a", "b=c"},
  };
  for (const auto& c : cases) {
    SourceArgument argument = ParseSourceArgument(c.operand);
    EXPECT_EQ(argument.name, c.name) << c.operand;
    EXPECT_EQ(argument.path, c.path) << c.operand;
  }
  EXPECT_THROW(ParseSourceArgument("=x"), UsageError);
  EXPECT_THROW(ParseSourceArgument("x="), UsageError);
  EXPECT_THROW(ParseSourceArgument("dir/"), UsageError);
}

TEST(ToolSourceArguments, RefusesANameGivenTwiceInAnyCase) {
  EXPECT_EQ(ParseSourceArguments({"a/init.ini", "temp.shr"}).size(), 2u);
  EXPECT_THROW(ParseSourceArguments({"a/init.ini", "b/INIT.INI"}), UsageError);
  EXPECT_THROW(ParseSourceArguments({"x.dll=a", "X.DLL=b"}), UsageError);
  EXPECT_THROW(ParseSourceArguments({}), UsageError);
}

TEST(ToolSourceDate, SourceDateEpochClampsLaterTimesInUtcAndMustBeDigits) {
  EXPECT_FALSE(TimeClamp::FromText(nullptr).active());
  const char* const clamps[][2] = {{"315532800", "1980-01-01 00:00:00"},
                                   {"000951868801", "2000-03-01 00:00:00"},
                                   {"4354819199", "2107-12-31 23:59:58"}};
  for (const auto& c : clamps) {
    uint32_t date = 0xFFFF;  // 2107-15-31: later than any clamp
    uint32_t time = 0;
    TimeClamp::FromText(c[0]).Apply(&date, &time);
    EXPECT_EQ(FormatDosDate(date) + " " + FormatDosTime(time), c[1]);
  }
  // Later times come down to the clamp; an earlier one, even by two seconds, stays.
  const TimeClamp clamp = TimeClamp::FromText("981173106");  // 2001-02-03 04:05:06
  const uint32_t day = (21u << 9) | (2u << 5) | 3u;
  const uint32_t moment = (4u << 11) | (5u << 5) | 3u;
  const uint32_t times[][4] = {{day, moment + 1, day, moment},
                               {day + 1, 0, day, moment},
                               {day, moment - 1, day, moment - 1}};
  for (const auto& t : times) {
    uint32_t date = t[0];
    uint32_t time = t[1];
    clamp.Apply(&date, &time);
    EXPECT_EQ(date * 0x10000 + time, t[2] * 0x10000 + t[3]);
  }
  const char* const bad[][2] = {{"", "digits only"},           {"17e8", "digits only"},
                                {"-1", "digits only"},         {"315532799", "before 1980"},
                                {"4354819200", "beyond 2107"}, {"1700000000000", "beyond 2107"}};
  for (const auto& b : bad) {
    try {
      TimeClamp::FromText(b[0]);
      ADD_FAILURE() << "'" << b[0] << "' was taken";
    } catch (const UsageError& error) {
      EXPECT_NE(std::string(error.what()).find(b[1]), std::string::npos) << error.what();
    }
  }
}

TEST(ToolVersionInfo, KeysAreWindowsOwnAndTheNumbersComeFromTheVersionTexts) {
  const struct {
    std::vector<std::string> texts;
    const char* file;
    const char* product;
  } cases[] = {
      {{"ProductName=Example", "FileVersion=2.1.0.7", "ProductVersion=2.1 beta"},
       "2.1.0.7",
       "2.1.0.0"},
      {{"FileVersion=1.2.3", "LegalCopyright=\xc2\xa9 T\xc3\xb6valin \xf0\x9f\x98\x80"},
       "1.2.3.0",
       "1.2.3.0"},
      {{"CompanyName=a=b"}, "0.0.0.0", "0.0.0.0"},
  };
  for (const auto& c : cases) {
    const pe::VersionInfo info = VersionInfoFrom(c.texts);
    EXPECT_EQ(info.file_version.Text(), c.file);
    EXPECT_EQ(info.product_version.Text(), c.product);
    ASSERT_EQ(info.strings.size(), c.texts.size());
    for (size_t i = 0; i < c.texts.size(); ++i) {
      EXPECT_EQ(Utf16ToUtf8(info.strings[i].first) + "=" + Utf16ToUtf8(info.strings[i].second),
                c.texts[i]);
    }
  }
  const struct {
    std::vector<std::string> texts;
    const char* error;
  } bad[] = {
      {{"ProductName"}, "KEY=VALUE"},
      {{"Product=x"}, "not a version key; the keys are Comments, CompanyName"},
      {{"productname=x"}, "spelt 'ProductName'"},
      {{"ProductName=a", "ProductName=b"}, "given twice"},
      {{"LegalCopyright=\xa9 2026"}, "not UTF-8"},  // Latin-1
      {{"Comments=\xc0\xae"}, "not UTF-8"},         // an overlong "."
      {{"Comments=\xed\xa0\x80"}, "not UTF-8"},     // a surrogate
      {{"Comments=" + std::string(2049, 'x')}, "longer than 2048"},
      {{"FileVersion=beta"}, "does not start with a version number"},
      {{"ProductVersion=1.99999"}, "at most 65535"},
  };
  for (const auto& b : bad) {
    try {
      VersionInfoFrom(b.texts);
      ADD_FAILURE() << b.texts[0] << " was taken";
    } catch (const UsageError& error) {
      EXPECT_NE(std::string(error.what()).find(b.error), std::string::npos) << error.what();
    }
  }
}

// Help that tells the truth: every option a command takes is in its help, in the form it takes.
TEST(ToolHelp, EveryCommandDocumentsEachOfItsOptions) {
  for (const Command* command :
       {&kListCommand, &kTestCommand, &kExtractCommand, &kPackCommand, &kBuildCommand}) {
    std::string help = command->help;
    EXPECT_EQ(help.rfind(std::string("Usage: tovalin ") + command->name + " ", 0), 0u);
    for (const OptionDefinition& option : command->options) {
      EXPECT_NE(help.find("--" + option.long_name), std::string::npos)
          << command->name << " --" << option.long_name;
      if (option.short_name != 0) {
        EXPECT_NE(help.find(std::string("-") + option.short_name + ", --" + option.long_name),
                  std::string::npos)
            << command->name << " -" << option.short_name;
      }
    }
  }
}

// Paths below are written with "/" and turned into the system's own form.
std::string Native(std::string path) {
  for (char& c : path)
    if (c == '/') c = kPathSeparator;
  return path;
}

// The stub's places follow the program file wherever the install was put: the configured way
// from the program's folder first, each ".." a folder up but never above the root or drive,
// then the program's own folder.
TEST(ToolInstalledStub, PlacesFollowTheProgramsFolder) {
  const std::string kUsual = "../share/tovalin/launcher.exe";
  const struct {
    std::string program;
    std::string from_folder;
    std::vector<std::string> places;
  } cases[] = {
      {"/usr/bin/tovalin", kUsual, {"/usr/share/tovalin/launcher.exe", "/usr/bin/launcher.exe"}},
      {"/home/ann/.local/bin/tovalin",
       kUsual,
       {"/home/ann/.local/share/tovalin/launcher.exe", "/home/ann/.local/bin/launcher.exe"}},
      {"/tovalin", kUsual, {"/share/tovalin/launcher.exe", "/launcher.exe"}},
      {"C:/Tools/tovalin.exe", kUsual, {"C:/share/tovalin/launcher.exe", "C:/Tools/launcher.exe"}},
      {"C:/tovalin.exe", kUsual, {"C:/share/tovalin/launcher.exe", "C:/launcher.exe"}},
      {"/opt/t/bin/x86/tovalin",
       "../.././lib//tovalin/launcher.exe",
       {"/opt/t/lib/tovalin/launcher.exe", "/opt/t/bin/x86/launcher.exe"}},
      {"/opt/t/bin/tovalin", "launcher.exe", {"/opt/t/bin/launcher.exe"}},
      {"tovalin", kUsual, {}},
      {"", kUsual, {}},
  };
  for (const auto& c : cases) {
    std::vector<std::string> expected;
    for (const std::string& place : c.places)
      expected.push_back(Native(place));
    EXPECT_EQ(InstalledStubPlaces(Native(c.program), c.from_folder), expected) << c.program;
  }
}

TEST(ToolInstalledStub, TheRunningProgramKnowsItsOwnPath) {
  const std::string program = RunningProgramPath();
  EXPECT_TRUE(EntryExists(program)) << program;
  EXPECT_NE(program.find("tovalin_parts_test"), std::string::npos) << program;
}

// Every call the pass makes, a line each; bytes counted per member or file.
class TracingSink : public PassSink {
 public:
  explicit TracingSink(std::string refused) : refused_(std::move(refused)) {}

  bool BeginMember(const InventoryMember& entry) override {
    trace += "member " + entry.member.name + "\n";
    return entry.member.name != refused_;
  }
  bool BeginStored(const InventoryMember& entry) override {
    trace += "stored " + entry.member.name;
    bytes_ = 0;
    return true;
  }
  void EndStored(const InventoryMember&, const std::optional<Problem>& problem) override {
    trace += Ending(problem);
  }
  bool BeginPackage(const InventoryMember& entry,
                    const std::optional<Problem>& checksum_problem) override {
    trace += "package " + entry.member.name + (checksum_problem ? " damaged" : "") + "\n";
    return true;
  }
  bool BeginFile(const InventoryMember&, const PackageFile& file) override {
    trace += "file " + file.name;
    bytes_ = 0;
    return true;
  }
  void EndFile(const InventoryMember&, const PackageFile&, const DecodeOutcome&,
               const std::optional<Problem>& problem) override {
    trace += Ending(problem);
  }
  void Write(const uint8_t*, uint32_t count) override { bytes_ += count; }

  std::string trace;

 private:
  std::string Ending(const std::optional<Problem>& problem) const {
    if (!problem) return ": " + std::to_string(bytes_) + " bytes\n";
    const std::string text = ProblemText(*problem);
    return ": " + text.substr(0, text.find(" (")) + "\n";
  }

  std::string refused_;
  uint64_t bytes_ = 0;
};

// What each command asks of the pass reaches the sink, and nothing more: test reads and decodes
// everything, extract without --unpack copies packages whole, list decodes only the files whose
// record leaves out the size; a member the sink refuses is not read at all.
TEST(ToolDecodePass, EachModeReadsWhatItAsksFor) {
  std::vector<package::PackageEntry> files(2);
  files[0].name = "x.txt";
  files[0].data = std::vector<uint8_t>(5, 'x');
  files[1].name = "y.txt";
  files[1].data = std::vector<uint8_t>(3000, 'y');
  std::vector<uint8_t> package;
  std::string error;
  ASSERT_TRUE(package::BuildPackage(files, package::PackOptions{}, &package, &error)) << error;
  const size_t second_record =
      package::kHeaderSize + package::kRecordSize +
      (package[package::kHeaderSize + package::kRecordCompressedSizeAt] |
       package[package::kHeaderSize + package::kRecordCompressedSizeAt + 1] << 8);
  // y.txt's record leaves its size out.
  std::fill_n(&package[second_record + package::kRecordUncompressedSizeAt], 4, 0);
  const size_t package_size = package.size();
  testing_support::TempDir dir;
  const std::string path = dir.Join("setup.exe");
  std::vector<archive::NewMember> members(2);
  members[0].name = "a.txt";
  members[0].data = {'a', 'b', 'c'};
  members[1].name = "p.shr";
  members[1].data = package;
  const size_t kImageSize = 64;
  ASSERT_TRUE(
      archive::WriteInstallerFile(path, std::vector<uint8_t>(kImageSize, 'M'), members, &error))
      << error;

  const std::string test_trace =
      "member a.txt\nstored a.txt: 3 bytes\nmember p.shr\npackage p.shr\nfile x.txt: 5 bytes\n"
      "file y.txt: 3000 bytes\n";
  const struct {
    const char* what;
    bool read_members, unpack, only_unsized, damaged;
    std::string refused;
    std::string trace;
  } cases[] = {
      {"test", true, true, false, false, "", test_trace},
      {"extract", true, false, false, false, "",
       "member a.txt\nstored a.txt: 3 bytes\nmember p.shr\nstored p.shr: " +
           std::to_string(package_size) + " bytes\n"},
      {"list", false, true, true, false, "",
       "member a.txt\nmember p.shr\npackage p.shr\nfile y.txt: 3000 bytes\n"},
      {"refused", true, true, false, false, "p.shr",
       "member a.txt\nstored a.txt: 3 bytes\nmember p.shr\n"},
      {"damaged", true, true, false, true, "",
       "member a.txt\nstored a.txt: its data does not match its checksum\nmember p.shr\n"
       "package p.shr damaged\nfile x.txt: 5 bytes\nfile y.txt: 3000 bytes\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<uint8_t> bytes = testing_support::ReadFile(path);
    if (c.damaged) {  // a.txt's first byte, and a header value of the package no reader checks
      bytes[kImageSize + archive::kEntryHeaderSize] ^= 1;
      bytes[kImageSize + size_t{2} * archive::kEntryHeaderSize + 3 + package::kHeaderValue14At] ^=
          1;
    }
    testing_support::WriteFile(path + ".run", bytes);
    InputFile file(path + ".run");
    const Inventory inventory = TakeInventory(file);
    PassMode mode;
    mode.read_members = c.read_members;
    mode.unpack = c.unpack;
    mode.only_unsized_files = c.only_unsized;
    mode.quiet = true;
    TracingSink sink(c.refused);
    RunDecodePass(file, AllMembers(inventory), mode, sink);
    EXPECT_EQ(sink.trace, c.trace);
  }
}

}  // namespace
}  // namespace tool
