// tovalin extract: writes members (and with --unpack the files inside packages) into a folder,
// with their recorded times, never outside that folder.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "base/crc32.h"
#include "implode/implode.h"
#include "tools/command.h"
#include "tools/display.h"
#include "tools/input_file.h"
#include "tools/installer_view.h"
#include "tools/output_file.h"
#include "tools/package_view.h"
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

class Extractor {
 public:
  Extractor(InputFile& file, const ParsedCommandLine& command_line)
      : file_(file),
        folder_(command_line.Value("directory", ".")),
        unpack_(command_line.Has("unpack")),
        force_(command_line.Has("force")),
        quiet_(command_line.Has("quiet")),
        wanted_(command_line.operands.begin() + 1, command_line.operands.end()) {}

  int Run() {
    InstallerView view = ReadInstaller(file_);
    std::vector<const MemberInfo*> chosen = Choose(view);
    if (!view.chain_problem.empty()) Error(view.chain_problem);
    MakeFolders(folder_);

    uint64_t work_total = 0;
    for (const MemberInfo* member : chosen) {
      if (member->data_within_file) work_total += member->size;
    }
    ProgressBar progress(ProgressBar::Wanted(quiet_), work_total);
    progress_ = &progress;
    for (const MemberInfo* member : chosen) {
      progress.SetLabel(member->name);
      ExtractMember(*member);
    }
    progress.Finish();
    progress_ = nullptr;
    if (!quiet_) {
      std::printf("%s written to %s\n", CountOf(written_, "file").c_str(), folder_.c_str());
    }
    return error_count_ == 0 ? kExitSuccess : kExitFailure;
  }

 private:
  void Error(const std::string& text) {
    ++error_count_;
    if (progress_ != nullptr) progress_->Clear();
    ReportError(file_.path() + ": " + text);
  }

  // The members to write, in chain order: all, or those named; of several with one name, the
  // first.
  std::vector<const MemberInfo*> Choose(const InstallerView& view) {
    std::vector<bool> found(wanted_.size(), false);
    std::vector<const MemberInfo*> chosen;
    for (const MemberInfo& member : view.members) {
      bool wanted = wanted_.empty();
      for (size_t i = 0; i < wanted_.size(); ++i) {
        if (SameMemberName(member.name, wanted_[i])) wanted = found[i] = true;
      }
      if (!wanted) continue;
      bool shadowed = false;
      for (const MemberInfo* earlier : chosen) {
        shadowed = shadowed || SameMemberName(earlier->name, member.name);
      }
      if (shadowed) {
        std::fflush(stdout);
        std::fprintf(stderr,
                     "tovalin: %s: %s: skipped: an earlier member has the same name, and the "
                     "launcher reads only that one\n",
                     file_.path().c_str(), PrintableName(member.name).c_str());
        continue;
      }
      chosen.push_back(&member);
    }
    for (size_t i = 0; i < wanted_.size(); ++i) {
      if (!found[i]) Error("no member named \"" + PrintableName(wanted_[i]) + "\"");
    }
    return chosen;
  }

  void ExtractMember(const MemberInfo& member) {
    std::string why = WhyNameIsUnsafe(member.name, member.name_terminated);
    if (!why.empty()) {
      Error("member \"" + PrintableName(member.name) + "\" refused: " + why);
      return;
    }
    if (!member.data_within_file) {
      Error(member.name + ": refused: its data runs past the end of the file");
      return;
    }
    if (unpack_) {
      PackageView package = ReadPackage(file_, member.data_offset, member.size);
      if (IsPackageMember(member, package)) {
        Unpack(member, package);
        return;
      }
    }
    try {
      OutputFile out(JoinPath(folder_, member.name), force_);
      RangeReader reader(file_, member.data_offset, member.size);
      std::vector<uint8_t> block(size_t{64} * 1024);
      uint32_t crc = text::kCrc32Start;
      int32_t got;
      while ((got = reader.Read(block.data(), static_cast<uint32_t>(block.size()))) > 0) {
        out.Write(block.data(), static_cast<uint32_t>(got));
        crc = text::UpdateCrc32(crc, block.data(), static_cast<size_t>(got));
        progress_->Advance(static_cast<uint64_t>(got));
      }
      if (got < 0) throw Failure(member.name + ": its data cannot be read");
      if (!AcceptChecksum(member, crc)) return;  // the file goes with out
      Finish(out, member.dos_date, member.dos_time);
    } catch (const Failure& failure) {
      Error(failure.what());
    }
  }

