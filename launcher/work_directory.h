// The run's private work directory and its cleanup script.
//
// The work directory is made from a unique temporary name (prefix "AI") in the user's temporary
// directory, so that nobody else may add or replace a file in it. Everything the run leaves
// there gets a line in the cleanup script "~0000.bat": "del " and the file's path, and at the
// end "del " for the script itself and "rd " for the directory. Packages unpack into it, each
// file listed as it comes out whole.
#pragma once

#include "launcher/run_state.h"

// Fixed names in the work directory.
inline constexpr char kCleanupScriptName[] = "~0000.bat";
inline constexpr char kEnginePackageName[] = "~0000.shr";
inline constexpr char kEngineName[] = "~0000.exe";
inline constexpr char kLanguageLibraryName[] = "~0000.dll";

// Runs attempt(context), an operation on the file at path in the work directory, until it
// succeeds or fails for good, waiting out another program that holds the file a moment (a
// scanner looking at a fresh file) for a few seconds; each retry is traced. Its result.
int WaitOutHolder(int (*attempt)(void* context), void* context, const char* path);

// Makes the work directory and the empty cleanup script in it, and points the run's unpack target
// at it. A temporary folder that is missing is made; one that refuses gives way to the Windows
// directory's "Temp". Sets the run's work directory, engine path and cleanup script path. 0 after a
// failure that ends the run (reported).
int MakeWorkDirectory(RunState* run);

// Appends "del " + the work directory + name to the cleanup script. False, with nothing written,
// when the line does not fit.
bool ListInCleanupScript(RunState* run, const char* name);

// The script's closing lines: "del " for the script itself, then "rd " for the work directory.
void CloseCleanupScript(RunState* run);

// Where a package's files go. No package may write the cleanup script, and none but the engine
// package the engine, so that what starts is what the engine package held.
UnpackTarget* PackageTarget(RunState* run, bool engine_package);
