// The application manifest (RT_MANIFEST resource 1), which Windows reads before a program
// starts. The tool writes one only to request an execution level: the level at which User
// Account Control starts the program. A program without a manifest, or with one that requests
// no level, is left to Windows' own judgement, which for a 32-bit program whose name or version
// texts look like an installer's means asking for administrator rights.
//
// The manifest written carries nothing else. A compatibility section naming supported Windows
// versions would change what GetVersion reports from Windows 8.1 on, and a DPI awareness
// setting would change how Windows scales the progress dialog; neither is asked for.
#pragma once

#include <cstdint>
#include <string>

namespace pe {

// The ordinal under which Windows looks for a program's manifest.
constexpr uint32_t kProgramManifestId = 1;

enum class ExecutionLevel { kAsInvoker, kHighestAvailable, kRequireAdministrator };

// "asInvoker", "highestAvailable", "requireAdministrator": the names the manifest uses.
const char* ExecutionLevelName(ExecutionLevel level);

// The level by its manifest name, exactly as written there. 1, or 0 for any other text.
int ParseExecutionLevel(const std::string& name, ExecutionLevel* level);

// The manifest's text (UTF-8): a trust section that requests level, without UI access.
std::string WriteManifest(ExecutionLevel level);

// The level attribute of a manifest's requestedExecutionLevel element, or "" when it has none.
// A plain search of the text for showing what an image requests, not an XML parser.
std::string ReadRequestedExecutionLevel(const std::string& manifest);

}  // namespace pe
