#include "launcher/entry.h"

#include <cstring>

#include "launcher/bootstrap.h"
#include "launcher/run_state.h"
#include "platform/bounded_text.h"

bool SelectsQuietMode(const char* command_line) {
  return std::strstr(command_line, "/An") != nullptr;
}

const char* SkipProgramName(const char* process_command_line) {
  const char* p = process_command_line;
  if (*p == '"') {
    for (++p; *p != '\0' && *p != '"'; ++p) {
    }
    if (*p == '"') ++p;
  } else {
    while (static_cast<unsigned char>(*p) > ' ')
      ++p;
  }
  while (*p != '\0' && static_cast<unsigned char>(*p) <= ' ')
    ++p;
  return p;
}

int LauncherMain(void* instance, const void* previous_instance, const char* command_line,
                 RegisterClassFn register_class) {
  g_run_state.show_progress = true;  // until quiet mode says otherwise
  // The kept command line holds the longest one the system passes, so nothing is cut here.
  text::Copy(g_run_state.kept_command_line, sizeof g_run_state.kept_command_line, command_line);
  if (previous_instance == nullptr && register_class(instance) == 0) return 0;
  if (SelectsQuietMode(g_run_state.kept_command_line)) g_run_state.show_progress = false;
  RunBootstrap(instance);
  return 1;
}
