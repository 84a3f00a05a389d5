#include "launcher/member_copies.h"

#include <cstring>

#include "base/bounded_text.h"
#include "launcher/report.h"
#include "launcher/strings.h"
#include "launcher/work_directory.h"
#include "package/unpacker.h"
#include "platform/files.h"

namespace {

// Where member name is looked up: beside the executable, or in its archive under that name.
bool MemberPath(const RunState& run, const char* name, char* path) {
  return text::Join(path, text::kPathCapacity, run.executable_folder, name);
}

int RemoveOnce(void* path) {
  return platform::RemoveFile(static_cast<const char*>(path));
}

// A package's copy goes once it is unpacked; a scanner that still looks at it is waited out, as
// the copy has no cleanup line. One held for good gets one, so that it goes with the rest.
void DeleteCopy(RunState* run, const char* copy_path) {
  if (!WaitOutHolder(RemoveOnce, const_cast<char*>(copy_path), copy_path)) {
    ListInCleanupScript(run, copy_path + std::strlen(run->work_directory));
  }
}

// Member name's failure, string id with the member's path (it fitted for the copy) and second,
// and the system's reason unless error is 0.
int RefuseMember(const RunState& run, uint32_t id, const char* name, const char* second,
                 uint32_t error) {
  char member_path[text::kPathCapacity];
  MemberPath(run, name, member_path);
  return RefuseSystemError(run, id, member_path, second, nullptr, error, false);
}

}  // namespace

CopyResult CopyMember(RunState* run, const char* name, const char* target_name, char* target_path) {
  char member_path[text::kPathCapacity];
  if (!MemberPath(*run, name, member_path) ||
      !text::Join(target_path, text::kPathCapacity, run->work_directory,
                  target_name != nullptr ? target_name : name)) {
    RefuseLongText(*run, name);
    return kTooLong;
  }
  switch (CopyMemberToFile(&run->archive, member_path, target_path, run->copy_buffer)) {
    case COPY_DONE:
      return kCopied;
    case COPY_DAMAGED:
      RefuseDamagedInstaller(*run, name);
      return kDamaged;
    default:
      return kMissing;
  }
}

bool EndsTheRun(CopyResult copied) {
  return copied == kTooLong || copied == kDamaged;
}

int CopyRequiredMember(RunState* run, const char* name, const char* target_name,
                       char* target_path) {
  CopyResult copied = CopyMember(run, name, target_name, target_path);
  if (copied == kCopied) return 1;
  const uint32_t error = platform::LastError();
  if (EndsTheRun(copied)) return 0;
  return RefuseMember(*run, IDS_COPY_FAILED, name, target_path, error);
}

int UnpackAndDelete(RunState* run, ArchiveReader* source, const char* package_name,
                    const char* copy_path) {
  UnpackTarget* target = PackageTarget(run, false);
  UnpackPackageFile(target, source, package_name);
  // A copy that another program holds for good is no missing package: it must not be skipped.
  if (target->open_error != 0) {
    return RefuseMember(*run, IDS_COPY_FAILED, package_name, copy_path, target->open_error);
  }
  DeleteCopy(run, copy_path);
  return 1;
}

int UnpackOptionalPackage(RunState* run, const char* name) {
  char copy_path[text::kPathCapacity];
  CopyResult copied = CopyMember(run, name, nullptr, copy_path);
  if (EndsTheRun(copied)) return 0;
  return copied == kCopied ? UnpackAndDelete(run, &run->archive, name, copy_path) : 1;
}

int UnpackEnginePackage(RunState* run, const char* member_name, const char* copy_path,
                        int percent_after) {
  UnpackTarget* target = PackageTarget(run, true);
  if (!UnpackPackageFile(target, &run->archive, kEnginePackageName)) {
    // A copy held for good by another program is the copy's failure, not a damaged engine.
    if (target->open_error != 0) {
      return RefuseMember(*run, IDS_COPY_FAILED, member_name, copy_path, target->open_error);
    }
    return RefuseMember(*run, IDS_ENGINE_DAMAGED, member_name, nullptr, 0);
  }
  SetProgress(&run->progress, percent_after);
  DeleteCopy(run, copy_path);
  return 1;
}
