// What one launcher run keeps from start to end: the kept command line, quiet mode, the message
// line of the progress dialog, the cleanup script, the run's archive reader, progress bar and
// unpack target, and what the bootstrap sequence learns on its way (its own paths, the work
// directory, the engine's command line). The entry point fills it, the bootstrap sequence works
// on it, every step receiving it by pointer; the stub keeps one in static storage, the tests make
// their own.
//
// The cleanup script ("~0000.bat" in the work directory) lists everything the run leaves
// behind: "del " lines for files and a final "rd " line for the work directory, CR LF line ends,
// paths never quoted. The launcher only writes it; the installer engine runs it.
#pragma once

#include <cstddef>

#include "archive/archive_reader.h"
#include "base/bounded_text.h"
#include "package/unpacker.h"
#include "ui/progress.h"

// The longest command line Windows hands to a process, so that no legitimate one is cut.
constexpr size_t kCommandLineCapacity = 32768;
constexpr size_t kMessageLineCapacity = 512;
// The user's arguments may be as long as the kept command line, with the folder in front.
constexpr size_t kArgumentsCapacity = text::kPathCapacity + kCommandLineCapacity;

struct CleanupScript {
  // The work directory followed by "~0000.bat"; empty until the work directory exists.
  char path[text::kPathCapacity];
  // Set when a line could not be written whole (a full disk, say): the script then no longer
  // lists everything the run leaves behind, and the engine is not started with it.
  bool line_lost;
  uint32_t lost_error;  // why the first lost line was lost
};

struct RunState {
  // The command line as handed to the entry point (after the program name).
  char kept_command_line[kCommandLineCapacity];
  // Set when the run starts; quiet mode clears it and nothing sets it again.
  bool show_progress;
  // The text of "init.ini", at most 511 bytes; empty when that file is missing or empty.
  char message_line_text[kMessageLineCapacity];
  CleanupScript cleanup_script;
  // The launcher's own executable, which carries the payload archive.
  ArchiveReader archive;
  Progress progress;
  // Where packages are unpacked, and whether a package read has failed in this run.
  UnpackTarget unpack_target;

  // What the bootstrap sequence learns. Each field is written by one step and only read by the
  // steps after it; none is scratch space.
  // The module whose string table and dialog template the run uses.
  void* instance;
  // The block every member copy goes through; from the sequence's start until the engine's
  // command line is built.
  void* copy_buffer;
  // The launcher's own executable, its folder with a trailing backslash (empty when the path
  // has none) and its stem, up to and including the dot before the extension.
  char module_path[text::kPathCapacity];
  char executable_folder[text::kPathCapacity];
  char executable_stem[text::kPathCapacity];
  // The work directory with its trailing backslash, and the engine's path in it.
  char work_directory[text::kPathCapacity];
  char engine_path[text::kPathCapacity];
  // The path the engine receives: the stem followed by "cfg".
  char install_script_path[text::kPathCapacity];
  // The user's arguments as the engine receives them.
  char passed_arguments[kArgumentsCapacity];
  char engine_command_line[kCommandLineCapacity];
};

// Puts a run state into its starting state: everything empty, no archive source, show-progress
// set.
void ResetRunState(RunState* state);

// Fills the message-line text from a text file: at most 511 bytes counted after CR LF pairs
// have become newlines, up to a Ctrl-Z. A file that cannot be opened changes nothing.
void ReadMessageLineText(RunState* state, const char* path);

// Appends one line (and a newline) to the cleanup script, waiting out another program that holds
// the script a moment; a line that cannot be written is dropped without a report, and line_lost
// is set.
void AppendCleanupLine(CleanupScript* script, const char* line);
