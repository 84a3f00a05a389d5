// The network side of a path: the share behind a drive letter, and whether a folder's entry can
// be found.
//
// mpr.dll is not one of the libraries Windows always takes from its system directory. An import
// of it would be resolved by the ordinary search, which starts in the executable's own folder:
// a download folder, where anyone can leave an mpr.dll beside setup.exe. So the launcher never
// imports it and loads it by itself, from the system directory only, the first time a drive's
// network name is asked for.
#include <windows.h>

#include "base/in_register.h"
#include "platform/launcher_windows.h"

namespace platform {
namespace {

using GetConnectionFunction = DWORD(WINAPI*)(LPCSTR, LPSTR, LPDWORD);

struct NetworkLibrary {
  bool tried;
  GetConnectionFunction get_connection;
};

NetworkLibrary g_network;

GetConnectionFunction GetConnection() {
  NetworkLibrary* network = InRegister(&g_network);
  if (!network->tried) {
    network->tried = true;
    HMODULE mpr = static_cast<HMODULE>(LoadSystemLibrary("mpr.dll"));
    if (mpr != nullptr) {
      // Through a plain function pointer type, which may be converted to any other.
      network->get_connection = reinterpret_cast<GetConnectionFunction>(
          reinterpret_cast<void (*)()>(GetProcAddress(mpr, "WNetGetConnectionA")));
    }
  }
  return network->get_connection;
}

}  // namespace

int NetworkNameOfDevice(const char* local_name, char* remote_name, uint32_t* length) {
  GetConnectionFunction get_connection = GetConnection();
  DWORD result = ERROR_NOT_CONNECTED;
  if (get_connection != nullptr) {
    DWORD size = *length;
    result = get_connection(local_name, remote_name, &size);
    *length = size;
  }
  return result == NO_ERROR ? 1 : 0;
}

bool DirectoryEntryFound(const char* path) {
  WIN32_FIND_DATAA entry;
  HANDLE search = FindFirstFileA(path, &entry);
  if (search == INVALID_HANDLE_VALUE) return false;
  FindClose(search);
  return true;
}

}  // namespace platform
