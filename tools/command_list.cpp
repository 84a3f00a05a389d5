// tovalin list: the members of an installer, and with --packages the files inside its packages.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "implode/implode.h"
#include "tools/command.h"
#include "tools/display.h"
#include "tools/input_file.h"
#include "tools/installer_view.h"
#include "tools/json_writer.h"
#include "tools/package_view.h"
#include "tools/progress_bar.h"
#include "tools/resource_view.h"
#include "tools/tool_error.h"
#include "tools/utf16_text.h"

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

struct ListedFile {
  PackageFile file;
  uint64_t size;  // decoded size: as recorded, or as found by decoding
  bool size_known;
};

struct ListedMember {
  MemberInfo member;
  bool is_package = false;
  std::vector<ListedFile> files;
};

struct Listing {
  std::string path;
  archive::ArchiveBounds bounds;  // with the certificate table of a signed installer
  bool has_checksums = false;
  uint32_t checksum_count = 0;
  std::vector<ListedMember> members;
  bool with_resources = false;
  ResourceView resources;
  std::vector<std::string> problems;  // each names what it is about
};

// Learns the size of a file whose record leaves it out, by decoding to nowhere.
void CountUnrecordedSizes(InputFile& file, Listing* listing, bool quiet) {
  uint64_t work_total = 0;
  for (const ListedMember& member : listing->members) {
    for (const ListedFile& listed : member.files) {
      if (!listed.size_known) work_total += listed.file.compressed_size;
    }
  }
  if (work_total == 0) return;
  ProgressBar progress(ProgressBar::Wanted(quiet), work_total);
  auto work = std::make_unique<ImplodeWorkArea>();
  const ByteSink discard = [](const uint8_t*, uint32_t) {};
  for (ListedMember& member : listing->members) {
    for (ListedFile& listed : member.files) {
      if (listed.size_known) continue;
      progress.SetLabel(listed.file.name);
      DecodeOutcome outcome = DecodePackageFile(file, listed.file, work.get(), discard, &progress);
      std::string problem = DescribeDecodeProblem(outcome, listed.file);
      if (problem.empty()) {
        listed.size = outcome.decoded_size;
        listed.size_known = true;
      } else {
        listing->problems.push_back(PrintableName(member.member.name) + ": " +
                                    PrintableName(listed.file.name) + ": " + problem);
      }
    }
  }
}

Listing MakeListing(InputFile& file, bool with_packages, bool with_resources, bool quiet) {
  InstallerView view = ReadInstaller(file);
  Listing listing;
  listing.path = file.path();
  listing.bounds = view.bounds;
  listing.has_checksums = view.has_checksums;
  listing.checksum_count = view.checksum_count;
  if (with_resources) {
    listing.with_resources = true;
    listing.resources = ReadResources(file);
    listing.problems = listing.resources.problems;
  }
  for (const MemberInfo& member : view.members) {
    ListedMember listed;
    listed.member = member;
    const std::string name = PrintableName(member.name);
    if (!member.name_terminated) {
      listing.problems.push_back(name + ": the name field holds no terminating NUL");
    }
    if (!member.data_within_file) {
      listing.problems.push_back(name + ": its " + std::to_string(member.size) +
                                 " bytes of data run past the end of the file");
    } else if (with_packages) {
      PackageView package = ReadPackage(file, member.data_offset, member.size);
      listed.is_package = IsPackageMember(member, package);
      if (listed.is_package) {
        for (const std::string& problem : package.problems) {
          listing.problems.push_back(name + ": " + problem);
        }
        for (const PackageFile& packed : package.files) {
          listed.files.push_back({packed, packed.uncompressed_size, packed.uncompressed_size != 0});
        }
      }
    }
    listing.members.push_back(listed);
  }
  if (!view.chain_problem.empty()) listing.problems.push_back(view.chain_problem);
  if (with_packages) CountUnrecordedSizes(file, &listing, quiet);
  return listing;
}

// Whether the resource is one that the lines above the "Other resources" line describe.
bool IsDescribed(const pe::Resource& resource) {
  if (resource.type.IsName()) return false;
  switch (resource.type.number) {
    case pe::kIconResource:
    case pe::kIconGroupResource:
    case pe::kVersionResource:
    case pe::kManifestResource:
      return true;
    default:
      return false;
  }
}

