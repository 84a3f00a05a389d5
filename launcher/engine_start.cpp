#include "launcher/engine_start.h"

#include "base/bounded_text.h"
#include "launcher/report.h"
#include "platform/launcher_windows.h"

namespace {

// How long one wait for the engine lasts before the wait starts again.
constexpr uint32_t kEnginePollMilliseconds = 1000;

}  // namespace

bool BuildEngineCommandLine(const RunState& run, char* line, size_t capacity) {
  return text::Join(line, capacity, run.engine_path, " ") &&
         text::Append(line, capacity, run.install_script_path) &&
         text::Append(line, capacity, " ") && text::Append(line, capacity, run.passed_arguments);
}

// The wait is on the process itself, so an engine whose own exit code happens to be 259 ("still
// active") is not waited for forever.
uint32_t RunEngine(char* command_line) {
  Trace("Before CreateProcess(), cmdline='%s'", command_line);
  platform::ProcessInfo engine;
  if (!platform::StartProcess(command_line, &engine)) {
    Trace("CreateProcess() failed");
    return platform::kStillActive;
  }
  while (!platform::WaitForProcessEnd(engine, kEnginePollMilliseconds)) {
  }
  uint32_t code = platform::kStillActive;
  if (!platform::GetProcessExitCode(engine, &code)) code = platform::kStillActive;
  Trace("Child process exit");
  return code;
}
