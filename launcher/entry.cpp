#include "launcher/entry.h"

#include <cstring>

#include "base/bounded_text.h"
#include "launcher/bootstrap.h"

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

int LauncherMain(RunState* state, void* instance, const void* previous_instance,
                 const char* command_line, RegisterClassFn register_class) {
  ResetRunState(state);  // show-progress set until quiet mode says otherwise
  // The kept command line holds the longest one the system passes, so nothing is cut here.
  text::Copy(state->kept_command_line, sizeof state->kept_command_line, command_line);
  if (previous_instance == nullptr && register_class(instance) == 0) return 0;
  if (SelectsQuietMode(state->kept_command_line)) state->show_progress = false;
  RunBootstrap(state, instance);
  return 1;
}
