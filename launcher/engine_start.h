// The installer engine's start: its command line, the process, the wait for its end.
#pragma once

#include <cstddef>
#include <cstdint>

#include "launcher/run_state.h"

// The engine's command line into line: the engine's path, the install-script path and the
// user's arguments, one blank between each (the line ends in a blank when there are none).
// False when it does not fit: a cut line would start the engine with other arguments.
bool BuildEngineCommandLine(const RunState& run, char* line, size_t capacity);

// Starts the engine with command_line and waits for its end. Its exit code, or the system's
// still-active code (259) when it could not be started or its code cannot be read.
uint32_t RunEngine(char* command_line);
