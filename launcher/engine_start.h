// The installer engine's start: its command line, the process, the wait for its end.
#pragma once

#include <cstddef>
#include <cstdint>

#include "launcher/run_state.h"

// The engine's command line into line: the engine's path, the install-script path and the
// user's arguments, one blank between each (the line ends in a blank when there are none).
// False when it does not fit: a cut line would start the engine with other arguments.
bool BuildEngineCommandLine(const RunState& run, char* line, size_t capacity);

// Starts the engine with the run's engine command line and waits for its end. Its exit code, or
// the system's still-active code (259) when it could not be started or its code cannot be read.
// A start refused while another program (a scanner) holds the fresh engine is tried again for a
// few seconds; a start that fails for good is reported with the system's reason, in a box too
// unless the run is quiet: nobody would hear of it otherwise.
uint32_t RunEngine(RunState* run);
