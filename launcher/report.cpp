#include "launcher/report.h"

#include <cstdarg>
#include <cstring>

#include "base/bounded_text.h"
#include "diag/logs.h"
#include "launcher/strings.h"
#include "platform/launcher_windows.h"
#include "platform/text_format.h"

namespace {

constexpr size_t kStringCapacity = 128;
constexpr size_t kTraceCapacity = 4096;
// An error-log entry holds up to two paths and two of the system's reasons around a string-table
// text.
constexpr size_t kEntryCapacity = 2 * text::kPathCapacity + 2 * kReasonCapacity + kStringCapacity;

// The system's reason for a failure, as it follows an entry's own text; without its first two
// characters, as it stands alone.
constexpr char kReasonFormat[] = ": error %u: %s";

// One error-log entry, as it is composed.
struct Entry {
  char text[kEntryCapacity];
};

// Loads a string of the run's string table; empty when it is missing.
const char* LoadText(const RunState& run, uint32_t id, char* buffer) {
  platform::LoadStringText(run.instance, id, buffer, kStringCapacity);
  return buffer;
}

void FormatReason(uint32_t error, const char* format, char* out, size_t capacity) {
  char system_text[kReasonCapacity - 32];
  platform::SystemErrorText(error, system_text, sizeof system_text);
  platform::FormatText(out, capacity, format, static_cast<unsigned>(error), system_text);
}

// String id filled with first, second and third, then the system's reason for error unless it is
// 0. A cut entry still says what went wrong.
void Compose(const RunState& run, uint32_t id, const char* first, const char* second,
             const char* third, uint32_t error, Entry* entry) {
  char format[kStringCapacity];
  platform::FormatText(entry->text, sizeof entry->text, LoadText(run, id, format), first, second,
                       third);
  if (error == 0) return;
  const size_t used = std::strlen(entry->text);
  FormatReason(error, kReasonFormat, entry->text + used, sizeof entry->text - used);
}

// The install script's path, then the texts that say it is missing.
void ComposeMissingScript(const RunState& run, Entry* entry) {
  char not_found[kStringCapacity];
  char corrupt[kStringCapacity];
  platform::FormatText(entry->text, sizeof entry->text, "%s%s%s", run.install_script_path,
                       LoadText(run, IDS_NOT_FOUND, not_found),
                       LoadText(run, IDS_MISSING_OR_CORRUPT, corrupt));
}

void ShowInBox(const RunState& run, const Entry& entry) {
  char caption[kStringCapacity];
  platform::ShowWarningBox(entry.text, LoadText(run, IDS_WARNING, caption));
}

}  // namespace

void Trace(const char* format, ...) {
  char line[kTraceCapacity];
  va_list arguments;
  va_start(arguments, format);
  platform::FormatTextList(line, sizeof line, format, arguments);  // a cut trace is fine
  va_end(arguments);
  WriteTrace(line);
}

void DescribeSystemError(uint32_t error, char* reason, size_t capacity) {
  FormatReason(error, kReasonFormat + 2, reason, capacity);
}

// Every entry goes through here: written to the error log and, when box is set, shown.
int RefuseSystemError(const RunState& run, uint32_t id, const char* first, const char* second,
                      const char* third, uint32_t error, bool box) {
  Entry entry;
  Compose(run, id, first, second, third, error, &entry);
  WriteErrorLog(entry.text);
  if (box) ShowInBox(run, entry);
  return 0;
}

void ReportError(const RunState& run, uint32_t id, const char* first, const char* second) {
  RefuseSystemError(run, id, first, second, nullptr, 0, false);
}

int RefuseLongText(const RunState& run, const char* what) {
  ReportError(run, IDS_TEXT_TOO_LONG, what, nullptr);
  return 0;
}

int RefuseWithBox(const RunState& run, uint32_t id, const char* first, const char* second) {
  return RefuseSystemError(run, id, first, second, nullptr, 0, run.show_progress);
}

int RefuseDamagedInstaller(const RunState& run, const char* member_name) {
  return RefuseWithBox(run, IDS_INSTALLER_DAMAGED, run.module_path, member_name);
}

int RefuseUnusableFolder(const RunState& run, const char* path) {
  return RefuseWithBox(run, IDS_FOLDER_NAME_UNUSABLE, path, nullptr);
}

void WarnMissingInstallScript(const RunState& run) {
  Entry entry;
  ComposeMissingScript(run, &entry);
  ShowInBox(run, entry);
  WriteErrorLog(entry.text);
}
