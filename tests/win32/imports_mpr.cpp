// A program that imports mpr.dll, as the launcher must not: the import check has to refuse it.
#include <windows.h>

int main() {
  char remote[256];
  DWORD length = sizeof remote;
  return static_cast<int>(WNetGetConnectionA("X:", remote, &length));
}
