// tovalin list's lines for people: the resources, a table of members (and the files of packages),
// a summary, whether the installer carries checksums and whether it is signed.
#include <cstdio>
#include <string>

#include "tools/display.h"
#include "tools/listing.h"
#include "tools/utf16_text.h"

namespace tool {
namespace {

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

}  // namespace

void PrintListingText(const Listing& listing) {
  const bool with_packages = listing.with_packages;
  const Inventory& inventory = listing.inventory;
  if (listing.with_resources) PrintResources(listing.resources);
  const char* packed_head = with_packages ? "    Packed  " : "";
  std::printf("%s      Size  Date        Time      Attr   Name\n", packed_head);
  uint64_t total = 0;
  size_t packages = 0;
  size_t files = 0;
  for (size_t i = 0; i < inventory.members.size(); ++i) {
    const InventoryMember& listed = inventory.members[i];
    const MemberInfo& member = listed.member;
    total += member.size;
    std::printf("%s%10u  %s  %s  %s  %s\n", with_packages ? "            " : "", member.size,
                FormatDosDate(member.dos_date).c_str(), FormatDosTime(member.dos_time).c_str(),
                FormatAttributes(member.attributes).c_str(), PrintableName(member.name).c_str());
    if (!with_packages || !listed.is_package) continue;
    ++packages;
    for (size_t j = 0; j < listed.package.files.size(); ++j) {
      const PackageFile& file = listed.package.files[j];
      const ListedSize& decoded = listing.sizes[i][j];
      ++files;
      std::string size = decoded.known ? std::to_string(decoded.size) : "?";
      std::printf("%10u  %10s  %s  %s  %s    %s\n", file.compressed_size, size.c_str(),
                  FormatDosDate(file.dos_date).c_str(), FormatDosTime(file.dos_time).c_str(),
                  FormatAttributes(file.attributes).c_str(), PrintableName(file.name).c_str());
    }
  }
  std::string summary =
      CountOf(inventory.members.size(), "member") + ", " + std::to_string(total) + " bytes";
  if (with_packages) {
    summary += "; " + CountOf(packages, "package") + " holding " + CountOf(files, "file");
  }
  std::printf("%s", summary.c_str());
  std::printf("\n");
  if (inventory.has_checksums) {
    std::printf("Checksums: CRC-32 of %s\n", CountOf(inventory.checksum_count, "member").c_str());
  } else {
    std::printf("No checksums\n");
  }
  if (inventory.bounds.certificate_size != 0) {
    std::printf("Signed: certificate table of %u bytes at offset %u\n",
                inventory.bounds.certificate_size, inventory.bounds.certificate_offset);
  } else {
    std::printf("Not signed\n");
  }
}

}  // namespace tool
