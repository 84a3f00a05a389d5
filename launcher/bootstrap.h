// The bootstrap sequence: everything the launcher does after its entry point has kept the
// command line. It makes a private work directory under the user's temporary directory, copies
// the members the installer engine needs out of the payload archive, unpacks the package files
// among them, shows progress, writes the cleanup script, starts the engine "~0000.exe", waits
// for it and ends the process with its exit code.
#pragma once

#include <cstddef>
#include <cstdint>

#include "launcher/run_state.h"

// Runs the sequence for the module instance on the run's state, which the entry point has
// filled. Returns 0 after a failure that ends the run early (the entry point then exits with 1).
// Once the engine has been started, or could not be, the process ends here with the engine's
// exit code (259 when it is unknown) and this never returns.
int RunBootstrap(RunState* state, void* instance);

// The sequence up to the point where the process would end: 1 with *exit_code set when it got
// there, 0 after a failure that ends the run early. Either way the archive is closed.
// RunBootstrap is this plus the process end; tests call this one.
int RunBootstrapSteps(RunState* state, void* instance, uint32_t* exit_code);

// The route the version text selects: true for the 32-bit engine, false for the 16-bit one.
// Texts that sort before "3.2" count as "3.5". Compared as byte strings, not as numbers.
bool TakesThirtyTwoBitRoute(const char* version_text);

// The user's arguments as the engine receives them: an option ("/", "-", "|"), a drive path or
// a network path passes as typed; anything else gets the executable folder in front. False
// when the result does not fit.
bool BuildPassedThroughArguments(const char* command_line, const char* executable_folder, char* out,
                                 size_t capacity);
