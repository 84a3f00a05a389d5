// tovalin build: an installer made of a launcher stub and a payload archive of the given files.
#include <cstdio>
#include <string>
#include <vector>

#include "archive/archive_writer.h"
#include "pe/certificate_table.h"
#include "pe_resources/resource_edit.h"
#include "platform/files.h"
#include "tools/build_config.h"
#include "tools/command.h"
#include "tools/display.h"
#include "tools/host.h"
#include "tools/input_file.h"
#include "tools/installed_stub.h"
#include "tools/installer_view.h"
#include "tools/progress_bar.h"
#include "tools/resource_options.h"
#include "tools/source_argument.h"
#include "tools/source_date.h"
#include "tools/tool_error.h"

namespace tool {
namespace {

const char kHelp[] =
    "Usage: tovalin build -o SETUP [--stub LAUNCHER] [--icon ICONFILE]\n"
    "                     [--version-info KEY=VALUE ...] [--execution-level LEVEL]\n"
    "                     [--force] MEMBER|NAME=PATH ...\n"
    "\n"
    "Writes SETUP: the bytes of LAUNCHER, then a payload archive of the given files in the\n"
    "order given (the launcher's lookup order), then the member directory and the archive\n"
    "trailer. A MEMBER is a file path, stored under its file name; NAME=PATH stores the file\n"
    "at PATH under NAME. Each member carries its file's last-write time (UTC) as DOS date and\n"
    "time, and the archive attribute. With SOURCE_DATE_EPOCH set (seconds since 1970-01-01\n"
    "UTC, digits only), a time later than it is stored as it, so that the same inputs build\n"
    "the same bytes whenever the files were touched.\n"
    "\n"
    "--icon, --version-info and --execution-level change the launcher's resources in SETUP,\n"
    "never LAUNCHER itself; its resource section is rewritten, with the dialog, the strings\n"
    "and everything else it held. LAUNCHER must then have a resource section.\n"
    "\n"
    "SETUP's length is a multiple of 8, so a signing tool (osslsigncode, signtool) appends its\n"
    "certificate table right behind it; sign SETUP after building it. A signed LAUNCHER or\n"
    "installer is refused, and so is one whose headers name a certificate table that does\n"
    "not end it. SETUP may take at most 2,146,435,072 bytes (2 GiB, less room for a\n"
    "signature); ship larger members as loose files beside it, where the launcher finds them.\n"
    "\n"
    "A name must be a bare file name of at most 255 bytes whose extension has at most 7\n"
    "characters, with no \"\\\", \"/\" or \":\"; no name may be given twice (ASCII case is\n"
    "ignored, as in the launcher's lookups).\n"
    "\n"
    "Without --stub, build takes the launcher installed with tovalin, looked for from the\n"
    "folder that holds the running tovalin program: first\n"
    "  " TOVALIN_STUB_FROM_PROGRAM_FOLDER
    "\n"
    "then launcher.exe in that folder itself (tovalin.exe and launcher.exe unpacked side by\n"
    "side). When neither is there, build names both places and writes nothing.\n"
    "\n"
    "Options:\n"
    "  -o, --output SETUP    the installer to write\n"
    "  -s, --stub LAUNCHER   the launcher image to put in front (default: the installed one)\n"
    "  -i, --icon ICONFILE   the program's icon: every image of ICONFILE (an .ico file)\n"
    "                        takes the place of the icon group INSTALL, which Explorer and\n"
    "                        the progress dialog show\n"
    "      --version-info ENTRY\n"
    "                        version information: ENTRY is KEY=VALUE, one key per option,\n"
    "                        the keys Comments, CompanyName, FileDescription, FileVersion,\n"
    "                        InternalName, LegalCopyright, LegalTrademarks,\n"
    "                        OriginalFilename, PrivateBuild, ProductName, ProductVersion,\n"
    "                        SpecialBuild. VALUE is UTF-8 text. The numeric file and\n"
    "                        product versions come from the numbers FileVersion and\n"
    "                        ProductVersion start with (1 to 4 of them, as in 2.1 or\n"
    "                        2.1.0.7), each standing in for the other when only one is\n"
    "                        given\n"
    "      --execution-level LEVEL\n"
    "                        the launcher's manifest requests LEVEL of User Account\n"
    "                        Control too: asInvoker, highestAvailable or\n"
    "                        requireAdministrator. Without it the manifest requests no\n"
    "                        level, and Windows decides as for programs that request none:\n"
    "                        it asks for administrator rights when the file name or the\n"
    "                        version texts look like an installer's (\"setup\", \"install\")\n"
    "  -f, --force           replace SETUP if it exists\n"
    "  -q, --quiet           print nothing when all went well\n"
    "  -h, --help            show this help\n"
    "\n"
    "Exit status: 0 written, 1 a file cannot be read or written or is refused (a signed\n"
    "LAUNCHER, an icon file that is none, a LAUNCHER without resources), 2 wrong command\n"
    "line.\n";

archive::NewMember MemberFrom(const SourceArgument& source, const TimeClamp& clamp) {
  archive::NewMember member;
  member.name = source.name;
  member.source_path = source.path;
  member.attributes = archive::kDefaultMemberAttributes;
  // Members carry their time as the launcher reads loose files: the last write, in UTC.
  if (!platform::GetLastWriteDosDateTime(source.path.c_str(), &member.dos_date, &member.dos_time)) {
    throw Failure(source.path +
                  ": cannot read its last-write time as a DOS date (missing, not "
                  "a file, or dated outside 1980 to 2107)");
  }
  clamp.Apply(&member.dos_date, &member.dos_time);
  return member;
}

// The launcher's bytes with the resources the options ask for; the file stays as it is.
std::vector<uint8_t> EditedImage(InputFile& image, const pe::ResourceEdits& edits) {
  std::vector<uint8_t> bytes(image.size());
  if (!image.ReadAt(0, bytes.data(), image.size()))
    throw Failure(image.path() + ": cannot be read");
  std::vector<uint8_t> edited;
  std::string error;
  if (!pe::EditImageResources(bytes, edits, &edited, &error)) {
    throw Failure(image.path() +
                  ": cannot take the icon, version information or manifest: " + error);
  }
  return edited;
}

int RunBuild(const ParsedCommandLine& command_line) {
  std::string output = command_line.Value("output");
  std::string stub = command_line.Value("stub");
  if (output.empty()) throw UsageError("give the installer to write with -o SETUP");
  const TimeClamp clamp = TimeClamp::FromEnvironment();
  std::vector<SourceArgument> sources = ParseSourceArguments(command_line.operands);
  std::vector<std::string> inputs;
  if (command_line.Has(kIconOption.long_name)) {
    inputs.push_back(command_line.Value(kIconOption.long_name));
  }
  for (const SourceArgument& source : sources) {
    if (!archive::IsStorableMemberName(source.name)) {
      throw UsageError("\"" + source.name +
                       "\" cannot be a member name: it must be a bare file name of at most 255 "
                       "bytes with an extension of at most 7 characters");
    }
    inputs.push_back(source.path);
  }
  RefuseOverwritingInput(output, inputs);
  const pe::ResourceEdits edits = ResourceEditsFrom(command_line);
  // Only a command line that is right otherwise gets to looking for the installed stub.
  if (stub.empty()) stub = FindInstalledStub();
  RefuseOverwritingInput(output, {stub});

  std::vector<uint8_t> edited_image;
  {
    InputFile image(stub);
    // Signing comes last: a signature over the stub alone would not cover the installer, and
    // one over a whole installer would be broken by building on it. A certificate directory that
    // does not end the file signs nothing, but an installer built on it would carry it, and
    // signing reads that directory as the file's signature: refused as well.
    pe::CertificateTable table;
    if (pe::ReadCertificateTable(image.handle(), image.size(), &table)) {
      const std::string where = "a certificate table of " + std::to_string(table.size) +
                                " bytes at offset " + std::to_string(table.offset);
      if (pe::SignsFile(table, image.size())) {
        throw Failure(stub + ": is signed (" + where +
                      "); build from the unsigned launcher, and sign the installer after "
                      "building");
      }
      throw Failure(stub + ": its headers name " + where +
                    ", which does not end the file (changed after signing, or damaged); build "
                    "from the unsigned launcher");
    }
    if (HasArchiveTrailer(image)) {
      throw Failure(stub + ": already carries a payload archive; give the bare launcher");
    }
    if (edits.Any()) edited_image = EditedImage(image, edits);
  }
  std::vector<archive::NewMember> members;
  members.reserve(sources.size());
  for (const SourceArgument& source : sources)
    members.push_back(MemberFrom(source, clamp));

  if (EntryExists(output) && !command_line.Has("force")) {
    throw Failure(output + ": exists; use --force to replace it");
  }
  uint64_t total = 0;
  for (const SourceArgument& source : sources)
    total += InputFile(source.path).size();
  std::string error;
  ProgressBar progress(ProgressBar::Wanted(command_line.Has("quiet")), total);
  progress.SetLabel(output);
  const archive::WriteProgress advance = [&progress](uint64_t bytes) { progress.Advance(bytes); };
  int written = edits.Any()
                    ? archive::WriteInstallerFile(output, edited_image, members, &error, advance)
                    : archive::WriteInstallerFileFromImage(output, stub, members, &error, advance);
  progress.Finish();
  if (!written) throw Failure(output + ": not written: " + error);
  if (!command_line.Has("quiet")) {
    InputFile written(output);
    std::printf("%s: %s, %u bytes\n", output.c_str(), CountOf(members.size(), "member").c_str(),
                written.size());
  }
  return kExitSuccess;
}

}  // namespace

const Command kBuildCommand{"build",
                            "make an installer from a launcher stub and member files",
                            kHelp,
                            {kHelpOption,
                             kQuietOption,
                             {"output", 'o', true},
                             {"stub", 's', true},
                             kIconOption,
                             kVersionInfoOption,
                             kExecutionLevelOption,
                             {"force", 'f', false}},
                            RunBuild};

}  // namespace tool
