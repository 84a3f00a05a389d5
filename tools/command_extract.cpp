// tovalin extract: writes members (and with --unpack the files inside packages) into a folder,
// with their recorded times, never outside that folder.
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tools/command.h"
#include "tools/decode_pass.h"
#include "tools/display.h"
#include "tools/input_file.h"
#include "tools/inventory.h"
#include "tools/output_file.h"
#include "tools/progress_bar.h"
#include "tools/safe_name.h"
#include "tools/tool_error.h"

namespace tool {
namespace {

const char kHelp[] =
    "Usage: tovalin extract [-d DIR] [--unpack] [--force] [--quiet] INSTALLER [NAME ...]\n"
    "\n"
    "Writes the members of INSTALLER into DIR, each with the date and time its entry header\n"
    "records (UTC, as the launcher reads loose files). With NAMEs, only the members of those\n"
    "names are written; names are matched without regard to ASCII case, as the launcher does.\n"
    "Where two members share a name, the first along the chain is written: it is the one the\n"
    "launcher reads.\n"
    "\n"
    "Options:\n"
    "  -d, --directory DIR  the folder to write into (default: the current folder); made when\n"
    "                       missing\n"
    "  -u, --unpack         write each package member's files, with their recorded times, into\n"
    "                       DIR/<package name>/ instead of the package file itself\n"
    "  -f, --force          replace files that exist (otherwise they are left alone and\n"
    "                       reported), and write members that do not match their checksum\n"
    "                       (otherwise they are refused)\n"
    "  -q, --quiet          no progress bar, no list of the files written\n"
    "  -h, --help           show this help\n"
    "\n"
    "Nothing is written outside DIR: a member or packed file whose name holds \"..\", a drive,\n"
    "a \"\\\" or \"/\", a control character, or no terminating NUL is refused, and so is an\n"
    "empty name and one that ends in a dot or a blank (Windows would drop them). A file that\n"
    "cannot be written whole is removed again.\n"
    "Exit status: 0 all written, 1 something refused or failed, 2 wrong command line.\n";

// Writes what the pass hands over into the folder, and refuses what must not be written.
class Extractor : public PassSink {
 public:
  Extractor(const std::string& path, const ParsedCommandLine& command_line)
      : path_(path),
        folder_(command_line.Value("directory", ".")),
        unpack_(command_line.Has("unpack")),
        force_(command_line.Has("force")),
        quiet_(command_line.Has("quiet")),
        wanted_(command_line.operands.begin() + 1, command_line.operands.end()) {}

  int Run(InputFile& file) {
    const Inventory inventory = TakeInventory(file);
    std::vector<const InventoryMember*> chosen = Choose(inventory);
    if (inventory.chain_problem) Error(DescribeProblem(*inventory.chain_problem));
    MakeFolders(folder_);
    PassMode mode;
    mode.unpack = unpack_;
    mode.quiet = quiet_;
    RunDecodePass(file, chosen, mode, *this);
    if (!quiet_) {
      std::printf("%s written to %s\n", CountOf(written_, "file").c_str(), folder_.c_str());
    }
    return error_count_ == 0 ? kExitSuccess : kExitFailure;
  }

  bool BeginMember(const InventoryMember& entry) override {
    const MemberInfo& member = entry.member;
    std::string why = WhyNameIsUnsafe(member.name, member.name_terminated);
    if (!why.empty()) {
      Error("member \"" + PrintableName(member.name) + "\" refused: " + why);
      return false;
    }
    for (const Problem& problem : entry.problems) {
      Error(PrintableName(member.name) + ": refused: " + ProblemText(problem));
    }
    return entry.problems.empty();
  }

  bool BeginStored(const InventoryMember& entry) override {
    return Open(JoinPath(folder_, entry.member.name));
  }

  void EndStored(const InventoryMember& entry, const std::optional<Problem>& problem) override {
    if (WriteFailed()) return;
    const bool unreadable = problem && problem->code == ProblemCode::kDataUnreadable;
    if (unreadable) Error(DescribeProblem(*problem));
    if (unreadable || !AcceptChecksum(problem)) {
      out_.reset();  // which removes the file
      return;
    }
    Finish(entry.member.dos_date, entry.member.dos_time);
  }

  bool BeginPackage(const InventoryMember& entry,
                    const std::optional<Problem>& checksum_problem) override {
    // A package whose data cannot be read is left to the decoding to report.
    if (!AcceptChecksum(checksum_problem)) return false;
    for (const Problem& problem : entry.package.problems)
      Error(DescribeProblem(problem));
    package_folder_ = JoinPath(folder_, entry.member.name);
    try {
      MakeFolders(package_folder_);
    } catch (const Failure& failure) {
      Error(failure.what());
      return false;
    }
    return true;
  }

  bool BeginFile(const InventoryMember& entry, const PackageFile& file) override {
    std::string why = WhyNameIsUnsafe(file.name, file.name_terminated);
    if (!why.empty()) {
      Error(PrintableName(entry.member.name) + ": packed file \"" + PrintableName(file.name) +
            "\" refused: " + why);
      return false;
    }
    return Open(JoinPath(package_folder_, file.name));
  }

