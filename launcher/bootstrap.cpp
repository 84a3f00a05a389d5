#include "launcher/bootstrap.h"

#include <cstdarg>
#include <cstring>

#include "archive/archive_reader.h"
#include "base/ascii.h"
#include "base/bounded_text.h"
#include "diag/logs.h"
#include "launcher/language.h"
#include "launcher/path_text.h"
#include "launcher/run_state.h"
#include "launcher/source_path.h"
#include "launcher/strings.h"
#include "package/unpacker.h"
#include "platform/launcher_windows.h"
#include "ui/progress.h"
#include "ui/progress_dialog.h"

namespace {

constexpr size_t kVersionCapacity = 8;
constexpr size_t kStringCapacity = 128;
constexpr size_t kTraceCapacity = 4096;
// The user's arguments may be as long as the kept command line, with the folder in front.
constexpr size_t kArgumentsCapacity = text::kPathCapacity + kCommandLineCapacity;
// An error-log entry holds up to two paths and a string-table text.
constexpr size_t kMessageCapacity = 2 * text::kPathCapacity + 2 * kStringCapacity;
// A work directory that cannot be made as a new one is given up after this many names.
constexpr int kWorkDirectoryAttempts = 16;
// How long one wait for the engine lasts before the wait starts again.
constexpr uint32_t kEnginePollMilliseconds = 1000;

// Fixed names in the work directory.
const char kCleanupScriptName[] = "~0000.bat";
const char kEnginePackageName[] = "~0000.shr";
const char kEngineName[] = "~0000.exe";
const char kLanguageLibraryName[] = "~0000.dll";

// The sequence's working buffers: one record, zero-filled at the start of every run.
struct Bootstrap {
  RunState* state;
  void* instance;
  void* copy_buffer;
  char module_path[text::kPathCapacity];
  char executable_folder[text::kPathCapacity];
  char executable_stem[text::kPathCapacity];
  char temp_path[text::kPathCapacity];
  char work_directory[text::kPathCapacity];
  char engine_path[text::kPathCapacity];  // the engine in the work directory
  char install_script_path[text::kPathCapacity];
  char member_path[text::kPathCapacity];  // the member being looked up
  char target_path[text::kPathCapacity];  // where it goes
  char line[text::kPathCapacity + 8];     // one cleanup line
  char passed_arguments[kArgumentsCapacity];
  char engine_command_line[kCommandLineCapacity];
  char message[kMessageCapacity];
  char version_text[kVersionCapacity];
  char language_suffix[16];
  char trace[kTraceCapacity];
  uint32_t exit_code;
};

Bootstrap g_boot;

// ---- Reporting ---------------------------------------------------------------------------------

void Trace(const char* format, ...) __attribute__((format(printf, 1, 2)));
void Trace(const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  text::FormatList(g_boot.trace, sizeof g_boot.trace, format, arguments);  // a cut trace is fine
  va_end(arguments);
  WriteTrace(g_boot.trace);
}

// Loads a string of the string table; empty when it is missing.
const char* LoadText(uint32_t id, char* buffer) {
  platform::LoadStringText(g_boot.instance, id, buffer, kStringCapacity);
  return buffer;
}

// Writes an error-log entry from a string-table format and up to two texts.
void ReportError(uint32_t id, const char* first, const char* second) {
  char format[kStringCapacity];
  LoadText(id, format);
  text::Format(g_boot.message, sizeof g_boot.message, format, first, second);
  WriteErrorLog(g_boot.message);
}

// A path or command line that does not fit its buffer is never cut and used: the run ends.
int RefuseLongText(const char* what) {
  ReportError(IDS_TEXT_TOO_LONG, what, "");
  return 0;
}

// Ends the run with an error-log entry the user also sees in a box, unless the run is quiet.
int RefuseWithBox(uint32_t id, const char* first, const char* second) {
  ReportError(id, first, second);
  if (g_boot.state->show_progress) {
    char caption[kStringCapacity];
    platform::ShowWarningBox(g_boot.message, LoadText(IDS_WARNING, caption));
  }
  return 0;
}

// A member whose bytes do not match its checksum: the download is damaged, and nothing of it
// may run.
int RefuseDamagedInstaller(const char* member_name) {
  return RefuseWithBox(IDS_INSTALLER_DAMAGED, g_boot.module_path, member_name);
}

// A path the ANSI code page cannot hold in any form: going on with its question marks would name
// other files, or none.
int RefuseUnusableFolder(const char* path) {
  return RefuseWithBox(IDS_FOLDER_NAME_UNUSABLE, path, "");
}

// ---- Paths -------------------------------------------------------------------------------------

bool Join(char* buffer, size_t capacity, const char* first, const char* second) {
  return text::Copy(buffer, capacity, first) && text::Append(buffer, capacity, second);
}

bool AppendCleanupFor(const char* prefix, const char* directory, const char* name) {
  if (!Join(g_boot.line, sizeof g_boot.line, prefix, directory) ||
      !text::Append(g_boot.line, sizeof g_boot.line, name)) {
    return false;
  }
  AppendCleanupLine(&g_boot.state->cleanup_script, g_boot.line);
  return true;
}

// ---- Member copies -----------------------------------------------------------------------------

// A copy ends the run when its paths do not fit or the member is damaged; a missing member
// ends it only where the member is required.
enum CopyResult { kCopied, kMissing, kTooLong, kDamaged };

// Copies member name (beside the executable, or in its archive) to target name in the work
// directory.
CopyResult CopyMember(const char* name, const char* target_name) {
  if (!Join(g_boot.member_path, sizeof g_boot.member_path, g_boot.executable_folder, name) ||
      !Join(g_boot.target_path, sizeof g_boot.target_path, g_boot.work_directory, target_name)) {
    return kTooLong;
  }
  switch (CopyMemberToFile(&g_boot.state->archive, g_boot.member_path, g_boot.target_path,
                           g_boot.copy_buffer)) {
    case COPY_DONE:
      return kCopied;
    case COPY_DAMAGED:
      return kDamaged;
    default:
      return kMissing;
  }
}

bool EndsTheRun(CopyResult copied) {
  return copied == kTooLong || copied == kDamaged;
}

// Reports why a copy ends the run; 0.
int EndRun(CopyResult copied, const char* name) {
  return copied == kTooLong ? RefuseLongText(name) : RefuseDamagedInstaller(name);
}

// A required member: a missing one ends the run with an error-log entry.
int CopyRequiredMember(const char* name, const char* target_name) {
  CopyResult copied = CopyMember(name, target_name);
  if (copied == kCopied) return 1;
  if (EndsTheRun(copied)) return EndRun(copied, name);
  ReportError(IDS_COPY_FAILED, g_boot.member_path, g_boot.target_path);
  return 0;
}

// Unpacks a package copied into the work directory, read through source (null: from its copy
// only), then deletes the copy. Returns what the unpacker reports: 1 when every file came out
// whole.
int UnpackAndDelete(ArchiveReader* source, const char* package_name) {
  int whole = UnpackPackageFile(&g_boot.state->unpack_target, source, package_name);
  if (Join(g_boot.target_path, sizeof g_boot.target_path, g_boot.work_directory, package_name)) {
    platform::RemoveFile(g_boot.target_path);
  }
  return whole;
}

// An optional package: copied, unpacked and deleted when present; its absence is no error. A
// package whose name is also a member's is read from that member.
int UnpackOptionalPackage(const char* name) {
  CopyResult copied = CopyMember(name, name);
  if (EndsTheRun(copied)) return EndRun(copied, name);
  if (copied == kCopied) UnpackAndDelete(&g_boot.state->archive, name);
  return 1;
}

// The engine package: the run never starts an engine that did not unpack whole. Only this
// package may write the engine; every other one is kept from it.
int UnpackEnginePackage(const char* member_name, int percent_after) {
  UnpackTarget& target = g_boot.state->unpack_target;
  target.kept_paths[1] = nullptr;
  int whole = UnpackPackageFile(&target, &g_boot.state->archive, kEnginePackageName);
  target.kept_paths[1] = g_boot.engine_path;
  if (!whole) {
    Join(g_boot.member_path, sizeof g_boot.member_path, g_boot.executable_folder, member_name);
    ReportError(IDS_ENGINE_DAMAGED, g_boot.member_path, "");
    return 0;
  }
  SetProgress(&g_boot.state->progress, percent_after);
  if (Join(g_boot.target_path, sizeof g_boot.target_path, g_boot.work_directory,
           kEnginePackageName)) {
    platform::RemoveFile(g_boot.target_path);
  }
  return 1;
}

// What the unpacker tells the run: each whole file gets its cleanup line, each block of
// compressed data a step of the bar.
void ListUnpackedFile(void* context, const char* path) {
  RunState* state = static_cast<RunState*>(context);
  char line[text::kPathCapacity + 8];  // "del " and any path the unpacker writes
  text::Copy(line, sizeof line, "del ");
  text::Append(line, sizeof line, path);
  AppendCleanupLine(&state->cleanup_script, line);
}

void StepForBlock(void* context) {
  StepProgress(&static_cast<RunState*>(context)->progress);
}

// ---- The steps ---------------------------------------------------------------------------------

// The executable folder (with its backslash) and stem (up to and including the dot before the
// extension); also settles quiet mode by the module's own name.
int TakeModulePath() {
  bool lost = false;
  if (platform::GetModulePath(g_boot.module_path, sizeof g_boot.module_path, &lost) == 0) {
    return lost ? RefuseUnusableFolder(g_boot.module_path) : RefuseLongText("module path");
  }
  const char* last = FindLastBackslash(g_boot.module_path);
  const char* file_name = last != nullptr ? last + 1 : g_boot.module_path;
  if (text::EqualsIgnoringAsciiCase(file_name, "ZiDidazo.exe") ||
      text::EqualsIgnoringAsciiCase(file_name, "ZeZivadaz.exe")) {
    g_boot.state->show_progress = false;
  }

  if (last != nullptr) {
    text::CopyPrefix(g_boot.executable_folder, sizeof g_boot.executable_folder, g_boot.module_path,
                     static_cast<size_t>(last - g_boot.module_path));
    char drive = text::UpperAscii(g_boot.executable_folder[0]);
    platform::ChangeDrive(drive - 64);  // A is 1; a network path's drive change just fails
    platform::ChangeDirectory(g_boot.executable_folder);
    text::Append(g_boot.executable_folder, sizeof g_boot.executable_folder, "\\");
  }

  // The stem ends just after the file name's last dot. A file name without a dot gets one, so
  // that the install script is still looked for beside the executable.
  text::Copy(g_boot.executable_stem, sizeof g_boot.executable_stem, g_boot.module_path);
  const char* dot = std::strrchr(file_name, '.');
  if (dot != nullptr) {
    g_boot.executable_stem[dot - g_boot.module_path + 1] = '\0';
  } else if (!text::Append(g_boot.executable_stem, sizeof g_boot.executable_stem, ".")) {
    return RefuseLongText(g_boot.module_path);
  }
  return 1;
}

// A "<module path>.local" file or folder asks the loader to take DLLs from beside the installer
// instead of the system directory. Nobody ships an installer that way; whoever left it there
// wants their own code loaded into ours, so the run ends before anything is created.
int RefuseRedirectionFolder() {
  char redirection[text::kPathCapacity];
  if (!Join(redirection, sizeof redirection, g_boot.module_path, ".local")) {
    return RefuseLongText(g_boot.module_path);
  }
  if (platform::GetAttributes(redirection) == platform::kNoAttributes) return 1;
  ReportError(IDS_REDIRECTION_FOLDER, redirection, "");
  return 0;
}

// Makes the work directory from a unique temporary name, and the empty cleanup script in it.
// A name that cannot be made a new directory is never used: another one is tried.
int MakeWorkDirectory() {
  Trace("Before GetTempPath()='%s'", g_boot.temp_path);
  bool lost = false;
  uint32_t length = platform::GetTemporaryPath(g_boot.temp_path, sizeof g_boot.temp_path, &lost);
  uint32_t error = platform::LastError();
  Trace("GetTempPath()='%s', Reval=%d, Error %d", g_boot.temp_path, static_cast<int>(length),
        static_cast<int>(error));
  if (lost) return RefuseUnusableFolder(g_boot.temp_path);
  if (length == 0) {
    ReportError(IDS_NO_WORK_DIRECTORY, g_boot.temp_path, "");
    return 0;
  }
  char* last = FindLastBackslash(g_boot.temp_path);
  if (last != nullptr && last[1] == '\0') *last = '\0';

  char unique[platform::kTempNameCapacity];
  // Nobody else may add or replace a file in the work directory; when the run is elevated, not
  // even the same user's unelevated programs, which could otherwise plant a library the elevated
  // engine would load.
  const bool for_user = !platform::ProcessIsElevated();
  bool made = false;
  for (int attempt = 0; attempt < kWorkDirectoryAttempts && !made; ++attempt) {
    unique[0] = '\0';
    uint32_t number = platform::CreateUniqueTempFile(g_boot.temp_path, "AI", unique);
    error = platform::LastError();
    Trace("GetTempFileName()='%s', Reval=%d, Error %d", unique, static_cast<int>(number),
          static_cast<int>(error));
    if (number == 0) continue;
    platform::RemoveFile(unique);
    made = platform::MakePrivateDirectory(unique, for_user) != 0;
  }
  if (!made) {
    ReportError(IDS_NO_WORK_DIRECTORY, g_boot.temp_path, "");
    return 0;
  }

  text::Copy(g_boot.work_directory, sizeof g_boot.work_directory, unique);
  size_t used = std::strlen(g_boot.work_directory);
  if (used == 0 || g_boot.work_directory[used - 1] != '\\') {
    text::Append(g_boot.work_directory, sizeof g_boot.work_directory, "\\");
  }
  RunState* state = g_boot.state;
  if (!Join(state->cleanup_script.path, sizeof state->cleanup_script.path, g_boot.work_directory,
            kCleanupScriptName) ||
      !Join(g_boot.engine_path, sizeof g_boot.engine_path, g_boot.work_directory, kEngineName)) {
    return RefuseLongText(g_boot.work_directory);
  }
  platform::CloseFile(platform::CreateOrTruncate(state->cleanup_script.path));

  // Packages go into the work directory. None may write the cleanup script, and none but the
  // engine package the engine, so that what starts is what the engine package held.
  UnpackTarget& target = state->unpack_target;
  target.folder = g_boot.work_directory;
  target.kept_paths[0] = state->cleanup_script.path;
  target.kept_paths[1] = g_boot.engine_path;
  target.file_written = ListUnpackedFile;
  target.block_read = StepForBlock;
  target.context = state;
  return 1;
}

// "init.ini" gives the dialog its message line; it is optional, its cleanup line is not.
int CopyGreeting() {
  CopyResult copied = CopyMember("init.ini", "init.ini");
  if (EndsTheRun(copied)) return EndRun(copied, "init.ini");
  if (!AppendCleanupFor("del ", g_boot.work_directory, "init.ini")) {
    return RefuseLongText(g_boot.work_directory);
  }
  ReadMessageLineText(g_boot.state, g_boot.target_path);
  return 1;
}

void ShowMissingScriptWarning() {
  char not_found[kStringCapacity];
  char corrupt[kStringCapacity];
  char caption[kStringCapacity];
  LoadText(IDS_NOT_FOUND, not_found);
  LoadText(IDS_MISSING_OR_CORRUPT, corrupt);
  LoadText(IDS_WARNING, caption);
  text::Copy(g_boot.message, sizeof g_boot.message, g_boot.install_script_path);
  text::Append(g_boot.message, sizeof g_boot.message, not_found);
  text::Append(g_boot.message, sizeof g_boot.message, corrupt);
  platform::ShowWarningBox(g_boot.message, caption);
  WriteErrorLog(g_boot.message);
}

// The install script is the stem followed by "cfg", as a member or a loose file; an archive
// that holds any ".AIC" member also has one. Only its presence counts.
int FindInstallScript() {
  if (!Join(g_boot.install_script_path, sizeof g_boot.install_script_path, g_boot.executable_stem,
            "cfg")) {
    return RefuseLongText(g_boot.executable_stem);
  }
  MemberStream* script = OpenMember(&g_boot.state->archive, g_boot.install_script_path);
  if (script != nullptr) {
    CloseMember(script);
    return 1;
  }
  if (HasInstallScriptMember(&g_boot.state->archive)) return 1;
  ShowMissingScriptWarning();
  return 0;
}

// "temp.shr" is unpacked from its copy, not from the archive member of the same name.
int UnpackTemporaryFiles() {
  CopyResult copied = CopyMember("temp.shr", "temp.shr");
  if (EndsTheRun(copied)) return EndRun(copied, "temp.shr");
  if (copied == kCopied) UnpackAndDelete(nullptr, "temp.shr");
  SetProgress(&g_boot.state->progress, 30);
  return 1;
}

int UnpackThirtyTwoBitEngine() {
  const char* engine = "inst32.shr";
  const char* companion = "unst32.shr";
  CopyResult copied = CopyMember(engine, kEnginePackageName);
  if (EndsTheRun(copied)) return EndRun(copied, engine);
  if (copied == kMissing) {
    engine = "inst16.shr";
    companion = "unst16.shr";
    if (!CopyRequiredMember(engine, kEnginePackageName)) return 0;
  }
  if (!UnpackEnginePackage(engine, 40)) return 0;
  if (!UnpackOptionalPackage(companion)) return 0;
  SetProgress(&g_boot.state->progress, 60);
  return 1;
}

int UnpackSixteenBitEngine() {
  if (!CopyRequiredMember("spawn.exe", "spawn.exe")) return 0;
  if (!AppendCleanupFor("del ", g_boot.work_directory, "spawn.exe")) {
    return RefuseLongText(g_boot.work_directory);
  }
  if (!UnpackOptionalPackage("unst16.shr")) return 0;
  SetProgress(&g_boot.state->progress, 40);
  if (!CopyRequiredMember("inst16.shr", kEnginePackageName)) return 0;
  return UnpackEnginePackage("inst16.shr", 60);
}

// The engine's language library: the first of the candidates found becomes "~0000.dll".
int CopyLanguageLibrary() {
  GetLanguageSuffix(g_boot.language_suffix, sizeof g_boot.language_suffix);
  char localized[32];
  text::Format(localized, sizeof localized, "Install%s.dll", g_boot.language_suffix);
  const char* candidates[] = {localized, "Install.dll", "InstallEnu.dll", kLanguageLibraryName};
  for (const char* candidate : candidates) {
    CopyResult copied = CopyMember(candidate, kLanguageLibraryName);
    if (EndsTheRun(copied)) return EndRun(copied, candidate);
    if (copied == kCopied) break;
  }
  AppendCleanupFor("del ", g_boot.work_directory, kLanguageLibraryName);
  SetProgress(&g_boot.state->progress, 76);
  return 1;
}

// Closing lines of the cleanup script: the script itself, then the work directory.
void CloseCleanupScript() {
  AppendCleanupFor("del ", g_boot.work_directory, kCleanupScriptName);
  char directory[text::kPathCapacity];
  text::Copy(directory, sizeof directory, g_boot.work_directory);
  directory[std::strlen(directory) - 1] = '\0';  // without its trailing backslash
  AppendCleanupFor("rd ", directory, "");
}

// The engine's command line: its path, the install script, the user's arguments. A line that
// does not fit is refused, never cut.
int BuildEngineCommandLine() {
  char* line = g_boot.engine_command_line;
  size_t capacity = sizeof g_boot.engine_command_line;
  bool fits = Join(line, capacity, g_boot.work_directory, kEngineName);
  ResolveSourcePath(g_boot.install_script_path);
  fits = fits && text::Append(line, capacity, " ") &&
         text::Append(line, capacity, g_boot.install_script_path);
  platform::FreeMemory(g_boot.copy_buffer);
  g_boot.copy_buffer = nullptr;
  SetProgress(&g_boot.state->progress, 100);
  fits = fits && text::Append(line, capacity, " ") &&
         text::Append(line, capacity, g_boot.passed_arguments);
  return fits ? 1 : RefuseLongText("engine command line");
}

// Starts the engine and waits for it. The wait is on the process itself, so an engine whose
// own exit code happens to be 259 ("still active") is not waited for forever.
void RunEngine() {
  Trace("Before CreateProcess(), cmdline='%s'", g_boot.engine_command_line);
  platform::ProcessInfo engine;
  if (!platform::StartProcess(g_boot.engine_command_line, &engine)) {
    Trace("CreateProcess() failed");
    return;
  }
  while (!platform::WaitForProcessEnd(engine, kEnginePollMilliseconds)) {
  }
  uint32_t code = platform::kStillActive;
  if (platform::GetProcessExitCode(engine, &code)) g_boot.exit_code = code;
  Trace("Child process exit");
}

int RunSteps() {
  g_boot.copy_buffer = platform::AllocateZeroed(kCopyBlockSize);
  g_boot.exit_code = platform::kStillActive;
  if (g_boot.copy_buffer == nullptr) {
    ReportError(IDS_OUT_OF_MEMORY, "", "");
    return 0;
  }

  uint32_t version = platform::GetSystemVersion();
  text::Format(g_boot.version_text, sizeof g_boot.version_text, "%d.%d",
               static_cast<int>(version & 0xFF), static_cast<int>((version >> 8) & 0xFF));
  bool thirty_two_bit = TakesThirtyTwoBitRoute(g_boot.version_text);

  if (!TakeModulePath()) return 0;
  if (!RefuseRedirectionFolder()) return 0;
  SelectArchiveSource(&g_boot.state->archive, g_boot.module_path);
  if (!MakeWorkDirectory()) return 0;
  if (!CopyGreeting()) return 0;

  RunState* state = g_boot.state;
  ResetProgress(&state->progress, state->show_progress);
  if (state->show_progress) {
    CreateProgressDialog(&state->progress, g_boot.instance, state->message_line_text);
  }
  SetProgress(&state->progress, 10);
  Trace("cmdline='%s'", state->kept_command_line);

  if (!BuildPassedThroughArguments(state->kept_command_line, g_boot.executable_folder,
                                   g_boot.passed_arguments, sizeof g_boot.passed_arguments)) {
    return RefuseLongText("command line");
  }
  if (!FindInstallScript()) return 0;
  if (!UnpackTemporaryFiles()) return 0;
  if (!(thirty_two_bit ? UnpackThirtyTwoBitEngine() : UnpackSixteenBitEngine())) return 0;
  if (!CopyLanguageLibrary()) return 0;
  if (!CopyRequiredMember("dosshell.pif", "dosshell.pif")) return 0;
  AppendCleanupFor("del ", g_boot.work_directory, "dosshell.pif");
  SetProgress(&g_boot.state->progress, 80);
  CloseCleanupScript();
  // An engine that cleans up by a script missing some of its lines would leave files behind.
  if (state->cleanup_script.line_lost) {
    ReportError(IDS_CLEANUP_SCRIPT_INCOMPLETE, state->cleanup_script.path, "");
    return 0;
  }
  if (!BuildEngineCommandLine()) return 0;

  if (state->show_progress) DestroyProgressDialog(&state->progress);
  // Every member is out: the engine may do with setup.exe what it likes, even replace it.
  CloseArchive(&state->archive);
  RunEngine();
  return 1;
}

}  // namespace

