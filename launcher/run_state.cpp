#include "launcher/run_state.h"

#include <cstring>

#include "platform/text_file.h"

// Zero-filled, so that its large buffers take no room in the executable; the one field that
// starts set is set when the process starts.
RunState g_run_state;

namespace {

struct ShowProgressAtStart {
  ShowProgressAtStart() { g_run_state.show_progress = true; }
} g_show_progress_at_start;

}  // namespace

void ResetRunState() {
  std::memset(&g_run_state, 0, sizeof g_run_state);
  g_run_state.show_progress = true;
}

void ReadMessageLineText(const char* path) {
  platform::ReadText(path, g_run_state.message_line_text, kMessageLineCapacity);
}

void AppendCleanupLine(const char* line) {
  platform::AppendLine(g_run_state.cleanup_script_path, line, true);
}
