#include "launcher/report.h"

#include <cstdarg>

#include "base/bounded_text.h"
#include "diag/logs.h"
#include "launcher/strings.h"
#include "platform/launcher_windows.h"
#include "platform/text_format.h"

namespace {

constexpr size_t kStringCapacity = 128;
constexpr size_t kTraceCapacity = 4096;
// An error-log entry holds up to two paths and a string-table text.
constexpr size_t kEntryCapacity = 2 * text::kPathCapacity + 2 * kStringCapacity;

// One error-log entry, as it is composed.
struct Entry {
  char text[kEntryCapacity];
};

// Loads a string of the run's string table; empty when it is missing.
const char* LoadText(const RunState& run, uint32_t id, char* buffer) {
  platform::LoadStringText(run.instance, id, buffer, kStringCapacity);
  return buffer;
}

// String id filled with first and second. A cut entry still says what went wrong.
void Compose(const RunState& run, uint32_t id, const char* first, const char* second,
             Entry* entry) {
  char format[kStringCapacity];
  platform::FormatText(entry->text, sizeof entry->text, LoadText(run, id, format), first, second);
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

// One entry, written to the error log and, when box is set, shown.
void Report(const RunState& run, uint32_t id, const char* first, const char* second, bool box) {
  Entry entry;
  Compose(run, id, first, second, &entry);
  WriteErrorLog(entry.text);
  if (box) ShowInBox(run, entry);
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

void ReportError(const RunState& run, uint32_t id, const char* first, const char* second) {
  Report(run, id, first, second, false);
}

int RefuseLongText(const RunState& run, const char* what) {
  ReportError(run, IDS_TEXT_TOO_LONG, what, "");
  return 0;
}

int RefuseWithBox(const RunState& run, uint32_t id, const char* first, const char* second) {
  Report(run, id, first, second, run.show_progress);
  return 0;
}

int RefuseDamagedInstaller(const RunState& run, const char* member_name) {
  return RefuseWithBox(run, IDS_INSTALLER_DAMAGED, run.module_path, member_name);
}

int RefuseUnusableFolder(const RunState& run, const char* path) {
  return RefuseWithBox(run, IDS_FOLDER_NAME_UNUSABLE, path, "");
}

void WarnMissingInstallScript(const RunState& run) {
  Entry entry;
  ComposeMissingScript(run, &entry);
  ShowInBox(run, entry);
  WriteErrorLog(entry.text);
}
