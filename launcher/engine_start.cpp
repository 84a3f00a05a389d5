#include "launcher/engine_start.h"

#include "base/bounded_text.h"
#include "launcher/report.h"
#include "launcher/strings.h"
#include "launcher/work_directory.h"
#include "platform/launcher_windows.h"
#include "platform/retry.h"

namespace {

// How long one wait for the engine lasts before the wait starts again.
constexpr uint32_t kEnginePollMilliseconds = 1000;
// ERROR_FILE_NOT_FOUND.
constexpr uint32_t kFileNotFound = 2;

struct EngineStart {
  char* command_line;
  const char* engine_path;
  platform::ProcessInfo engine;
};

int TryToStart(void* context) {
  EngineStart* start = static_cast<EngineStart*>(context);
  if (platform::StartProcess(start->command_line, &start->engine)) return 1;
  // Wine says a program that another process holds is not found. The engine was just written:
  // while it is there, such a start was refused by a holder.
  if (platform::LastError() == kFileNotFound &&
      platform::GetAttributes(start->engine_path) != platform::kNoAttributes) {
    return platform::kRefusedByHolder;
  }
  return 0;
}

}  // namespace

bool BuildEngineCommandLine(const RunState& run, char* line, size_t capacity) {
  return text::Join(line, capacity, run.engine_path, " ") &&
         text::Append(line, capacity, run.install_script_path) &&
         text::Append(line, capacity, " ") && text::Append(line, capacity, run.passed_arguments);
}

// The wait is on the process itself, so an engine whose own exit code happens to be 259 ("still
// active") is not waited for forever.
uint32_t RunEngine(RunState* run) {
  Trace("Before CreateProcess(), cmdline='%s'", run->engine_command_line);
  EngineStart start = {run->engine_command_line, run->engine_path, {}};
  if (!WaitOutHolder(TryToStart, &start, run->engine_path)) {
    const uint32_t error = platform::LastError();
    Trace("CreateProcess() failed");
    RefuseSystemError(*run, IDS_ENGINE_NOT_STARTED, run->engine_path, nullptr, nullptr, error,
                      run->show_progress);
    return platform::kStillActive;
  }
  const platform::ProcessInfo& engine = start.engine;
  while (!platform::WaitForProcessEnd(engine, kEnginePollMilliseconds)) {
  }
  uint32_t code = platform::kStillActive;
  if (!platform::GetProcessExitCode(engine, &code)) code = platform::kStillActive;
  Trace("Child process exit");
  return code;
}