bool TakesThirtyTwoBitRoute(const char* version_text) {
  // Byte-string order, as strcmp gives it: "10.0" sorts before "3.2" and counts as 3.5.
  if (std::strcmp(version_text, "3.2") < 0) version_text = "3.5";
  return std::strcmp(version_text, "3.3") > 0;
}

bool BuildPassedThroughArguments(const char* command_line, const char* executable_folder, char* out,
                                 size_t capacity) {
  if (!text::Copy(out, capacity, "")) return false;
  if (command_line[0] == '\0') return true;
  const char* p = command_line;
  while (*p == ' ' || *p == '\t')
    ++p;
  char c = p[0];
  char c2 = c != '\0' ? p[1] : '\0';
  bool as_typed = c == '/' || c == '-' || c == '|' || c2 == ':' || (c == '\\' && c2 == '\\');
  if (!as_typed && !text::Copy(out, capacity, executable_folder)) return false;
  return text::Append(out, capacity, command_line);
}

int RunBootstrapSteps(RunState* state, void* instance, uint32_t* exit_code) {
  std::memset(&g_boot, 0, sizeof g_boot);
  g_boot.state = state;
  g_boot.instance = instance;
  int launched = RunSteps();
  if (g_boot.copy_buffer != nullptr) {
    // A run that ends early keeps its buffer until the process ends; tests run many.
    platform::FreeMemory(g_boot.copy_buffer);
    g_boot.copy_buffer = nullptr;
  }
  CloseArchive(&state->archive);
  *exit_code = g_boot.exit_code;
  return launched;
}

int RunBootstrap(RunState* state, void* instance) {
  uint32_t exit_code = platform::kStillActive;
  if (!RunBootstrapSteps(state, instance, &exit_code)) return 0;
  platform::EndProcess(exit_code);
}
