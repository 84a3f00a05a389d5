// How a run tells what it does, and why it ends when it ends early.
//
// Every step leaves a line in the trace log (when tracing is on). A failure that ends the run
// leaves one entry in the error log: a string-table text whose "%s" places take up to two texts,
// the paths or names involved. Where the user must act, the same entry shows in a box, unless
// the run is quiet. An entry is composed first and delivered after, so an entry that carries
// other wording (the system's own text for an error number, say) is one more way to compose, not
// one more way to write.
#pragma once

#include <cstddef>
#include <cstdint>

#include "launcher/run_state.h"

// One line in the trace log, printf-style; a line longer than 4 KiB is cut.
void Trace(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The system's reason for an error, "error N: " and the system's own text for it, in reason.
constexpr size_t kReasonCapacity = 320;
void DescribeSystemError(uint32_t error, char* reason, size_t capacity);

// An error-log entry: string id filled with first and second. Here and below, a text the string
// takes no "%s" for may be null.
void ReportError(const RunState& run, uint32_t id, const char* first, const char* second);

// The refusals end the run: each writes its entry and returns 0, which the sequence returns.
//
// A path or command line that does not fit its buffer: never cut and used. what names it.
int RefuseLongText(const RunState& run, const char* what);
// An entry the user also sees in a box, unless the run is quiet.
int RefuseWithBox(const RunState& run, uint32_t id, const char* first, const char* second);
// A Windows call failed: string id filled with first, second and third, then ": " and the
// system's reason for error (its number and text), shown in a box too when box is set.
int RefuseSystemError(const RunState& run, uint32_t id, const char* first, const char* second,
                      const char* third, uint32_t error, bool box);
// A member whose bytes do not match its checksum: the download is damaged, and nothing of it
// may run.
int RefuseDamagedInstaller(const RunState& run, const char* member_name);
// A path the ANSI code page cannot hold in any form: going on with its question marks would name
// other files, or none.
int RefuseUnusableFolder(const RunState& run, const char* path);

// The install script is missing: its path and two string-table texts, in a box shown even when
// the run is quiet, then in the error log.
void WarnMissingInstallScript(const RunState& run);
