#include "launcher/run_state.h"

#include <cstring>

#include "launcher/work_directory.h"
#include "platform/files.h"
#include "platform/text_file.h"

namespace {

struct CleanupLine {
  const char* path;
  const char* line;
};

int AppendOnce(void* context) {
  const CleanupLine* append = static_cast<const CleanupLine*>(context);
  return text::AppendLine(append->path, append->line, true);
}

}  // namespace

void ResetRunState(RunState* state) {
  std::memset(state, 0, sizeof *state);
  state->show_progress = true;
  ResetArchiveReader(&state->archive);
  ResetProgress(&state->progress, true);
}

void ReadMessageLineText(RunState* state, const char* path) {
  text::ReadText(path, state->message_line_text, kMessageLineCapacity);
}

void AppendCleanupLine(CleanupScript* script, const char* line) {
  // The script is a fresh file too, which a scanner may look at between two lines.
  CleanupLine append = {script->path, line};
  if (WaitOutHolder(AppendOnce, &append, script->path) || script->line_lost) return;
  script->line_lost = true;
  script->lost_error = platform::LastError();
}
