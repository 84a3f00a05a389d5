// Directories that only the system, administrators and the directory's owner may use.
//
// The access list is written as a security descriptor string and made into a descriptor by the
// system, which keeps this short; the directory is created with it in one step, so there is no
// moment in which it exists with the rights it would otherwise inherit from the temporary folder.
// "P" protects the list from inheriting anything, "OICI" hands it to every file and folder made
// inside, "FA" is full access. SY is SYSTEM, BA the Administrators group, OW the owner of the
// directory (and of each file inside, its own owner): the user, unless the run is elevated and
// the Administrators group is made the owner.
#include <windows.h>

#include <sddl.h>

#include "platform/launcher_windows.h"

namespace platform {
namespace {

// Owned by the Administrators group, whose elevated programs alone may then reach in; the user
// owns what is made with the same list less its first four characters.
constexpr char kOwnedByAdministrators[] = "O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FA;;;OW)";
constexpr size_t kOwnerPart = 4;
// TOKEN_ELEVATION's one field, and its information class; older headers lack both.
struct Elevation {
  DWORD is_elevated;
};
constexpr int kTokenElevation = 20;

}  // namespace

bool ProcessIsElevated() {
  HANDLE token = nullptr;
  // GetCurrentProcess() is this pseudo-handle on every Windows; spelling it out spares an import.
  const HANDLE self = reinterpret_cast<HANDLE>(-1);
  if (!OpenProcessToken(self, TOKEN_QUERY, &token)) return false;
  Elevation elevation = {0};
  DWORD size = 0;
  // The information class exists from Windows Vista on; before, nothing runs elevated.
  bool elevated = GetTokenInformation(token, static_cast<TOKEN_INFORMATION_CLASS>(kTokenElevation),
                                      &elevation, sizeof elevation, &size) &&
                  elevation.is_elevated != 0;
  CloseHandle(token);
  return elevated;
}

int MakePrivateDirectory(const char* path, bool current_user) {
  SECURITY_ATTRIBUTES attributes = {sizeof attributes, nullptr, FALSE};
  // Where the system cannot build the descriptor (no security API, or no owner rights before
  // Windows Vista), the directory is made as any other, with the rights it inherits.
  bool described = ConvertStringSecurityDescriptorToSecurityDescriptorA(
                       kOwnedByAdministrators + (current_user ? kOwnerPart : 0), SDDL_REVISION_1,
                       &attributes.lpSecurityDescriptor, nullptr) != FALSE;
  BOOL made = CreateDirectoryA(path, described ? &attributes : nullptr);
  if (described) LocalFree(attributes.lpSecurityDescriptor);
  return made ? 1 : 0;
}

}  // namespace platform
