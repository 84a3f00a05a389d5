#include "launcher/member_copies.h"

#include "base/bounded_text.h"
#include "launcher/report.h"
#include "launcher/strings.h"
#include "launcher/work_directory.h"
#include "package/unpacker.h"
#include "platform/launcher_windows.h"

namespace {

// Where member name is looked up: beside the executable, or in its archive under that name.
bool MemberPath(const RunState& run, const char* name, char* path) {
  return text::Join(path, text::kPathCapacity, run.executable_folder, name);
}

}  // namespace

CopyResult CopyMember(RunState* run, const char* name, const char* target_name, char* target_path) {
  char member_path[text::kPathCapacity];
  if (!MemberPath(*run, name, member_path) ||
      !text::Join(target_path, text::kPathCapacity, run->work_directory,
                  target_name != nullptr ? target_name : name)) {
    return kTooLong;
  }
  switch (CopyMemberToFile(&run->archive, member_path, target_path, run->copy_buffer)) {
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

int EndRun(const RunState& run, CopyResult copied, const char* name) {
  return copied == kTooLong ? RefuseLongText(run, name) : RefuseDamagedInstaller(run, name);
}

int CopyRequiredMember(RunState* run, const char* name, const char* target_name,
                       char* target_path) {
  CopyResult copied = CopyMember(run, name, target_name, target_path);
  if (copied == kCopied) return 1;
  if (EndsTheRun(copied)) return EndRun(*run, copied, name);
  char member_path[text::kPathCapacity];
  MemberPath(*run, name, member_path);  // it fitted for the copy
  ReportError(*run, IDS_COPY_FAILED, member_path, target_path);
  return 0;
}

void UnpackAndDelete(RunState* run, ArchiveReader* source, const char* package_name,
                     const char* copy_path) {
  UnpackPackageFile(PackageTarget(run, false), source, package_name);
  platform::RemoveFile(copy_path);
}

int UnpackOptionalPackage(RunState* run, const char* name) {
  char copy_path[text::kPathCapacity];
  CopyResult copied = CopyMember(run, name, nullptr, copy_path);
  if (EndsTheRun(copied)) return EndRun(*run, copied, name);
  if (copied == kCopied) UnpackAndDelete(run, &run->archive, name, copy_path);
  return 1;
}

int UnpackEnginePackage(RunState* run, const char* member_name, const char* copy_path,
                        int percent_after) {
  if (!UnpackPackageFile(PackageTarget(run, true), &run->archive, kEnginePackageName)) {
    char member_path[text::kPathCapacity];
    MemberPath(*run, member_name, member_path);
    ReportError(*run, IDS_ENGINE_DAMAGED, member_path, "");
    return 0;
  }
  SetProgress(&run->progress, percent_after);
  platform::RemoveFile(copy_path);
  return 1;
}
