#include "package/unpacker.h"

#include <cstring>

#include "launcher/run_state.h"
#include "platform/bounded_text.h"
#include "ui/progress.h"

UnpackContext g_unpack_context = {nullptr, {}, {}, platform::kNoFile, 0, false, false, nullptr};

namespace {

constexpr char kCleanupVerb[] = "del ";
constexpr size_t kCleanupVerbLength = sizeof kCleanupVerb - 1;

// Whether two paths name the same file as Windows compares them: ASCII case and the kind of
// separator do not matter.
bool SamePath(const char* a, const char* b) {
  for (;; ++a, ++b) {
    char x = (*a >= 'a' && *a <= 'z') ? static_cast<char>(*a - 'a' + 'A') : *a;
    char y = (*b >= 'a' && *b <= 'z') ? static_cast<char>(*b - 'a' + 'A') : *b;
    if (x == '/') x = '\\';
    if (y == '/') y = '\\';
    if (x != y) return false;
    if (x == '\0') return true;
  }
}

void CloseOutputFile() {
  platform::CloseFile(g_unpack_context.output_file);
  g_unpack_context.output_file = platform::kNoFile;
}

// Unpacks the next file of the package. 1 when it was written whole and listed; 0 stops the
// package.
int UnpackNextFile(const char* work_dir, const char* package_path) {
  UnpackContext& context = g_unpack_context;
  uint8_t record_bytes[package::kRecordSize];
  if (ReadMember(context.stream, record_bytes, package::kRecordSize) !=
      static_cast<int32_t>(package::kRecordSize)) {
    return 0;
  }
  package::DecodeFileRecord(record_bytes, &context.record);
  if (!package::IsSafeRecordName(context.record.name, package::kNameFieldSize)) return 0;

  // The cleanup line is "del " and the output path; building the path inside the line means a
  // file is only created when its line will fit whole.
  char cleanup_line[kPathCapacity];
  if (!text::Copy(cleanup_line, sizeof cleanup_line, kCleanupVerb) ||
      !text::Append(cleanup_line, sizeof cleanup_line, work_dir) ||
      !text::Append(cleanup_line, sizeof cleanup_line, context.record.name)) {
    return 0;
  }
  const char* output_path = cleanup_line + kCleanupVerbLength;
  // A package must not replace itself while it is being read, nor the cleanup script that
  // lists what the run leaves behind, nor the engine unless it is the engine's own package.
  if (SamePath(output_path, package_path) ||
      SamePath(output_path, g_run_state.cleanup_script_path) ||
      SamePath(output_path, g_run_state.reserved_engine_path)) {
    return 0;
  }

  // A read-only file of the same name must give way, as CREATE_ALWAYS alone would refuse it.
  platform::SetAttributes(output_path, platform::kAttributeNormal);
  context.output_file = platform::CreateForReadWrite(output_path);
  if (context.output_file == platform::kNoFile) return 0;

  context.compressed_handed_out = 0;
  context.write_failed = false;
  int32_t result =
      DecodeImplodeStream(PackageReadCallback, PackageWriteCallback, context.work_area, nullptr);
  if (result != IMPLODE_OK || context.abort || context.write_failed) {
    CloseOutputFile();
    return 0;
  }
  // The time is the file's look, not its content: a file whose time cannot be set still counts.
  platform::SetFileDosDateTime(context.output_file, context.record.dos_date,
                               context.record.dos_time);
  CloseOutputFile();
  AppendCleanupLine(cleanup_line);
  return 1;
}

}  // namespace

int UnpackPackageFile(const char* work_dir, const char* package_name) {
  UnpackContext& context = g_unpack_context;
  char package_path[kPathCapacity];
  if (!text::Copy(package_path, sizeof package_path, work_dir) ||
      !text::Append(package_path, sizeof package_path, package_name)) {
    return 0;
  }
  context.stream = OpenMember(package_path);
  if (context.stream == nullptr) return 0;

  int whole = 0;
  uint8_t header_bytes[package::kHeaderSize];
  if (ReadMember(context.stream, header_bytes, package::kHeaderSize) ==
      static_cast<int32_t>(package::kHeaderSize)) {
    package::DecodePackageHeader(header_bytes, &context.header);
    // A count below 1 is a damaged header, not an empty package: nothing to unpack, no success.
    if (context.header.file_count >= 1) {
      context.work_area =
          static_cast<ImplodeWorkArea*>(platform::AllocateZeroed(sizeof(ImplodeWorkArea)));
    }
  }
  if (context.work_area != nullptr) {
    whole = 1;
    for (int32_t file = 0; file < context.header.file_count && whole; ++file) {
      whole = UnpackNextFile(work_dir, package_path);
    }
    platform::FreeMemory(context.work_area);
    context.work_area = nullptr;
  }
  CloseMember(context.stream);
  context.stream = nullptr;
  return whole;
}

uint32_t PackageReadCallback(uint8_t* buffer, uint32_t* count, void* /*user_param*/) {
  UnpackContext& context = g_unpack_context;
  // The count advances by what is asked of the package, whatever the read brings, so a stream
  // never takes more than its record's share and the next record is read from the right place.
  uint32_t wanted = *count;
  if (wanted > kImplodeInputBlockSize) wanted = kImplodeInputBlockSize;
  uint32_t left = context.record.compressed_size - context.compressed_handed_out;
  if (wanted > left) wanted = left;
  context.compressed_handed_out += wanted;
  if (wanted == 0) return 0;

  StepProgress();
  int32_t got = ReadMember(context.stream, buffer, static_cast<int32_t>(wanted));
  if (got < 0) {
    context.abort = true;
    return 0;
  }
  return static_cast<uint32_t>(got);
}

void PackageWriteCallback(uint8_t* buffer, uint32_t* count, void* /*user_param*/) {
  UnpackContext& context = g_unpack_context;
  if (context.abort || context.write_failed) return;
  int32_t written = platform::WriteBytes(context.output_file, buffer, *count);
  if (written < 0 || static_cast<uint32_t>(written) != *count) context.write_failed = true;
}

void ResetUnpackContext() {
  std::memset(&g_unpack_context, 0, sizeof g_unpack_context);
  g_unpack_context.output_file = platform::kNoFile;
}
