// Libraries that Windows does not always take from its system directory, loaded from there and
// nowhere else.
#include <windows.h>

#include "base/bounded_text.h"
#include "platform/launcher_windows.h"

namespace platform {

void* LoadSystemLibrary(const char* name) {
  // LoadLibraryExA flags, spelled out because older headers lack them.
  constexpr DWORD kSearchSystem32Only = 0x00000800;  // LOAD_LIBRARY_SEARCH_SYSTEM32
  constexpr DWORD kAlteredSearchPath = 0x00000008;   // LOAD_WITH_ALTERED_SEARCH_PATH
  // Systems that know the flag load from the system directory and nowhere else.
  HMODULE module = LoadLibraryExA(name, nullptr, kSearchSystem32Only);
  if (module != nullptr) return module;
  // Older systems reject the flag: name the file by its full path instead, and let its own
  // dependencies be looked for beside it first.
  char path[MAX_PATH];
  UINT length = GetSystemDirectoryA(path, sizeof path);
  if (length == 0 || length >= sizeof path) return nullptr;
  if (!text::Append(path, sizeof path, "\\") || !text::Append(path, sizeof path, name)) {
    return nullptr;
  }
  return LoadLibraryExA(path, nullptr, kAlteredSearchPath);
}

}  // namespace platform
