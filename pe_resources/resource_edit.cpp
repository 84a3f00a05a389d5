#include "pe_resources/resource_edit.h"

#include <algorithm>

namespace pe {
namespace {

// Whether a resource is the one of the type and ordinal name, in whatever language.
bool IsResource(const Resource& r, uint32_t type, uint32_t name) {
  return !r.type.IsName() && r.type.number == type && !r.name.IsName() && r.name.number == name;
}

// Removes every resource of the type and ordinal name, in any language.
void RemoveResource(std::vector<Resource>* resources, uint32_t type, uint32_t name) {
  resources->erase(
      std::remove_if(resources->begin(), resources->end(),
                     [type, name](const Resource& r) { return IsResource(r, type, name); }),
      resources->end());
}

void AddResource(std::vector<Resource>* resources, uint32_t type, uint32_t name,
                 std::vector<uint8_t> data) {
  Resource resource;
  resource.type = ResourceId::Number(type);
  resource.name = ResourceId::Number(name);
  resource.language = kLanguageUsEnglish;
  resource.data = std::move(data);
  resources->push_back(std::move(resource));
}

}  // namespace

void ApplyResourceEdits(const ResourceEdits& edits, std::vector<Resource>* resources) {
  if (!edits.icon.empty()) ReplaceIconGroup(resources, kLauncherIconGroup, edits.icon);
  if (edits.set_version) {
    // Version information is always resource 1.
    RemoveResource(resources, kVersionResource, 1);
    AddResource(resources, kVersionResource, 1, WriteVersionInfo(edits.version));
  }
  if (edits.set_execution_level) {
    // One manifest: the launcher's own, in whatever language it came, with the level added.
    const auto launchers = std::find_if(
        resources->begin(), resources->end(),
        [](const Resource& r) { return IsResource(r, kManifestResource, kProgramManifestId); });
    const std::string launcher_manifest =
        launchers == resources->end() ? std::string()
                                      : std::string(launchers->data.begin(), launchers->data.end());
    RemoveResource(resources, kManifestResource, kProgramManifestId);
    const std::string text = WriteManifest(edits.execution_level, launcher_manifest);
    AddResource(resources, kManifestResource, kProgramManifestId,
                std::vector<uint8_t>(text.begin(), text.end()));
  }
}

int EditImageResources(const std::vector<uint8_t>& image, const ResourceEdits& edits,
                       std::vector<uint8_t>* out, std::string* error) {
  ImageLayout layout;
  std::vector<Resource> resources;
  if (!ReadImageLayout(image.data(), image.size(), image.size(), &layout, error) ||
      !ReadImageResources(image, layout, &resources, error)) {
    return 0;
  }
  ApplyResourceEdits(edits, &resources);
  size_t index = 0;
  FindResourceSection(layout, &index, error);
  const std::vector<uint8_t> section =
      WriteResourceTree(resources, layout.sections[index].virtual_address);
  return ReplaceResourceSection(image, layout, section, out, error);
}

}  // namespace pe
