// A stand-in installer engine for end-to-end runs of the launcher. It is packed into the
// engine package like a real engine; the launcher unpacks it as "~0000.exe" and starts it.
//
// It records what it received in the file named by TOVALIN_ENGINE_RECORD (one "key=value" per
// line: its command line, its current directory, then "end" once it is done), waits
// TOVALIN_ENGINE_SLEEP_MS milliseconds, and exits with TOVALIN_ENGINE_EXIT (0 when unset).
#include <windows.h>

#include <cstdio>
#include <cstdlib>

namespace {

unsigned long NumberFromEnvironment(const char* name, unsigned long fallback) {
  char value[64];
  DWORD length = GetEnvironmentVariableA(name, value, sizeof value);
  if (length == 0 || length >= sizeof value) return fallback;
  return std::strtoul(value, nullptr, 0);
}

void Record(const char* line) {
  char path[MAX_PATH];
  DWORD length = GetEnvironmentVariableA("TOVALIN_ENGINE_RECORD", path, sizeof path);
  if (length == 0 || length >= sizeof path) return;
  FILE* file = std::fopen(path, "ab");
  if (file == nullptr) return;
  std::fputs(line, file);
  std::fputs("\n", file);
  std::fclose(file);
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  static char line[40000];
  std::snprintf(line, sizeof line, "cmdline=%s", GetCommandLineA());
  Record(line);
  char directory[MAX_PATH];
  GetCurrentDirectoryA(sizeof directory, directory);
  std::snprintf(line, sizeof line, "cwd=%s", directory);
  Record(line);
  Sleep(NumberFromEnvironment("TOVALIN_ENGINE_SLEEP_MS", 0));
  Record("end");
  ExitProcess(static_cast<UINT>(NumberFromEnvironment("TOVALIN_ENGINE_EXIT", 0)));
}