  void EndFile(const InventoryMember&, const PackageFile& file, const DecodeOutcome&,
               const std::optional<Problem>& problem) override {
    if (WriteFailed()) return;
    if (problem) {
      Error(DescribeProblem(*problem));
      out_.reset();
      return;
    }
    Finish(file.dos_date, file.dos_time);
  }

  void Write(const uint8_t* bytes, uint32_t count) override {
    // Nothing may be thrown through the decoder: a failed write is kept until the file ends.
    if (!out_ || !write_error_.empty()) return;
    try {
      out_->Write(bytes, count);
    } catch (const Failure& failure) {
      write_error_ = failure.what();
    }
  }

 private:
  // A line on standard error, in place of the progress bar.
  void Say(const std::string& text) {
    if (progress() != nullptr) progress()->Clear();
    ReportError(text);
  }

  void Error(const std::string& text) {
    ++error_count_;
    Say(path_ + ": " + text);
  }

  // The members to write, in chain order: all, or those named; of several with one name, the
  // first.
  std::vector<const InventoryMember*> Choose(const Inventory& inventory) {
    std::vector<bool> found(wanted_.size(), false);
    std::vector<const InventoryMember*> chosen;
    for (const InventoryMember& entry : inventory.members) {
      const MemberInfo& member = entry.member;
      bool wanted = wanted_.empty();
      for (size_t i = 0; i < wanted_.size(); ++i) {
        if (SameMemberName(member.name, wanted_[i])) wanted = found[i] = true;
      }
      if (!wanted) continue;
      bool shadowed = false;
      for (const InventoryMember* earlier : chosen) {
        shadowed = shadowed || SameMemberName(earlier->member.name, member.name);
      }
      if (shadowed) {
        Say(path_ + ": " + PrintableName(member.name) +
            ": skipped: an earlier member has the same name, and the launcher reads only that "
            "one");
        continue;
      }
      chosen.push_back(&entry);
    }
    for (size_t i = 0; i < wanted_.size(); ++i) {
      if (!found[i]) Error("no member named \"" + PrintableName(wanted_[i]) + "\"");
    }
    return chosen;
  }

  // Creates the file the next bytes go to; false, with the error said, when it cannot be.
  bool Open(const std::string& path) {
    write_error_.clear();
    try {
      out_ = std::make_unique<OutputFile>(path, force_);
      return true;
    } catch (const Failure& failure) {
      Error(failure.what());
      return false;
    }
  }

  // Whether the file being written failed; then it is said and dropped.
  bool WriteFailed() {
    if (write_error_.empty()) return false;
    Error(write_error_);
    out_.reset();
    return true;
  }

  // Whether data whose checksum check found problem may be written: when it matches (or nothing
  // is recorded), or with --force, which writes it with a warning.
  bool AcceptChecksum(const std::optional<Problem>& problem) {
    if (!problem || problem->code != ProblemCode::kChecksumMismatch) return true;
    const std::string what = DescribeProblem(*problem);
    if (!force_) {
      Error(what + "; not written (--force writes it all the same)");
      return false;
    }
    Say(path_ + ": warning: " + what + "; written all the same (--force)");
    return true;
  }

  void Finish(uint32_t dos_date, uint32_t dos_time) {
    if (!out_->Commit(dos_date, dos_time)) {
      Say(out_->path() + ": warning: cannot set its time to " + FormatDosDate(dos_date) + " " +
          FormatDosTime(dos_time));
    }
    ++written_;
    if (!quiet_) {
      if (progress() != nullptr) progress()->Clear();
      std::printf("%s\n", PrintableName(out_->path()).c_str());
    }
    out_.reset();
  }

  const std::string& path_;
  std::string folder_;
  bool unpack_;
  bool force_;
  bool quiet_;
  std::vector<std::string> wanted_;
  std::string package_folder_;       // where the files of the package being unpacked go
  std::unique_ptr<OutputFile> out_;  // the file being written
  std::string write_error_;          // why writing it failed
  uint64_t written_ = 0;
  uint64_t error_count_ = 0;
};

int RunExtract(const ParsedCommandLine& command_line) {
  if (command_line.operands.empty()) throw UsageError("give the INSTALLER to extract from");
  if (command_line.Has("directory") && command_line.Value("directory").empty()) {
    throw UsageError("the folder given with --directory is empty");
  }
  InputFile file(command_line.operands[0]);
  return Extractor(file.path(), command_line).Run(file);
}

}  // namespace

const Command kExtractCommand{"extract",
                              "write members (or the files in packages) into a folder",
                              kHelp,
                              {kHelpOption,
                               kQuietOption,
                               {"directory", 'd', true},
                               {"unpack", 'u', false},
                               {"force", 'f', false}},
                              RunExtract};

}  // namespace tool
