// tovalin list: the members of an installer, and with --packages the files inside its packages.
#include <optional>
#include <string>
#include <vector>

#include "tools/command.h"
#include "tools/decode_pass.h"
#include "tools/input_file.h"
#include "tools/inventory.h"
#include "tools/listing.h"
#include "tools/resource_view.h"
#include "tools/tool_error.h"

namespace tool {
namespace {

const char kHelp[] =
    "Usage: tovalin list [--packages] [--resources] [--json] [--quiet] INSTALLER\n"
    "\n"
    "Lists the members of INSTALLER's payload archive in chain order (the order in which the\n"
    "launcher looks them up): size in bytes, DOS date and time (UTC), attributes and name.\n"
    "The last lines tell whether the installer carries checksums of its members, and whether\n"
    "it is signed and where its certificate table lies.\n"
    "\n"
    "Options:\n"
    "  -p, --packages   also list the files inside each package member: packed size, size,\n"
    "                   date, time and name. Where a record does not give the size, the\n"
    "                   file is decoded to learn it.\n"
    "  -r, --resources  also show what the launcher's resources say, before the members:\n"
    "                   the icon groups with their images' sizes and colour depths, the\n"
    "                   version numbers and strings, the execution level the manifest\n"
    "                   requests, and the other resources by type and name\n"
    "      --json       print the same as one JSON document. Names are written byte for\n"
    "                   byte, bytes from 0x80 up as \\u0080 to \\u00FF; resource texts,\n"
    "                   which are UTF-16, as their characters.\n"
    "  -q, --quiet      no progress bar\n"
    "  -h, --help       show this help\n"
    "\n"
    "Problems (a broken member chain, data past the end of the file, a damaged package) are\n"
    "reported on standard error after what could be listed.\n"
    "Exit status: 0 listed, 1 not an installer or damaged, 2 wrong command line.\n";

// Learns the decoded size of each file whose record leaves it out, by decoding it into nowhere.
class SizeCounter : public PassSink {
 public:
  explicit SizeCounter(Listing* listing) : listing_(listing) {}

  void EndFile(const InventoryMember& entry, const PackageFile& file, const DecodeOutcome& outcome,
               const std::optional<Problem>& problem) override {
    if (problem) {
      listing_->problems.push_back(DescribeProblem(*problem));
      return;
    }
    // The pass hands over the inventory's own records: where they sit tells which file it is.
    const size_t member = static_cast<size_t>(&entry - listing_->inventory.members.data());
    const size_t index = static_cast<size_t>(&file - entry.package.files.data());
    listing_->sizes[member][index] = {outcome.decoded_size, true};
  }

 private:
  Listing* listing_;
};

Listing MakeListing(InputFile& file, bool with_packages, bool with_resources, bool quiet) {
  Listing listing;
  listing.inventory = TakeInventory(file);
  listing.with_packages = with_packages;
  listing.with_resources = with_resources;
  if (with_resources) {
    listing.resources = ReadResources(file);
    listing.problems = listing.resources.problems;
  }
  for (const InventoryMember& entry : listing.inventory.members) {
    for (const Problem& problem : entry.problems)
      listing.problems.push_back(DescribeProblem(problem));
    std::vector<ListedSize> sizes;
    for (const PackageFile& packed : entry.package.files)
      sizes.push_back({packed.uncompressed_size, packed.uncompressed_size != 0});
    listing.sizes.push_back(sizes);
    if (!with_packages) continue;
    for (const Problem& problem : entry.package.problems)
      listing.problems.push_back(DescribeProblem(problem));
  }
  if (listing.inventory.chain_problem) {
    listing.problems.push_back(DescribeProblem(*listing.inventory.chain_problem));
  }
  if (with_packages) {
    PassMode mode;
    mode.read_members = false;
    mode.only_unsized_files = true;
    mode.quiet = quiet;
    SizeCounter counter(&listing);
    RunDecodePass(file, AllMembers(listing.inventory), mode, counter);
  }
  return listing;
}

int RunList(const ParsedCommandLine& command_line) {
  if (command_line.operands.size() != 1) throw UsageError("give exactly one INSTALLER");
  bool with_packages = command_line.Has("packages");
  InputFile file(command_line.operands[0]);
  Listing listing =
      MakeListing(file, with_packages, command_line.Has("resources"), command_line.Has("quiet"));
  if (command_line.Has("json")) {
    PrintListingJson(listing);
  } else {
    PrintListingText(listing);
  }
  for (const std::string& problem : listing.problems)
    ReportError(file.path() + ": " + problem);
  return listing.problems.empty() ? kExitSuccess : kExitFailure;
}

}  // namespace

const Command kListCommand{"list",
                           "list the members of an installer (and the files in its packages)",
                           kHelp,
                           {kHelpOption,
                            kQuietOption,
                            {"packages", 'p', false},
                            {"resources", 'r', false},
                            {"json", 0, false}},
                           RunList};

}  // namespace tool
