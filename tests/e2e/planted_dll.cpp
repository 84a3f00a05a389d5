// A DLL that someone left beside an installer under the name of a system library. It does
// nothing but leave a mark when it is loaded: a file named like itself with ".loaded" added,
// beside it. The test build makes it once; the tests copy it under each name they plant.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    char mark[MAX_PATH + 8];
    DWORD length = GetModuleFileNameA(instance, mark, MAX_PATH);
    if (length > 0 && length < MAX_PATH) {
      lstrcatA(mark, ".loaded");
      HANDLE file = CreateFileA(mark, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
      if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    }
  }
  return TRUE;
}
