// The application manifest (RT_MANIFEST resource 1), which Windows reads before a program
// starts. The launcher carries one that declares it aware of the system's DPI, so that Windows
// lays its dialog out sharp at any scaling instead of stretching a 96-DPI picture. The tool adds
// to it a request for an execution level when the author asks for one: the level at which User
// Account Control starts the program. A manifest that requests no level leaves that to Windows'
// own judgement, which for a 32-bit program whose name or version texts look like an installer's
// means asking for administrator rights.
//
// Nothing else is ever written. A compatibility section naming supported Windows versions would
// change what GetVersion reports from Windows 8.1 on, and with it the engine's route.
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

// The manifest's text (UTF-8) with a trust section that requests level, without UI access: the
// launcher's own manifest (launcher_manifest, empty when it has none) with its trust section put
// in or replaced, so that what the launcher declares about itself stays. A manifest whose trust
// section cannot be found as plain text is replaced by one that holds the trust section only.
std::string WriteManifest(ExecutionLevel level, const std::string& launcher_manifest);

// The level attribute of a manifest's requestedExecutionLevel element, or "" when it has none.
// A plain search of the text for showing what an image requests, not an XML parser.
std::string ReadRequestedExecutionLevel(const std::string& manifest);

}  // namespace pe