  // Whether a member whose data has the checksum crc may be written: when it matches what the
  // installer records (or nothing is recorded), or with --force, which writes it with a warning.
  bool AcceptChecksum(const MemberInfo& member, uint32_t crc) {
    if (!member.checksum_known || crc == member.checksum) return true;
    const std::string what = PrintableName(member.name) +
                             ": its data does not match its checksum: the installer is damaged";
    if (!force_) {
      Error(what + "; not written (--force writes it all the same)");
      return false;
    }
    progress_->Clear();
    std::fflush(stdout);
    std::fprintf(stderr, "tovalin: %s: warning: %s; written all the same (--force)\n",
                 file_.path().c_str(), what.c_str());
    return true;
  }

  void Unpack(const MemberInfo& member, const PackageView& package) {
    uint32_t crc = 0;
    // The check is a read of its own: a package's files are decoded, not copied.
    if (member.checksum_known && ComputeMemberChecksum(file_, member, &crc, nullptr) &&
        !AcceptChecksum(member, crc)) {
      progress_->Advance(member.size);
      return;
    }
    for (const std::string& problem : package.problems)
      Error(member.name + ": " + problem);
    std::string folder = JoinPath(folder_, member.name);
    try {
      MakeFolders(folder);
    } catch (const Failure& failure) {
      Error(failure.what());
      return;
    }
    if (!work_) work_ = std::make_unique<ImplodeWorkArea>();
    uint64_t read = 0;
    for (const PackageFile& entry : package.files) {
      read += entry.compressed_size;
      std::string why = WhyNameIsUnsafe(entry.name, entry.name_terminated);
      if (!why.empty()) {
        Error(member.name + ": packed file \"" + PrintableName(entry.name) + "\" refused: " + why);
        continue;
      }
      try {
        OutputFile out(JoinPath(folder, entry.name), force_);
        // Nothing may be thrown through the decoder: a failed write is kept until it returns.
        std::string write_error;
        const ByteSink sink = [&out, &write_error](const uint8_t* bytes, uint32_t count) {
          if (!write_error.empty()) return;
          try {
            out.Write(bytes, count);
          } catch (const Failure& failure) {
            write_error = failure.what();
          }
        };
        DecodeOutcome outcome = DecodePackageFile(file_, entry, work_.get(), sink, progress_);
        if (!write_error.empty()) throw Failure(write_error);
        std::string problem = DescribeDecodeProblem(outcome, entry);
        if (!problem.empty()) throw Failure(member.name + ": " + entry.name + ": " + problem);
        Finish(out, entry.dos_date, entry.dos_time);
      } catch (const Failure& failure) {
        Error(failure.what());
      }
    }
    if (member.size > read) progress_->Advance(member.size - read);
  }

  void Finish(OutputFile& out, uint32_t dos_date, uint32_t dos_time) {
    if (!out.Commit(dos_date, dos_time)) {
      progress_->Clear();
      std::fflush(stdout);
      std::fprintf(stderr, "tovalin: %s: warning: cannot set its time to %s %s\n",
                   out.path().c_str(), FormatDosDate(dos_date).c_str(),
                   FormatDosTime(dos_time).c_str());
    }
    ++written_;
    if (!quiet_) {
      progress_->Clear();
      std::printf("%s\n", PrintableName(out.path()).c_str());
    }
  }

  InputFile& file_;
  std::string folder_;
  bool unpack_;
  bool force_;
  bool quiet_;
  std::vector<std::string> wanted_;
  ProgressBar* progress_ = nullptr;
  std::unique_ptr<ImplodeWorkArea> work_;
  uint64_t written_ = 0;
  uint64_t error_count_ = 0;
};

int RunExtract(const ParsedCommandLine& command_line) {
  if (command_line.operands.empty()) throw UsageError("give the INSTALLER to extract from");
  if (command_line.Has("directory") && command_line.Value("directory").empty()) {
    throw UsageError("the folder given with --directory is empty");
  }
  InputFile file(command_line.operands[0]);
  return Extractor(file, command_line).Run();
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
