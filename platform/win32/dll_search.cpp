// Keeps library loads out of the executable's own folder where the system allows it.
#include <windows.h>

#include "platform/launcher_windows.h"

namespace platform {

void RestrictDllSearchPath() {
  // SetDefaultDllDirectories exists from Windows 8 on (and on Windows 7 with its security
  // update); an import of it would stop the launcher from starting anywhere older, so it is
  // looked up at run time.
  constexpr DWORD kSearchSystem32Only = 0x00000800;  // LOAD_LIBRARY_SEARCH_SYSTEM32
  using SetDirectoriesFunction = BOOL(WINAPI*)(DWORD);
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  if (kernel == nullptr) return;
  SetDirectoriesFunction set_directories = reinterpret_cast<SetDirectoriesFunction>(
      reinterpret_cast<void (*)()>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
  if (set_directories != nullptr) set_directories(kSearchSystem32Only);
}

}  // namespace platform
