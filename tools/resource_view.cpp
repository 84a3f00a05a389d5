#include "tools/resource_view.h"

#include <algorithm>
#include <cstring>

#include "pe/pe_format.h"
#include "pe_resources/image_layout.h"
#include "pe_resources/manifest.h"
#include "pe_resources/resource_section.h"

namespace tool {
namespace {

// Enough for the headers and section table of any image a launcher is made from.
constexpr uint32_t kHeaderBytes = 64 * 1024;
constexpr uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

bool IsType(const pe::Resource& resource, uint32_t type) {
  return !resource.type.IsName() && resource.type.number == type;
}

const pe::Resource* FindIcon(const std::vector<pe::Resource>& resources, uint16_t id) {
  for (const pe::Resource& resource : resources) {
    if (IsType(resource, pe::kIconResource) && !resource.name.IsName() &&
        resource.name.number == id) {
      return &resource;
    }
  }
  return nullptr;
}

void Describe(ResourceView* view) {
  for (const pe::Resource& resource : view->resources) {
    const std::string which =
        ResourceTypeName(resource.type).append(" ").append(resource.name.Text());
    std::string problem;
    if (IsType(resource, pe::kIconGroupResource)) {
      std::vector<pe::IconGroupEntry> entries;
      if (!pe::ReadIconGroup(resource.data.data(), resource.data.size(), &entries, &problem)) {
        view->problems.push_back(std::string(which).append(": ").append(problem));
        continue;
      }
      IconGroupView group;
      group.name = resource.name;
      for (const pe::IconGroupEntry& entry : entries) {
        IconImageView image;
        image.entry = entry;
        const pe::Resource* icon = FindIcon(view->resources, entry.id);
        image.found = icon != nullptr;
        image.png = icon != nullptr && icon->data.size() >= sizeof kPngSignature &&
                    std::memcmp(icon->data.data(), kPngSignature, sizeof kPngSignature) == 0;
        if (!image.found) {
          view->problems.push_back(which + ": its image " + std::to_string(entry.id) +
                                   " is missing");
        }
        group.images.push_back(image);
      }
      view->icon_groups.push_back(group);
    } else if (IsType(resource, pe::kVersionResource) && !view->has_version) {
      if (pe::ReadVersionInfo(resource.data.data(), resource.data.size(), &view->version,
                              &problem)) {
        view->has_version = true;
      } else {
        view->problems.push_back(std::string(which).append(": ").append(problem));
      }
    } else if (IsType(resource, pe::kManifestResource) && !resource.name.IsName() &&
               resource.name.number == pe::kProgramManifestId && !view->has_manifest) {
      view->has_manifest = true;
      view->execution_level =
          pe::ReadRequestedExecutionLevel(std::string(resource.data.begin(), resource.data.end()));
    }
  }
}

}  // namespace

ResourceView ReadResources(InputFile& file) {
  ResourceView view;
  std::vector<uint8_t> headers(std::min(file.size(), kHeaderBytes));
  pe::ImageLayout layout;
  std::string problem;
  if (!file.ReadAt(0, headers.data(), static_cast<uint32_t>(headers.size()))) {
    view.problems.push_back("its headers cannot be read");
    return view;
  }
  if (!pe::ReadImageLayout(headers.data(), headers.size(), file.size(), &layout, &problem)) {
    view.problems.push_back("resources: " + problem);
    return view;
  }
  // No resources at all is a fact to show, not damage.
  if (layout.Directory(pe::kResourceDirectory).size == 0) return view;
  const pe::ReadImageBytes read_at = [&file](uint32_t offset, uint8_t* bytes, uint32_t count) {
    return file.ReadAt(offset, bytes, count);
  };
  if (!pe::ReadImageResources(layout, read_at, &view.resources, &problem)) {
    view.problems.push_back("resources: " + problem);
    return view;
  }
  view.has_resources = true;
  Describe(&view);
  return view;
}

std::string ResourceTypeName(const pe::ResourceId& type) {
  if (type.IsName()) return type.Text();
  static const struct {
    uint32_t type;
    const char* name;
  } kNames[] = {{1, "CURSOR"},        {2, "BITMAP"},      {3, "ICON"},        {4, "MENU"},
                {5, "DIALOG"},        {6, "STRING"},      {9, "ACCELERATOR"}, {10, "RCDATA"},
                {12, "GROUP_CURSOR"}, {14, "GROUP_ICON"}, {16, "VERSION"},    {24, "MANIFEST"}};
  for (const auto& known : kNames) {
    if (known.type == type.number) return known.name;
  }
  return type.Text();
}

std::string DescribeIconImage(const IconImageView& image) {
  return std::to_string(pe::IconPixels(image.entry.width)) + "x" +
         std::to_string(pe::IconPixels(image.entry.height)) + " " +
         std::to_string(image.entry.bit_count) + "-bit" + (image.png ? " PNG" : "");
}

}  // namespace tool
