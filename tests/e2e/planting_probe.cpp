// The planting tests' control: a program that loads each library named on its command line the
// ordinary way, as a program that takes no care does. Run from a folder with planted copies, it
// shows that Wine would load them from there, so that their absence after a launcher run means
// the launcher kept them out, not that they could never load.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR command_line, int) {
  char names[4096];
  lstrcpynA(names, command_line, sizeof names);
  int loaded = 0;
  for (char* name = names; *name != '\0';) {
    char* end = name;
    while (*end != '\0' && *end != ' ')
      ++end;
    bool last = *end == '\0';
    *end = '\0';
    if (*name != '\0' && LoadLibraryA(name) != nullptr) ++loaded;
    if (last) break;
    name = end + 1;
  }
  return loaded;
}
