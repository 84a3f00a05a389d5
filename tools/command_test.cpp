// tovalin test: reads every member and decodes every file of every package, writing nothing, and
// says what is not whole.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "implode/implode.h"
#include "tools/command.h"
#include "tools/display.h"
#include "tools/input_file.h"
#include "tools/installer_view.h"
#include "tools/package_view.h"
#include "tools/progress_bar.h"
#include "tools/tool_error.h"

namespace tool {
namespace {

const char kHelp[] =
    "Usage: tovalin test [--quiet] INSTALLER\n"
    "\n"
    "Reads every member of INSTALLER and decodes every file of every package member without\n"
    "writing anything. Each problem found is one line on standard output that names the\n"
    "member, the file and what is wrong: a broken member chain, data past the end of the file,\n"
    "a member that does not match the checksum the installer records for it, a short package,\n"
    "a bad stream header, a truncated stream, a copy that reaches back before its stream's\n"
    "first byte, a size that differs from the record. A last line sums up.\n"
    "\n"
    "A package member is one whose name ends in \".shr\", or whose bytes make a whole package.\n"
    "\n"
    "Options:\n"
    "  -q, --quiet  no progress bar\n"
    "  -h, --help   show this help\n"
    "\n"
    "Exit status: 0 all whole, 1 a problem found (or not an installer), 2 wrong command line.\n";

class Tester {
 public:
  Tester(InputFile& file, bool quiet) : file_(file), quiet_(quiet) {}

  int Run() {
    InstallerView view = ReadInstaller(file_);
    std::vector<PackageView> packages(view.members.size());
    std::vector<bool> is_package(view.members.size(), false);
    uint64_t work_total = 0;
    for (size_t i = 0; i < view.members.size(); ++i) {
      const MemberInfo& member = view.members[i];
      if (!member.data_within_file) continue;
      work_total += member.size;
      packages[i] = ReadPackage(file_, member.data_offset, member.size);
      is_package[i] = IsPackageMember(member, packages[i]);
      // A package's checksum takes a read of its own besides the decoding.
      if (is_package[i] && member.checksum_known) work_total += member.size;
    }

    ProgressBar progress(ProgressBar::Wanted(quiet_), work_total);
    for (size_t i = 0; i < view.members.size(); ++i) {
      const MemberInfo& member = view.members[i];
      progress.SetLabel(member.name);
      if (is_package[i]) {
        TestPackage(member, packages[i], &progress);
      } else {
        TestMember(member, &progress);
      }
    }
    if (!view.chain_problem.empty()) Problem(view.chain_problem);
    progress.Finish();

    std::string summary = file_.path() + ": " + CountOf(view.members.size(), "member") + ", " +
                          CountOf(package_count_, "package") + ", " +
                          CountOf(file_count_, "packed file") + ": ";
    summary += problem_count_ == 0 ? "all whole" : CountOf(problem_count_, "problem");
    std::printf("%s\n", summary.c_str());
    return problem_count_ == 0 ? kExitSuccess : kExitFailure;
  }

 private:
  void Problem(const std::string& text) {
    ++problem_count_;
    std::printf("%s: %s\n", file_.path().c_str(), text.c_str());
  }

  std::string Named(const MemberInfo& member) { return PrintableName(member.name) + ": "; }

  // Problems that every member can have; false when its data cannot be read at all.
  bool CheckMember(const MemberInfo& member) {
    if (!member.name_terminated) Problem(Named(member) + "its name field holds no terminating NUL");
    if (!member.data_within_file) {
      Problem(Named(member) + "its " + std::to_string(member.size) + " bytes of data at offset " +
              std::to_string(member.data_offset) + " run past the end of the file (" +
              std::to_string(file_.size()) + " bytes)");
      return false;
    }
    return true;
  }

  // Reads the member's data and compares it with its checksum, where it has one. False when the
  // data cannot be read.
  bool CheckData(const MemberInfo& member, ProgressBar* progress) {
    uint32_t crc = 0;
    if (!ComputeMemberChecksum(file_, member, &crc, progress)) {
      Problem(Named(member) + "its data cannot be read");
      return false;
    }
    if (member.checksum_known && crc != member.checksum) {
      Problem(Named(member) + "its data does not match its checksum (CRC-32 " + Hex(crc) +
              ", recorded " + Hex(member.checksum) + "): the installer is damaged");
    }
    return true;
  }

  static std::string Hex(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "%08X", value);
    return text;
  }

  void TestMember(const MemberInfo& member, ProgressBar* progress) {
    if (CheckMember(member)) CheckData(member, progress);
  }

  void TestPackage(const MemberInfo& member, const PackageView& package, ProgressBar* progress) {
    if (!CheckMember(member)) return;
    if (member.checksum_known) CheckData(member, progress);
    ++package_count_;
    for (const std::string& problem : package.problems)
      Problem(Named(member) + problem);
    if (!work_) work_ = std::make_unique<ImplodeWorkArea>();
    const ByteSink discard = [](const uint8_t*, uint32_t) {};
    uint64_t read = 0;
    for (const PackageFile& entry : package.files) {
      ++file_count_;
      std::string where = Named(member) + PrintableName(entry.name) + ": ";
      if (!entry.name_terminated) Problem(where + "its name field holds no terminating NUL");
      DecodeOutcome outcome = DecodePackageFile(file_, entry, work_.get(), discard, progress);
      read += entry.compressed_size;
      std::string problem = DescribeDecodeProblem(outcome, entry);
      if (!problem.empty()) Problem(where + problem);
    }
    // Headers, records and whatever the decoder left unread count as done too.
    if (member.size > read) progress->Advance(member.size - read);
  }

  InputFile& file_;
  bool quiet_;
  std::unique_ptr<ImplodeWorkArea> work_;
  uint64_t problem_count_ = 0;
  uint64_t package_count_ = 0;
  uint64_t file_count_ = 0;
};

int RunTest(const ParsedCommandLine& command_line) {
  if (command_line.operands.size() != 1) throw UsageError("give exactly one INSTALLER");
  InputFile file(command_line.operands[0]);
  return Tester(file, command_line.Has("quiet")).Run();
}

}  // namespace

const Command kTestCommand{"test",
                           "check that every member and packed file is whole",
                           kHelp,
                           {kHelpOption, kQuietOption},
                           RunTest};

}  // namespace tool
