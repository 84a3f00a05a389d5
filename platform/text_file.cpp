#include "platform/text_file.h"

#include "platform/files.h"

namespace text {
namespace {

constexpr char kCtrlZ = 0x1A;
constexpr uint32_t kChunk = 512;

// Writes text to an open file with each "\n" expanded to CR LF, through a small staging
// buffer. True when every byte was written.
bool WriteExpanded(platform::FileHandle file, const char* text) {
  char staged[kChunk + 1];  // one LF grows into two bytes, so leave room for the CR
  uint32_t used = 0;
  for (const char* p = text; *p != '\0'; ++p) {
    if (*p == '\n') staged[used++] = '\r';
    staged[used++] = *p;
    if (used >= kChunk) {
      if (platform::WriteBytes(file, staged, used) != static_cast<int32_t>(used)) return false;
      used = 0;
    }
  }
  return used == 0 || platform::WriteBytes(file, staged, used) == static_cast<int32_t>(used);
}

int AppendPieces(const char* path, bool create_missing, const char* text, const char* tail) {
  platform::FileHandle file = platform::OpenForAppending(path, create_missing);
  if (file == platform::kNoFile) return 0;
  bool ok = WriteExpanded(file, text) && WriteExpanded(file, tail);
  platform::CloseFile(file);
  return ok ? 1 : 0;
}

}  // namespace

int AppendText(const char* path, const char* text, bool create_missing) {
  return AppendPieces(path, create_missing, text, "");
}

int AppendLine(const char* path, const char* line, bool create_missing) {
  return AppendPieces(path, create_missing, line, "\n");
}

int32_t ReadText(const char* path, char* buffer, uint32_t capacity) {
  platform::FileHandle file = platform::OpenForReading(path);
  if (file == platform::kNoFile) return -1;
  uint32_t stored = 0;
  bool pending_cr = false;  // a CR whose fate depends on the next byte
  bool done = capacity <= 1;
  char chunk[kChunk];
  while (!done) {
    int32_t got = platform::ReadBytes(file, chunk, kChunk);
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
  platform::CloseFile(file);
  return static_cast<int32_t>(stored);
}

}  // namespace text
