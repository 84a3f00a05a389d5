// The options of tovalin build that change the launcher's resources in the installer it writes:
// --icon, --version-info and --execution-level.
#pragma once

#include <string>
#include <vector>

#include "pe_resources/resource_edit.h"
#include "tools/options.h"

namespace tool {

// The option definitions, for the command's list. Defined here rather than in the .cpp, so that
// each file that lists them has them made before its own definitions are.
const OptionDefinition kIconOption{"icon", 'i', true};
const OptionDefinition kVersionInfoOption{"version-info", 0, true, true};
const OptionDefinition kExecutionLevelOption{"execution-level", 0, true};

// The version information that "KEY=VALUE" texts ask for: the strings in the order given, the
// file version's numbers from FileVersion's text and the product version's from
// ProductVersion's, each standing in for the other when only one is given. Throws UsageError for
// a text without "=", a key Windows does not know, a key given twice, a value that is not UTF-8
// or too long, and a version text that does not start with its numbers.
pe::VersionInfo VersionInfoFrom(const std::vector<std::string>& texts);

// Everything the options ask for. Reads the icon file; throws Failure naming it when it cannot
// be read or is no icon file, UsageError for the rest.
pe::ResourceEdits ResourceEditsFrom(const ParsedCommandLine& command_line);

}  // namespace tool
