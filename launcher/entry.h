// The launcher's entry: keeps the command line, registers the window class, settles quiet
// mode from "/An" and hands over to the bootstrap sequence.
#pragma once

#include "launcher/run_state.h"

// Registers the window class for instance; returns its atom, 0 on failure.
using RegisterClassFn = unsigned (*)(void* instance);

// The entry point's work, from the start of the process, on the run's state (which it resets
// first). Returns the process's exit code: 0 when the window class cannot be registered, 1 after
// the bootstrap sequence has returned (which it does only after a failure).
int LauncherMain(RunState* state, void* instance, const void* previous_instance,
                 const char* command_line, RegisterClassFn register_class);

// The command line as the entry point receives it: the process command line after the program
// name (which ends at its closing quote when it starts with one, else at the first blank or
// control character) and after the blanks and control characters that follow it.
const char* SkipProgramName(const char* process_command_line);

// Whether a command line selects quiet mode: "/An" anywhere, exactly in this case.
bool SelectsQuietMode(const char* command_line);
