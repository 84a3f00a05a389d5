// tovalin test: reads every member and decodes every file of every package, writing nothing, and
// says what is not whole.
#include <cstdio>
#include <optional>
#include <string>

#include "tools/command.h"
#include "tools/decode_pass.h"
#include "tools/display.h"
#include "tools/input_file.h"
#include "tools/inventory.h"
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

// Says every problem the pass meets, and counts.
class Tester : public PassSink {
 public:
  explicit Tester(const std::string& path) : path_(path) {}

  bool BeginMember(const InventoryMember& entry) override {
    for (const Problem& problem : entry.problems)
      Report(problem);
    return true;
  }

  void EndStored(const InventoryMember&, const std::optional<Problem>& problem) override {
    if (problem) Report(*problem);
  }

  bool BeginPackage(const InventoryMember& entry,
                    const std::optional<Problem>& checksum_problem) override {
    if (checksum_problem) Report(*checksum_problem);
    ++package_count_;
    for (const Problem& problem : entry.package.problems)
      Report(problem);
    return true;
  }

  bool BeginFile(const InventoryMember& entry, const PackageFile& file) override {
    ++file_count_;
    if (!file.name_terminated) {
      Report(InFile(MakeProblem(ProblemCode::kNameUnterminated), entry.member.name, file.name));
    }
    return true;
  }

  void EndFile(const InventoryMember&, const PackageFile&, const DecodeOutcome&,
               const std::optional<Problem>& problem) override {
    if (problem) Report(*problem);
  }

  void Report(const Problem& problem) {
    ++problem_count_;
    if (progress() != nullptr) progress()->Clear();
    std::printf("%s: %s\n", path_.c_str(), DescribeProblem(problem).c_str());
  }

  uint64_t problem_count() const { return problem_count_; }
  uint64_t package_count() const { return package_count_; }
  uint64_t file_count() const { return file_count_; }

 private:
  const std::string& path_;
  uint64_t problem_count_ = 0;
  uint64_t package_count_ = 0;
  uint64_t file_count_ = 0;
};

int RunTest(const ParsedCommandLine& command_line) {
  if (command_line.operands.size() != 1) throw UsageError("give exactly one INSTALLER");
  InputFile file(command_line.operands[0]);
  const Inventory inventory = TakeInventory(file);
  Tester tester(file.path());
  PassMode mode;
  mode.quiet = command_line.Has("quiet");
  RunDecodePass(file, AllMembers(inventory), mode, tester);
  if (inventory.chain_problem) tester.Report(*inventory.chain_problem);

  std::string summary = file.path() + ": " + CountOf(inventory.members.size(), "member") + ", " +
                        CountOf(tester.package_count(), "package") + ", " +
                        CountOf(tester.file_count(), "packed file") + ": ";
  summary += tester.problem_count() == 0 ? "all whole" : CountOf(tester.problem_count(), "problem");
  std::printf("%s\n", summary.c_str());
  return tester.problem_count() == 0 ? kExitSuccess : kExitFailure;
}

}  // namespace

const Command kTestCommand{"test",
                           "check that every member and packed file is whole",
                           kHelp,
                           {kHelpOption, kQuietOption},
                           RunTest};

}  // namespace tool