void PrintResources(const ResourceView& view) {
  if (!view.has_resources) {
    std::printf("Resources: none\n");
    return;
  }
  for (const IconGroupView& group : view.icon_groups) {
    std::string images;
    for (const IconImageView& image : group.images)
      images += (images.empty() ? "" : ", ") + DescribeIconImage(image);
    std::printf("Icon %s: %s\n", group.name.Text().c_str(), images.c_str());
  }
  if (view.has_version) {
    std::printf("Version: file %s, product %s\n", view.version.file_version.Text().c_str(),
                view.version.product_version.Text().c_str());
    for (const auto& string : view.version.strings) {
      std::printf("  %-18s %s\n", PrintableName(Utf16ToUtf8(string.first)).c_str(),
                  PrintableName(Utf16ToUtf8(string.second)).c_str());
    }
  } else {
    std::printf("Version: none\n");
  }
  if (!view.has_manifest) {
    std::printf("Execution level: none requested (no manifest)\n");
  } else if (view.execution_level.empty()) {
    std::printf("Execution level: none requested by the manifest\n");
  } else {
    std::printf("Execution level: %s\n", PrintableName(view.execution_level).c_str());
  }
  std::string others;
  const pe::Resource* last = nullptr;
  for (const pe::Resource& resource : view.resources) {
    // A resource in several languages is named once.
    const bool again =
        last != nullptr && last->type == resource.type && last->name == resource.name;
    last = &resource;
    if (IsDescribed(resource) || again) continue;
    others +=
        (others.empty() ? "" : ", ") + ResourceTypeName(resource.type) + " " + resource.name.Text();
  }
  if (!others.empty()) std::printf("Other resources: %s\n", others.c_str());
  std::printf("\n");
}

void PrintText(const Listing& listing, bool with_packages) {
  if (listing.with_resources) PrintResources(listing.resources);
  const char* packed_head = with_packages ? "    Packed  " : "";
  std::printf("%s      Size  Date        Time      Attr   Name\n", packed_head);
  uint64_t total = 0;
  size_t packages = 0;
  size_t files = 0;
  for (const ListedMember& listed : listing.members) {
    const MemberInfo& member = listed.member;
    total += member.size;
    std::printf("%s%10u  %s  %s  %s  %s\n", with_packages ? "            " : "", member.size,
                FormatDosDate(member.dos_date).c_str(), FormatDosTime(member.dos_time).c_str(),
                FormatAttributes(member.attributes).c_str(), PrintableName(member.name).c_str());
    if (!listed.is_package) continue;
    ++packages;
    for (const ListedFile& entry : listed.files) {
      ++files;
      std::string size = entry.size_known ? std::to_string(entry.size) : "?";
      std::printf(
          "%10u  %10s  %s  %s  %s    %s\n", entry.file.compressed_size, size.c_str(),
          FormatDosDate(entry.file.dos_date).c_str(), FormatDosTime(entry.file.dos_time).c_str(),
          FormatAttributes(entry.file.attributes).c_str(), PrintableName(entry.file.name).c_str());
    }
  }
  std::string summary =
      CountOf(listing.members.size(), "member") + ", " + std::to_string(total) + " bytes";
  if (with_packages) {
    summary += "; " + CountOf(packages, "package") + " holding " + CountOf(files, "file");
  }
  std::printf("%s", summary.c_str());
  std::printf("\n");
  if (listing.has_checksums) {
    std::printf("Checksums: CRC-32 of %s\n", CountOf(listing.checksum_count, "member").c_str());
  } else {
    std::printf("No checksums\n");
  }
  if (listing.bounds.certificate_size != 0) {
    std::printf("Signed: certificate table of %u bytes at offset %u\n",
                listing.bounds.certificate_size, listing.bounds.certificate_offset);
  } else {
    std::printf("Not signed\n");
  }
}

void WriteDateTime(JsonWriter& json, uint32_t dos_date, uint32_t dos_time) {
  json.Key("date");
  json.String(FormatDosDate(dos_date));
  json.Key("time");
  json.String(FormatDosTime(dos_time));
}

