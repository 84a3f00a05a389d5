#include "launcher/run_state.h"

#include <cstring>

#include "platform/files.h"
#include "platform/text_file.h"

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
  if (text::AppendLine(script->path, line, true) || script->line_lost) return;
  script->line_lost = true;
  script->lost_error = platform::LastError();
}
