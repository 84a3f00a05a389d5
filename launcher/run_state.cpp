#include "launcher/run_state.h"

#include <cstring>

#include "platform/text_file.h"

// Zero-filled, so that its large buffers take no room in the executable; the entry point sets
// the show-progress flag when the process starts.
RunState g_run_state;

void ResetRunState() {
  std::memset(&g_run_state, 0, sizeof g_run_state);
  g_run_state.show_progress = true;
}

void ReadMessageLineText(const char* path) {
  platform::ReadText(path, g_run_state.message_line_text, kMessageLineCapacity);
}

void AppendCleanupLine(const char* line) {
  if (!platform::AppendLine(g_run_state.cleanup_script_path, line, true)) {
    g_run_state.cleanup_line_lost = true;
  }
}