void WriteResourcesJson(JsonWriter& json, const ResourceView& view) {
  json.Key("resources");
  json.BeginObject();
  json.Key("icon_groups");
  json.BeginArray();
  for (const IconGroupView& group : view.icon_groups) {
    json.BeginObject();
    json.Key("name");
    json.Utf16String(group.name.IsName() ? group.name.name : u"");
    json.Key("images");
    json.BeginArray();
    for (const IconImageView& image : group.images) {
      json.BeginObject();
      json.Key("width");
      json.Number(pe::IconPixels(image.entry.width));
      json.Key("height");
      json.Number(pe::IconPixels(image.entry.height));
      json.Key("bit_count");
      json.Number(image.entry.bit_count);
      json.Key("png");
      json.Bool(image.png);
      json.Key("size");
      json.Number(image.entry.size);
      json.EndObject();
    }
    json.EndArray();
    json.EndObject();
  }
  json.EndArray();
  if (view.has_version) {
    json.Key("version");
    json.BeginObject();
    json.Key("file_version");
    json.String(view.version.file_version.Text());
    json.Key("product_version");
    json.String(view.version.product_version.Text());
    json.Key("strings");
    json.BeginObject();
    for (const auto& string : view.version.strings) {
      json.Key(Utf16ToUtf8(string.first));
      json.Utf16String(string.second);
    }
    json.EndObject();
    json.EndObject();
  }
  json.Key("manifest");
  json.Bool(view.has_manifest);
  if (!view.execution_level.empty()) {
    json.Key("execution_level");
    json.String(view.execution_level);
  }
  json.Key("all");
  json.BeginArray();
  for (const pe::Resource& resource : view.resources) {
    json.BeginObject();
    json.Key("type");
    json.String(ResourceTypeName(resource.type));
    json.Key("name");
    json.String(resource.name.Text());
    json.Key("language");
    json.Number(resource.language);
    json.Key("size");
    json.Number(resource.data.size());
    json.EndObject();
  }
  json.EndArray();
  json.EndObject();
}

void PrintJson(const Listing& listing, bool with_packages) {
  JsonWriter json;
  json.BeginObject();
  json.Key("installer");
  json.String(listing.path);
  json.Key("checksums");
  json.Bool(listing.has_checksums);
  json.Key("signed");
  json.Bool(listing.bounds.certificate_size != 0);
  if (listing.bounds.certificate_size != 0) {
    json.Key("certificate_table");
    json.BeginObject();
    json.Key("offset");
    json.Number(listing.bounds.certificate_offset);
    json.Key("size");
    json.Number(listing.bounds.certificate_size);
    json.EndObject();
  }
  if (listing.with_resources) WriteResourcesJson(json, listing.resources);
  json.Key("members");
  json.BeginArray();
  for (const ListedMember& listed : listing.members) {
    const MemberInfo& member = listed.member;
    json.BeginObject();
    json.Key("name");
    json.String(member.name);
    json.Key("offset");
    json.Number(member.data_offset);
    json.Key("size");
    json.Number(member.size);
    WriteDateTime(json, member.dos_date, member.dos_time);
    json.Key("attributes");
    json.Number(member.attributes);
    if (member.checksum_known) {
      json.Key("crc32");
      json.Number(member.checksum);
    }
    if (with_packages) {
      json.Key("package");
      json.Bool(listed.is_package);
    }
    if (listed.is_package) {
      json.Key("files");
      json.BeginArray();
      for (const ListedFile& entry : listed.files) {
        json.BeginObject();
        json.Key("name");
        json.String(entry.file.name);
        json.Key("compressed_size");
        json.Number(entry.file.compressed_size);
        if (entry.size_known) {
          json.Key("size");
          json.Number(entry.size);
        }
        WriteDateTime(json, entry.file.dos_date, entry.file.dos_time);
        json.Key("attributes");
        json.Number(entry.file.attributes);
        json.EndObject();
      }
      json.EndArray();
    }
    json.EndObject();
  }
  json.EndArray();
  json.Key("problems");
  json.BeginArray();
  for (const std::string& problem : listing.problems)
    json.String(problem);
  json.EndArray();
  json.EndObject();
  std::fputs(json.text().c_str(), stdout);
}

int RunList(const ParsedCommandLine& command_line) {
  if (command_line.operands.size() != 1) throw UsageError("give exactly one INSTALLER");
  bool with_packages = command_line.Has("packages");
  InputFile file(command_line.operands[0]);
  Listing listing =
      MakeListing(file, with_packages, command_line.Has("resources"), command_line.Has("quiet"));
  if (command_line.Has("json")) {
    PrintJson(listing, with_packages);
  } else {
    PrintText(listing, with_packages);
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
