#include "launcher/work_directory.h"

#include <cstring>

#include "base/bounded_text.h"
#include "launcher/path_text.h"
#include "launcher/report.h"
#include "launcher/strings.h"
#include "platform/launcher_windows.h"
#include "platform/retry.h"

namespace {

// A work directory that cannot be made as a new one is given up after this many names.
constexpr int kWorkDirectoryAttempts = 16;
// "del " or "rd " and a path.
constexpr size_t kCleanupLineCapacity = text::kPathCapacity + 8;

// The line command, directory, name (nullptr: none) to the cleanup script.
bool AppendCleanupFor(RunState* run, const char* command, const char* directory, const char* name) {
  char line[kCleanupLineCapacity];
  if (!text::Join(line, sizeof line, command, directory) ||
      (name != nullptr && !text::Append(line, sizeof line, name))) {
    return false;
  }
  AppendCleanupLine(&run->cleanup_script, line);
  return true;
}

// What the unpacker tells the run: each whole file gets its cleanup line, each block of
// compressed data a step of the bar.
void ListUnpackedFile(void* context, const char* path) {
  AppendCleanupFor(static_cast<RunState*>(context), "del ", path, nullptr);
}

void StepForBlock(void* context) {
  StepProgress(&static_cast<RunState*>(context)->progress);
}

// Each retry of an operation on a held file leaves a trace line, so that a slow run can be told
// from a hung one.
void TraceRetry(void* path, int retry, uint32_t error, uint32_t pause) {
  Trace("'%s' held, error %u: retry %d in %u ms", static_cast<const char*>(path),
        static_cast<unsigned>(error), retry, static_cast<unsigned>(pause));
}

// A new, private directory from a unique temporary name in folder, written to unique. A name that
// cannot be made a new directory is never used: another one is tried. 0, or the error of the
// last attempt.
uint32_t MakeUniqueDirectory(const char* folder, char* unique) {
  // Nobody else may add or replace a file in the work directory; when the run is elevated, not
  // even the same user's unelevated programs, which could otherwise plant a library the elevated
  // engine would load.
  const bool for_user = !platform::ProcessIsElevated();
  uint32_t error = 0;
  for (int attempt = 0; attempt < kWorkDirectoryAttempts; ++attempt) {
    unique[0] = '\0';
    uint32_t number = platform::CreateUniqueTempFile(folder, "AI", unique);
    error = platform::LastError();
    Trace("GetTempFileName()='%s', Reval=%d, Error %d", unique, static_cast<int>(number),
          static_cast<int>(error));
    if (number == 0) return error;  // the folder takes no new file at all
    platform::RemoveFile(unique);
    if (platform::MakePrivateDirectory(unique, for_user) != 0) return 0;
    error = platform::LastError();
  }
  return error;
}

// Makes folder, and first every folder above it that is missing; what fails shows in what
// follows. Making "C:" or "\\server" fails and does no harm.
void MakeFolderWithParents(char* folder) {
  char* last = FindLastBackslash(folder);
  if (platform::MakeDirectory(folder) || last == nullptr) return;
  *last = '\0';
  MakeFolderWithParents(folder);
  *last = '\\';
  platform::MakeDirectory(folder);
}

// A work directory in folder, which is made first, with its parents, when it does not exist: a
// TMP or TEMP may name a folder that nobody has made yet. 0, or why it could not be made.
uint32_t MakeWorkDirectoryIn(char* folder, char* unique) {
  uint32_t error = MakeUniqueDirectory(folder, unique);
  if (error == 0 || platform::GetAttributes(folder) != platform::kNoAttributes) return error;
  MakeFolderWithParents(folder);
  return MakeUniqueDirectory(folder, unique);
}

}  // namespace

int WaitOutHolder(int (*attempt)(void* context), void* context, const char* path) {
  const platform::RetryObserver observer = {TraceRetry, const_cast<char*>(path)};
  return platform::RetryWhileHeld(attempt, context, &observer);
}

int MakeWorkDirectory(RunState* run) {
  char temp_path[text::kPathCapacity] = "";
  Trace("Before GetTempPath()='%s'", temp_path);
  bool lost = false;
  uint32_t length = platform::GetTemporaryPath(temp_path, sizeof temp_path, &lost);
  uint32_t error = platform::LastError();
  Trace("GetTempPath()='%s', Reval=%d, Error %d", temp_path, static_cast<int>(length),
        static_cast<int>(error));
  if (lost) return RefuseUnusableFolder(*run, temp_path);
  char* last = FindLastBackslash(temp_path);
  if (last != nullptr && last[1] == '\0') *last = '\0';

  // A temporary folder that refuses a directory (read-only, a file of that name, no access)
  // gives way to the Windows directory's own, where the work directory is just as private.
  char unique[platform::kTempNameCapacity];
  bool made = false;
  if (length != 0) {
    error = MakeWorkDirectoryIn(temp_path, unique);
    made = error == 0;
  }
  if (!made) {
    char fallback[text::kPathCapacity];
    uint32_t fallback_error = platform::WindowsDirectory(fallback, sizeof fallback) != 0 &&
                                      text::Append(fallback, sizeof fallback, "\\Temp")
                                  ? MakeWorkDirectoryIn(fallback, unique)
                                  : platform::LastError();
    if (fallback_error != 0) {
      char reason[kReasonCapacity];
      DescribeSystemError(error, reason, sizeof reason);
      return RefuseSystemError(*run, IDS_NO_WORK_DIRECTORY, temp_path, reason, fallback,
                               fallback_error, run->show_progress);
    }
  }

  // A temporary file's name, so no backslash ends it.
  CleanupScript& script = run->cleanup_script;
  if (!text::Join(run->work_directory, sizeof run->work_directory, unique, "\\") ||
      !text::Join(script.path, sizeof script.path, run->work_directory, kCleanupScriptName) ||
      !text::Join(run->engine_path, sizeof run->engine_path, run->work_directory, kEngineName)) {
    return RefuseLongText(*run, run->work_directory);
  }
  platform::CloseFile(platform::CreateOrTruncate(script.path));

  UnpackTarget& target = run->unpack_target;
  target.folder = run->work_directory;
  target.kept_paths[0] = script.path;
  target.file_written = ListUnpackedFile;
  target.block_read = StepForBlock;
  target.context = run;
  target.while_held = WaitOutHolder;
  return 1;
}

bool ListInCleanupScript(RunState* run, const char* name) {
  return AppendCleanupFor(run, "del ", run->work_directory, name);
}

void CloseCleanupScript(RunState* run) {
  ListInCleanupScript(run, kCleanupScriptName);
  char directory[text::kPathCapacity];
  text::Copy(directory, sizeof directory, run->work_directory);
  directory[std::strlen(directory) - 1] = '\0';  // without its trailing backslash
  AppendCleanupFor(run, "rd ", directory, nullptr);
}

UnpackTarget* PackageTarget(RunState* run, bool engine_package) {
  run->unpack_target.kept_paths[1] = engine_package ? nullptr : run->engine_path;
  return &run->unpack_target;
}
