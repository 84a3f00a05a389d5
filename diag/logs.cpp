#include "diag/logs.h"

#include <cstdint>
#include <cstring>

#include "base/bounded_text.h"
#include "base/in_register.h"
#include "platform/launcher_windows.h"
#include "platform/text_file.h"
#include "platform/text_format.h"

namespace {

// Buffers for the Windows directory with the log's name behind it. A directory that does not
// fit leaves the entry unwritten rather than writing somewhere else.
constexpr uint32_t kTracePathCapacity = 260;
constexpr uint32_t kErrorLogPathCapacity = 1024;

// The path of a log in the Windows directory; false when it cannot be determined or does not fit.
bool LogPath(char* buffer, uint32_t capacity, const char* name) {
  if (platform::WindowsDirectory(buffer, capacity) == 0) return false;
  return text::Append(buffer, capacity, "\\") && text::Append(buffer, capacity, name);
}

// Static rather than on the stack: the launcher has one thread, and a 36 KiB frame would need
// stack probing for nothing.
char g_trace_line[kTraceLineCapacity];

}  // namespace

void WriteTrace(const char* message) {
  char path[kTracePathCapacity];
  if (!LogPath(path, sizeof path, "dizozud.log")) return;

  // Time first, then date, each from its own reading of the clock; the line is
  // "(MM/DD/YY HH:MM:SS)HEADER(pid) Debug:message".
  platform::LocalTime time;
  platform::ReadLocalClock(&time);
  platform::LocalTime date;
  platform::ReadLocalClock(&date);

  char* line = InRegister(g_trace_line);
  if (!platform::FormatText(
          line, kTraceLineCapacity, "(%02u/%02u/%02u %02u:%02u:%02u)HEADER(%ld) Debug:%s\n",
          date.month, date.day, static_cast<unsigned>(date.year % 100), time.hour, time.minute,
          time.second, static_cast<long>(platform::CurrentProcessId()), message)) {
    // Cut: the line still ends with its break, so the next entry starts a line of its own.
    line[kTraceLineCapacity - 2] = '\n';
  }
  // AppendText never creates the file: a missing trace log means tracing is off.
  text::AppendText(path, line, false);
}

void WriteErrorLog(const char* message) {
  char path[kErrorLogPathCapacity];
  if (!LogPath(path, sizeof path, "tovalin.log")) return;
  size_t length = std::strlen(message);
  if (length > 0 && message[length - 1] == '\n') {
    text::AppendText(path, message, true);
  } else {
    text::AppendLine(path, message, true);
  }
}
