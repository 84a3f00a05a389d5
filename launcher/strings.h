// Ids of the launcher's string table, as the code uses them. The resource script carries the
// texts; the posix side of the platform keeps the same texts for the host build.
#pragma once

#include <cstdint>

#include "resources/resource.h"

constexpr uint32_t kStringNotFound = IDS_NOT_FOUND;  // " was not found. "
constexpr uint32_t kStringMissingOrCorrupt = IDS_MISSING_OR_CORRUPT;
constexpr uint32_t kStringWarning = IDS_WARNING;                    // the warning box's caption
constexpr uint32_t kStringCopyFailed = IDS_COPY_FAILED;             // source, then target
constexpr uint32_t kStringEngineDamaged = IDS_ENGINE_DAMAGED;       // the engine package
constexpr uint32_t kStringNoWorkDirectory = IDS_NO_WORK_DIRECTORY;  // the temporary directory
constexpr uint32_t kStringOutOfMemory = IDS_OUT_OF_MEMORY;
constexpr uint32_t kStringTextTooLong = IDS_TEXT_TOO_LONG;             // what did not fit
constexpr uint32_t kStringRedirectionFolder = IDS_REDIRECTION_FOLDER;  // "<module path>.local"
constexpr uint32_t kStringCleanupScriptIncomplete = IDS_CLEANUP_SCRIPT_INCOMPLETE;
