#include "platform/text_file.h"

#include "platform/platform.h"

namespace platform {
namespace {

constexpr char kCtrlZ = 0x1A;
constexpr uint32_t kChunk = 512;

}  // namespace

int AppendText(const char* path, const char* text, bool create_missing) {
  FileHandle file = OpenForAppending(path, create_missing);
  if (file == kNoFile) return 0;
  // Expand into a small staging buffer; one LF can grow into two bytes, so leave room.
  char staged[kChunk + 1];
  uint32_t used = 0;
  bool ok = true;
  for (const char* p = text; *p != '\0' && ok; ++p) {
    if (*p == '\n') staged[used++] = '\r';
    staged[used++] = *p;
    if (used >= kChunk) {
      ok = WriteBytes(file, staged, used) == static_cast<int32_t>(used);
      used = 0;
    }
  }
  if (ok && used > 0) ok = WriteBytes(file, staged, used) == static_cast<int32_t>(used);
  CloseFile(file);
  return ok ? 1 : 0;
}

int32_t ReadText(const char* path, char* buffer, uint32_t capacity) {
  FileHandle file = OpenForReading(path);
  if (file == kNoFile) return -1;
  uint32_t stored = 0;
  bool pending_cr = false;  // a CR whose fate depends on the next byte
  bool done = capacity <= 1;
  char chunk[kChunk];
  while (!done) {
    int32_t got = ReadBytes(file, chunk, kChunk);
    if (got <= 0) break;
    for (int32_t i = 0; i < got && !done; ++i) {
      char c = chunk[i];
      if (c == kCtrlZ) {
        done = true;
        break;
      }
      if (pending_cr) {
        pending_cr = false;
        if (c == '\n') {  // CR LF folds into one newline
          buffer[stored++] = '\n';
          done = stored + 1 >= capacity;
          continue;
        }
        buffer[stored++] = '\r';
        if (stored + 1 >= capacity) {
          done = true;
          break;
        }
      }
      if (c == '\r') {
        pending_cr = true;
        continue;
      }
      buffer[stored++] = c;
      done = stored + 1 >= capacity;
    }
  }
  if (pending_cr && stored + 1 < capacity) buffer[stored++] = '\r';
  if (capacity > 0) buffer[stored] = '\0';
  CloseFile(file);
  return static_cast<int32_t>(stored);
}

}  // namespace platform
