// The demo's installer engine: a small program of our own that stands where a real engine
// would. The launcher unpacks it as "~0000.exe" into the work directory and starts it with the
// install script's path and the user's arguments. It writes what it received into
// "engine-report.txt" beside itself, so the demo can show it, and exits with 0.
#include <windows.h>

#include <cstdio>
#include <cstring>

namespace {

// The folder this program runs from, with its trailing backslash.
void OwnFolder(char* folder, DWORD capacity) {
  DWORD length = GetModuleFileNameA(nullptr, folder, capacity);
  if (length == 0 || length >= capacity) {
    folder[0] = '\0';
    return;
  }
  char* slash = std::strrchr(folder, '\\');
  if (slash != nullptr) slash[1] = '\0';
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR arguments, int) {
  char folder[MAX_PATH];
  OwnFolder(folder, sizeof folder);
  char report_path[MAX_PATH + 32];
  std::snprintf(report_path, sizeof report_path, "%sengine-report.txt", folder);
  FILE* report = std::fopen(report_path, "w");
  if (report == nullptr) return 2;

  char current[MAX_PATH];
  GetCurrentDirectoryA(sizeof current, current);
  std::fprintf(report, "command line:      %s\n", GetCommandLineA());
  std::fprintf(report, "current directory: %s\n", current);

  // The first argument is the install script's path (a real engine reads the script from the
  // installer's payload); the rest are the user's own.
  char script[MAX_PATH] = "";
  std::sscanf(arguments, "%259s", script);
  std::fprintf(report, "install script:    %s\n", script);
  const char* rest = std::strchr(arguments, ' ');
  std::fprintf(report, "user's arguments:  %s\n", rest != nullptr ? rest + 1 : "");

  // The language library the launcher chose by the system locale sits beside us.
  char library_path[MAX_PATH + 16];
  std::snprintf(library_path, sizeof library_path, "%s~0000.dll", folder);
  HMODULE library = LoadLibraryA(library_path);
  using NameFn = const char* (*)();
  NameFn name = library != nullptr ? reinterpret_cast<NameFn>(reinterpret_cast<void*>(
                                         GetProcAddress(library, "LanguageName")))
                                   : nullptr;
  std::fprintf(report, "language library:  %s\n", name != nullptr ? name() : "(none)");
  std::fclose(report);
  return 0;
}
