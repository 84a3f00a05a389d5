// The launcher's two plain-text logs, both in the Windows directory.
//
// The trace log "dizozud.log" gets one timestamped line per step of a run, but only while a file
// of that name already exists: tracing is switched on by creating it, and the launcher never
// does. The error log "tovalin.log" gets the text of the failures that end a run early; it is
// created when missing. Every entry is one open, one append, one close, in text mode (each "\n"
// reaches the disk as CR LF). Neither writer reports anything: a run never stops for its logs.
#pragma once

#include <cstddef>

// Room for one formatted trace line, terminating NUL included. The longest messages a run
// traces carry the engine's command line, which holds the passed-through arguments (up to
// 32,768 bytes) and two paths, so the line is formatted in a buffer sized for that; anything
// still longer is cut at the buffer's end and keeps its line break.
constexpr size_t kTraceLineCapacity = 36 * 1024;

// Appends "(MM/DD/YY HH:MM:SS)HEADER(pid) Debug:message" and a line break to the trace log, if
// that file exists.
void WriteTrace(const char* message);

// Appends message to the error log, followed by a line break unless it already ends in one.
void WriteErrorLog(const char* message);
