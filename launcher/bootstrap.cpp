#include "launcher/bootstrap.h"

#include <cstring>

#include "archive/archive_reader.h"
#include "base/ascii.h"
#include "base/bounded_text.h"
#include "base/in_register.h"
#include "launcher/engine_start.h"
#include "launcher/language.h"
#include "launcher/member_copies.h"
#include "launcher/path_text.h"
#include "launcher/report.h"
#include "launcher/run_state.h"
#include "launcher/source_path.h"
#include "launcher/strings.h"
#include "launcher/work_directory.h"
#include "platform/launcher_windows.h"
#include "platform/text_format.h"
#include "ui/progress.h"
#include "ui/progress_dialog.h"

namespace {

constexpr size_t kVersionCapacity = 8;

// The executable folder (with its backslash) and stem (up to and including the dot before the
// extension); also settles quiet mode by the module's own name.
int TakeModulePath(RunState* run) {
  bool lost = false;
  if (platform::GetModulePath(run->module_path, sizeof run->module_path, &lost) == 0) {
    return lost ? RefuseUnusableFolder(*run, run->module_path)
                : RefuseLongText(*run, "module path");
  }
  const char* last = FindLastBackslash(run->module_path);
  const char* file_name = last != nullptr ? last + 1 : run->module_path;
  if (text::EqualsIgnoringAsciiCase(file_name, "ZiDidazo.exe") ||
      text::EqualsIgnoringAsciiCase(file_name, "ZeZivadaz.exe")) {
    run->show_progress = false;
  }

  char* folder = run->executable_folder;
  folder[0] = '\0';
  if (last != nullptr) {
    text::CopyPrefix(folder, sizeof run->executable_folder, run->module_path,
                     static_cast<size_t>(last - run->module_path));
    platform::ChangeDrive(text::UpperAscii(folder[0]) - 64);  // A is 1; a network path just fails
    platform::ChangeDirectory(folder);
    text::Append(folder, sizeof run->executable_folder, "\\");
  }

  // The stem ends just after the file name's last dot. A file name without a dot gets one, so
  // that the install script is still looked for beside the executable.
  text::Copy(run->executable_stem, sizeof run->executable_stem, run->module_path);
  const char* dot = std::strrchr(file_name, '.');
  if (dot != nullptr) {
    run->executable_stem[dot - run->module_path + 1] = '\0';
  } else if (!text::Append(run->executable_stem, sizeof run->executable_stem, ".")) {
    return RefuseLongText(*run, run->module_path);
  }
  return 1;
}

// A "<module path>.local" file or folder asks the loader to take DLLs from beside the installer
// instead of the system directory. Nobody ships an installer that way; whoever left it there
// wants their own code loaded into ours, so the run ends before anything is created.
int RefuseRedirectionFolder(const RunState& run) {
  char redirection[text::kPathCapacity];
  if (!text::Join(redirection, sizeof redirection, run.module_path, ".local")) {
    return RefuseLongText(run, run.module_path);
  }
  if (platform::GetAttributes(redirection) == platform::kNoAttributes) return 1;
  ReportError(run, IDS_REDIRECTION_FOLDER, redirection, nullptr);
  return 0;
}

// "init.ini" gives the dialog its message line; it is optional, its cleanup line is not.
int CopyGreeting(RunState* run) {
  const char* const name = InRegister("init.ini");
  char copy_path[text::kPathCapacity];
  CopyResult copied = CopyMember(run, name, nullptr, copy_path);
  if (EndsTheRun(copied)) return 0;
  if (!ListInCleanupScript(run, name)) return RefuseLongText(*run, run->work_directory);
  ReadMessageLineText(run, copy_path);
  return 1;
}

// The dialog, unless the run is quiet, at 10 %.
void ShowProgress(RunState* run) {
  ResetProgress(&run->progress, run->show_progress);
  if (run->show_progress) {
    CreateProgressDialog(&run->progress, run->instance, run->message_line_text);
  }
  SetProgress(&run->progress, 10);
}

// The install script is the stem followed by "cfg", as a member or a loose file; an archive
// that holds any ".AIC" member also has one. Only its presence counts.
int FindInstallScript(RunState* run) {
  if (!text::Join(run->install_script_path, sizeof run->install_script_path, run->executable_stem,
                  "cfg")) {
    return RefuseLongText(*run, run->executable_stem);
  }
  MemberStream* script = OpenMember(&run->archive, run->install_script_path);
  if (script != nullptr) {
    CloseMember(script);
    return 1;
  }
  if (HasInstallScriptMember(&run->archive)) return 1;
  WarnMissingInstallScript(*run);
  return 0;
}

// "temp.shr" is unpacked from its copy, not from the archive member of the same name.
int UnpackTemporaryFiles(RunState* run) {
  const char* const name = InRegister("temp.shr");
  char copy_path[text::kPathCapacity];
  CopyResult copied = CopyMember(run, name, nullptr, copy_path);
  if (EndsTheRun(copied)) return 0;
  if (copied == kCopied && !UnpackAndDelete(run, nullptr, name, copy_path)) return 0;
  SetProgress(&run->progress, 30);
  return 1;
}

// The engine from "inst32.shr", else from "inst16.shr"; the companion package of the one found.
int UnpackThirtyTwoBitEngine(RunState* run) {
  const char* engine = InRegister("inst32.shr");
  const char* companion = "unst32.shr";
  const char* const package = InRegister(kEnginePackageName);
  char copy_path[text::kPathCapacity];
  CopyResult copied = CopyMember(run, engine, package, copy_path);
  if (EndsTheRun(copied)) return 0;
  if (copied == kMissing) {
    engine = "inst16.shr";
    companion = "unst16.shr";
    if (!CopyRequiredMember(run, engine, package, copy_path)) return 0;
  }
  if (!UnpackEnginePackage(run, engine, copy_path, 40)) return 0;
  if (!UnpackOptionalPackage(run, companion)) return 0;
  SetProgress(&run->progress, 60);
  return 1;
}

// The 16-bit engine runs through "spawn.exe"; its companion package comes first.
int UnpackSixteenBitEngine(RunState* run) {
  const char* const spawn = InRegister("spawn.exe");
  const char* const engine = InRegister("inst16.shr");
  char copy_path[text::kPathCapacity];
  if (!CopyRequiredMember(run, spawn, nullptr, copy_path)) return 0;
  if (!ListInCleanupScript(run, spawn)) return RefuseLongText(*run, run->work_directory);
  if (!UnpackOptionalPackage(run, "unst16.shr")) return 0;
  SetProgress(&run->progress, 40);
  if (!CopyRequiredMember(run, engine, kEnginePackageName, copy_path)) return 0;
  return UnpackEnginePackage(run, engine, copy_path, 60);
}

// The engine's language library: the first of the candidates found becomes "~0000.dll".
int CopyLanguageLibrary(RunState* run) {
  char suffix[kLanguageSuffixCapacity] = "";
  GetLanguageSuffix(suffix, sizeof suffix);
  char localized[32];
  platform::FormatText(localized, sizeof localized, "Install%s.dll", suffix);
  const char* const library = InRegister(kLanguageLibraryName);
  const char* candidates[] = {localized, "Install.dll", "InstallEnu.dll", library};
  char copy_path[text::kPathCapacity];
  for (const char* candidate : candidates) {
    CopyResult copied = CopyMember(run, candidate, library, copy_path);
    if (EndsTheRun(copied)) return 0;
    if (copied == kCopied) break;
  }
  ListInCleanupScript(run, library);
  SetProgress(&run->progress, 76);
  return 1;
}

// "dosshell.pif": the engine is never started without it.
int CopyShellSettings(RunState* run) {
  char copy_path[text::kPathCapacity];
  const char* const name = InRegister("dosshell.pif");
  if (!CopyRequiredMember(run, name, nullptr, copy_path)) return 0;
  ListInCleanupScript(run, name);
  SetProgress(&run->progress, 80);
  return 1;
}

// The script's closing lines. An engine that cleans up by a script missing some of its lines
// would leave files behind, so such a script ends the run.
int FinishCleanupScript(RunState* run) {
  CloseCleanupScript(run);
  if (!run->cleanup_script.line_lost) return 1;
  return RefuseSystemError(*run, IDS_CLEANUP_SCRIPT_INCOMPLETE, run->cleanup_script.path, nullptr,
                           nullptr, run->cleanup_script.lost_error, false);
}

// The engine's command line, with the install script in its network form. The copy buffer is
// no longer needed once every member is out.
int PrepareEngineCommandLine(RunState* run) {
  ResolveSourcePath(run->install_script_path);
  platform::FreeMemory(run->copy_buffer);
  run->copy_buffer = nullptr;
  SetProgress(&run->progress, 100);
  if (!BuildEngineCommandLine(*run, run->engine_command_line, sizeof run->engine_command_line)) {
    return RefuseLongText(*run, "engine command line");
  }
  return 1;
}

// The steps in their order; 0 as soon as one ends the run. The engine's exit code goes to
// *exit_code once it has run.
int RunSteps(RunState* run, uint32_t* exit_code) {
  run->copy_buffer = platform::AllocateZeroed(kCopyBlockSize);
  if (run->copy_buffer == nullptr) {
    ReportError(*run, IDS_OUT_OF_MEMORY, nullptr, nullptr);
    return 0;
  }

  uint32_t version = platform::GetSystemVersion();
  char version_text[kVersionCapacity];
  platform::FormatText(version_text, sizeof version_text, "%d.%d", static_cast<int>(version & 0xFF),
                       static_cast<int>((version >> 8) & 0xFF));
  const bool thirty_two_bit = TakesThirtyTwoBitRoute(version_text);

  if (!TakeModulePath(run)) return 0;
  if (!RefuseRedirectionFolder(*run)) return 0;
  SelectArchiveSource(&run->archive, run->module_path);
  if (!MakeWorkDirectory(run)) return 0;
  if (!CopyGreeting(run)) return 0;
  ShowProgress(run);
  Trace("cmdline='%s'", run->kept_command_line);
  if (!BuildPassedThroughArguments(run->kept_command_line, run->executable_folder,
                                   run->passed_arguments, sizeof run->passed_arguments)) {
    return RefuseLongText(*run, "command line");
  }
  if (!FindInstallScript(run)) return 0;
  if (!UnpackTemporaryFiles(run)) return 0;
  if (!(thirty_two_bit ? UnpackThirtyTwoBitEngine(run) : UnpackSixteenBitEngine(run))) return 0;
  if (!CopyLanguageLibrary(run)) return 0;
  if (!CopyShellSettings(run)) return 0;
  if (!FinishCleanupScript(run)) return 0;
  if (!PrepareEngineCommandLine(run)) return 0;

  if (run->show_progress) DestroyProgressDialog(&run->progress);
  // Every member is out: the engine may do with setup.exe what it likes, even replace it.
  CloseArchive(&run->archive);
  *exit_code = RunEngine(run);
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
  state->instance = instance;
  *exit_code = platform::kStillActive;
  int launched = RunSteps(state, exit_code);
  if (state->copy_buffer != nullptr) {
    // A run that ends early keeps its buffer until the process ends; tests run many.
    platform::FreeMemory(state->copy_buffer);
    state->copy_buffer = nullptr;
  }
  CloseArchive(&state->archive);
  return launched;
}

int RunBootstrap(RunState* state, void* instance) {
  uint32_t exit_code = platform::kStillActive;
  if (!RunBootstrapSteps(state, instance, &exit_code)) return 0;
  platform::EndProcess(exit_code);
}
