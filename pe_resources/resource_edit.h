// The changes tovalin build makes to a launcher's resources, on a copy of its bytes: the
// author's icon in place of the icon group "INSTALL" (which the progress dialog shows),
// version information, and a manifest that requests an execution level.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "pe_resources/icon_file.h"
#include "pe_resources/image_layout.h"
#include "pe_resources/manifest.h"
#include "pe_resources/resource_section.h"
#include "pe_resources/resource_tree.h"
#include "pe_resources/version_info.h"

namespace pe {

// The icon group that the launcher's dialog shows, by name.
constexpr char kLauncherIconGroup[] = "INSTALL";

struct ResourceEdits {
  std::vector<IconImage> icon;  // empty: the icon stays
  bool set_version = false;
  VersionInfo version;
  bool set_execution_level = false;
  ExecutionLevel execution_level = ExecutionLevel::kAsInvoker;

  bool Any() const { return !icon.empty() || set_version || set_execution_level; }
};

// Applies edits to the resources (version information and manifest replace any there were, in
// every language).
void ApplyResourceEdits(const ResourceEdits& edits, std::vector<Resource>* resources);

// image (a whole launcher file) with the edits made, into out. Everything else in the resources
// stays as it was: the dialog, the string table, other icons. 1, or 0 with the reason in error:
// the image is no PE image, has no resource section, or cannot have it rewritten.
int EditImageResources(const std::vector<uint8_t>& image, const ResourceEdits& edits,
                       std::vector<uint8_t>* out, std::string* error);

}  // namespace pe
