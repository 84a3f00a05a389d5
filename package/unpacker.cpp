#include "package/unpacker.h"

#include "base/ascii.h"
#include "base/bounded_text.h"
#include "base/file_name.h"

namespace {

// Whether two paths name the same file as Windows compares them: ASCII case and the kind of
// separator do not matter.
bool SamePath(const char* a, const char* b) {
  for (;; ++a, ++b) {
    char x = *a == '/' ? '\\' : text::UpperAscii(*a);
    char y = *b == '/' ? '\\' : text::UpperAscii(*b);
    if (x != y) return false;
    if (x == '\0') return true;
  }
}

int32_t ReadFromMember(void* stream, void* buffer, int32_t count) {
  return ReadMember(static_cast<MemberStream*>(stream), buffer, count);
}

bool MayWrite(const UnpackTarget& target, const char* output_path, const char* package_path) {
  // A package must not replace itself while it is being read.
  if (SamePath(output_path, package_path)) return false;
  for (const char* kept : target.kept_paths) {
    if (kept != nullptr && SamePath(output_path, kept)) return false;
  }
  return true;
}

// One attempt at opening the package.
struct PackageOpening {
  ArchiveReader* source;
  const char* path;
  MemberStream* stream;
};

int OpenPackage(void* context) {
  PackageOpening* opening = static_cast<PackageOpening*>(context);
  opening->stream = OpenMember(opening->source, opening->path);
  return opening->stream != nullptr ? 1 : 0;
}

void CloseOutputFile(UnpackContext* context) {
  platform::CloseFile(context->output_file);
  context->output_file = platform::kNoFile;
}

// Unpacks the next file of the package. 1 when it was written whole and reported; 0 stops the
// package.
int UnpackNextFile(UnpackContext* context, ImplodeWorkArea* work_area, const char* package_path) {
  UnpackTarget& target = *context->target;
  package::FileRecord record;
  if (!package::NextPackageFile(&context->package, &record)) return 0;
  if (text::CheckFileName(record.name, package::kNameFieldSize) != text::FILE_NAME_OK) return 0;

  // A path that does not fit is refused, never cut: a cut one would name another file.
  char output_path[text::kPathCapacity];
  if (!text::Join(output_path, sizeof output_path, target.folder, record.name) ||
      !MayWrite(target, output_path, package_path)) {
    return 0;
  }

  // A read-only file of the same name must give way, as CREATE_ALWAYS alone would refuse it.
  platform::SetAttributes(output_path, platform::kAttributeNormal);
  context->output_file = platform::CreateForReadWrite(output_path);
  if (context->output_file == platform::kNoFile) return 0;

  context->write_failed = false;
  int32_t result =
      DecodeImplodeStream(PackageReadCallback, PackageWriteCallback, work_area, context);
  if (result != IMPLODE_OK || target.read_failed || context->write_failed) {
    CloseOutputFile(context);
    return 0;
  }
  // The time is the file's look, not its content: a file whose time cannot be set still counts.
  platform::SetFileDosDateTime(context->output_file, record.dos_date, record.dos_time);
  CloseOutputFile(context);
  target.file_written(target.context, output_path);
  return 1;
}

}  // namespace

int UnpackPackageFile(UnpackTarget* target, ArchiveReader* source, const char* package_name) {
  char package_path[text::kPathCapacity];
  if (!text::Join(package_path, sizeof package_path, target->folder, package_name)) {
    return 0;
  }
  PackageOpening opening = {source, package_path, nullptr};
  if (target->while_held != nullptr) {
    target->while_held(OpenPackage, &opening, package_path);
  } else {
    OpenPackage(&opening);
  }
  target->open_error = opening.stream == nullptr ? platform::LastError() : 0;
  UnpackContext context = {target, opening.stream, {}, platform::kNoFile, false};
  if (context.stream == nullptr) return 0;

  int whole = 0;
  ImplodeWorkArea* work_area = nullptr;
  if (package::BeginPackage(&context.package,
                            package::PackageSource{ReadFromMember, nullptr, context.stream})) {
    work_area = static_cast<ImplodeWorkArea*>(platform::AllocateZeroed(sizeof(ImplodeWorkArea)));
  }
  if (work_area != nullptr) {
    whole = 1;
    for (int32_t file = 0; file < context.package.header.file_count && whole; ++file) {
      whole = UnpackNextFile(&context, work_area, package_path);
    }
    // A package read straight out of the archive is checked as it is read; whatever follows its
    // last stream is read too, so that the check sees every byte of the member.
    if (whole && context.stream->checked) {
      int32_t got;
      while ((got = ReadMember(context.stream, work_area->input_buffer, kImplodeInputBlockSize)) >
             0) {
      }
      whole = got == 0 ? 1 : 0;
    }
    platform::FreeMemory(work_area);
  }
  CloseMember(context.stream);
  return whole;
}

uint32_t PackageReadCallback(uint8_t* buffer, uint32_t* count, void* user_param) {
  UnpackContext* context = static_cast<UnpackContext*>(user_param);
  // Blocks are asked for whole, and a stream never takes more than its record's share.
  uint32_t wanted = *count;
  if (wanted > kImplodeInputBlockSize) wanted = kImplodeInputBlockSize;
  if (context->package.stream_left == 0) return 0;
  UnpackTarget& target = *context->target;
  target.block_read(target.context);
  int32_t got = package::ReadPackageStream(&context->package, buffer, wanted);
  if (got < 0) {
    target.read_failed = true;
    return 0;
  }
  return static_cast<uint32_t>(got);
}

void PackageWriteCallback(uint8_t* buffer, uint32_t* count, void* user_param) {
  UnpackContext* context = static_cast<UnpackContext*>(user_param);
  if (context->target->read_failed || context->write_failed) return;
  int32_t written = platform::WriteBytes(context->output_file, buffer, *count);
  if (written < 0 || static_cast<uint32_t>(written) != *count) context->write_failed = true;
}
