// The launcher's entry: keeps the command line, registers the window class, settles quiet
// mode from "/An" and hands over to the bootstrap sequence.
#pragma once

// Registers the window class for instance; returns its atom, 0 on failure.
using RegisterClassFn = unsigned (*)(void* instance);

// The entry point's work. Returns the process's exit code: 0 when the window class cannot be
// registered, 1 after the bootstrap sequence has returned (which it does only after a failure).
int LauncherMain(void* instance, void* previous_instance, const char* command_line,
                 RegisterClassFn register_class);

// Whether a command line selects quiet mode: "/An" anywhere, exactly in this case.
bool SelectsQuietMode(const char* command_line);
