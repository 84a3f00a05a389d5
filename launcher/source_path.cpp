#include "launcher/source_path.h"

#include <cstdint>
#include <cstring>

#include "base/bounded_text.h"
#include "launcher/path_text.h"
#include "platform/launcher_windows.h"

namespace {

// Room for a drive's network name, and for the path's tail and its network form. A path whose
// tail or network form needs more keeps its drive-letter form: a cut path would name another
// file.
constexpr size_t kLocalNameCapacity = 3;
constexpr uint32_t kRemoteNameCapacity = 256;
constexpr size_t kTailCapacity = 256;
constexpr size_t kCandidateCapacity = 256;

// Some networks report a connection as SERVER_VOLUME rather than \\SERVER\VOLUME. Such a name
// becomes a network path: its last underscore (never the first character) turns into a
// backslash and "\\" goes in front. False when the result does not fit.
bool ToNetworkName(char* remote, size_t capacity) {
  if (std::strstr(remote, "\\\\") != nullptr || std::strchr(remote, '_') == nullptr) return true;
  for (size_t i = std::strlen(remote) - 1; i >= 1; --i) {
    if (remote[i] == '_') {
      remote[i] = '\\';
      break;
    }
  }
  char network[kRemoteNameCapacity];
  if (!text::Join(network, sizeof network, "\\\\", remote)) {
    return false;
  }
  return text::Copy(remote, capacity, network);
}

}  // namespace

void ResolveSourcePath(char* path) {
  char local_name[kLocalNameCapacity];
  text::CopyPrefix(local_name, sizeof local_name, path, 2);
  char remote[kRemoteNameCapacity];
  uint32_t remote_length = kRemoteNameCapacity;
  if (!platform::NetworkNameOfDevice(local_name, remote, &remote_length)) return;
  remote[kRemoteNameCapacity - 1] = '\0';
  if (!ToNetworkName(remote, sizeof remote)) return;

  const char* tail_start = FindFirstBackslash(path);
  if (tail_start == nullptr) return;
  char tail[kTailCapacity];
  if (!text::Copy(tail, sizeof tail, tail_start)) return;

  char candidate[kCandidateCapacity];
  if (!text::Join(candidate, sizeof candidate, remote, tail)) {
    return;
  }
  char* folder_end = FindLastBackslash(candidate);
  char cut = *folder_end;  // the tail begins with a backslash, so there is one
  *folder_end = '\0';
  bool found = platform::DirectoryEntryFound(candidate);
  *folder_end = cut;
  if (found) text::Copy(path, text::kPathCapacity, candidate);
}
