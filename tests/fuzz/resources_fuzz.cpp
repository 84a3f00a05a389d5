// Arbitrary bytes as what tovalin build's resource writer reads: an author's icon file, a
// launcher's resource section, or a whole launcher image. Nothing may read or write out of
// bounds or loop, and whatever is taken must come out whole:
//   - an icon file that is taken puts its images into an icon group that reads back;
//   - a resource tree that is taken is written again, and the writing reads back the same
//     resources and writes the same bytes;
//   - an image that takes the author's icon, version information and manifest still has a
//     layout and resources that read back, with the edits in them.
// The first input byte chooses which. The kept corpus started from the real launcher (choice 2),
// its resource section (choice 1) and the test icon of make_branded_installers (choice 0).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "pe_resources/resource_edit.h"

namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint32_t kSectionAddress = 0x2F000;

void Check(bool condition) {
  if (!condition) std::abort();
}

// An icon file of one 16 x 16 bitmap, the author's icon for images.
std::vector<pe::IconImage> SmallIcon() {
  pe::IconImage image;
  image.width = image.height = 16;
  image.planes = 1;
  image.bit_count = 32;
  image.data.assign(40 + 16 * (64 + 4), 0x5A);
  return {image};
}

void FuzzIconFile(const uint8_t* data, size_t size) {
  std::vector<pe::IconImage> images;
  std::string error;
  if (!pe::ReadIconFile(data, size, &images, &error)) {
    Check(!error.empty());
    return;
  }
  Check(!images.empty() && images.size() <= pe::kMostIconImages);
  std::vector<pe::Resource> resources;
  pe::ReplaceIconGroup(&resources, pe::kLauncherIconGroup, images);
  Check(resources.size() == images.size() + 1);
  std::vector<pe::IconGroupEntry> entries;
  const Bytes& group = resources.back().data;
  Check(pe::ReadIconGroup(group.data(), group.size(), &entries, &error));
  Check(entries.size() == images.size());
  for (size_t i = 0; i < images.size(); ++i)
    Check(entries[i].size == images[i].data.size() && resources[i].data == images[i].data);
}

// What list --resources reads of each resource.
void Describe(const std::vector<pe::Resource>& resources) {
  for (const pe::Resource& resource : resources) {
    std::string error;
    std::vector<pe::IconGroupEntry> entries;
    pe::VersionInfo version;
    pe::ReadIconGroup(resource.data.data(), resource.data.size(), &entries, &error);
    pe::ReadVersionInfo(resource.data.data(), resource.data.size(), &version, &error);
    pe::ReadRequestedExecutionLevel(std::string(resource.data.begin(), resource.data.end()));
  }
}

void FuzzResourceTree(const uint8_t* data, size_t size) {
  std::vector<pe::Resource> resources;
  std::string error;
  if (!pe::ReadResourceTree(data, size, kSectionAddress, &resources, &error)) {
    Check(!error.empty());
    return;
  }
  Describe(resources);
  const Bytes written = pe::WriteResourceTree(resources, kSectionAddress);
  std::vector<pe::Resource> again;
  Check(pe::ReadResourceTree(written.data(), written.size(), kSectionAddress, &again, &error));
  Check(again.size() == resources.size());
  Check(pe::WriteResourceTree(again, kSectionAddress) == written);
}

void FuzzImage(const uint8_t* data, size_t size) {
  const Bytes image(data, data + size);
  pe::ResourceEdits edits;
  edits.icon = SmallIcon();
  edits.set_version = true;
  edits.version.strings = {{u"ProductName", u"Fuzz"}};
  edits.set_execution_level = true;
  edits.execution_level = pe::ExecutionLevel::kRequireAdministrator;
  Bytes out;
  std::string error;
  if (!pe::EditImageResources(image, edits, &out, &error)) {
    Check(!error.empty());
    return;
  }
  pe::ImageLayout layout;
  std::vector<pe::Resource> resources;
  Check(pe::ReadImageLayout(out.data(), out.size(), out.size(), &layout, &error));
  Check(pe::ReadImageResources(out, layout, &resources, &error));
  const auto manifest = std::find_if(resources.begin(), resources.end(), [](const pe::Resource& r) {
    return r.type == pe::ResourceId::Number(pe::kManifestResource) &&
           r.name == pe::ResourceId::Number(pe::kProgramManifestId);
  });
  Check(manifest != resources.end() &&
        pe::ReadRequestedExecutionLevel(
            std::string(manifest->data.begin(), manifest->data.end())) == "requireAdministrator");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  switch (data[0] % 3) {
    case 0:
      FuzzIconFile(data + 1, size - 1);
      break;
    case 1:
      FuzzResourceTree(data + 1, size - 1);
      break;
    default:
      FuzzImage(data + 1, size - 1);
      break;
  }
  return 0;
}
