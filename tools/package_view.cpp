#include "tools/package_view.h"

#include <cstring>

#include "base/ascii.h"
#include "implode/implode.h"
#include "package/package_format.h"
#include "package/package_reader.h"
#include "tools/progress_bar.h"

namespace tool {
namespace {

PackageFile ToPackageFile(const package::FileRecord& record, uint32_t stream_offset) {
  PackageFile file;
  size_t length = 0;
  while (length < package::kNameFieldSize && record.name[length] != '\0')
    ++length;
  file.name.assign(record.name, length);
  file.name_terminated = length < package::kNameFieldSize;
  file.attributes = record.attributes;
  file.compressed_size = record.compressed_size;
  file.dos_date = record.dos_date;
  file.dos_time = record.dos_time;
  file.uncompressed_size = record.uncompressed_size;
  file.stream_offset = stream_offset;
  return file;
}

// The installer as a package source: a range of the file, read in large blocks. A read brings
// fewer bytes than asked only at the range's end, as the package reader expects.
int32_t ReadRange(void* reader, void* buffer, int32_t count) {
  auto* range = static_cast<RangeReader*>(reader);
  auto* bytes = static_cast<uint8_t*>(buffer);
  int32_t done = 0;
  while (done < count) {
    int32_t got = range->Read(bytes + done, static_cast<uint32_t>(count - done));
    if (got < 0) return -1;
    if (got == 0) break;
    done += got;
  }
  return done;
}

int SkipRange(void* reader, uint32_t count) {
  return static_cast<RangeReader*>(reader)->Skip(count) ? 1 : 0;
}

struct DecodeContext {
  package::PackageReader package;
  const ByteSink& sink;
  ProgressBar* progress;
  DecodeOutcome outcome;
  bool header_seen;
};

uint32_t ReadStream(uint8_t* buffer, uint32_t* count, void* user_param) {
  auto* context = static_cast<DecodeContext*>(user_param);
  int32_t got = package::ReadPackageStream(&context->package, buffer, *count);
  if (got < 0) {
    context->outcome.read_failed = true;
    return 0;
  }
  if (!context->header_seen && got >= 2) {
    context->header_seen = true;
    context->outcome.type_byte = buffer[0];
    context->outcome.dictionary_byte = buffer[1];
  }
  if (context->progress != nullptr) context->progress->Advance(static_cast<uint64_t>(got));
  return static_cast<uint32_t>(got);
}

void WriteStream(uint8_t* buffer, uint32_t* count, void* user_param) {
  auto* context = static_cast<DecodeContext*>(user_param);
  context->outcome.decoded_size += *count;
  if (*count != 0) context->sink(buffer, *count);
}

}  // namespace

PackageView ReadPackage(InputFile& file, uint32_t offset, uint32_t size) {
  PackageView view;
  if (size < package::kHeaderSize) {
    view.problems.push_back(MakeProblem(ProblemCode::kShortPackage, {size, package::kHeaderSize}));
    return view;
  }
  RangeReader range(file, offset, size);
  package::PackageReader reader;
  if (!package::BeginPackage(&reader, package::PackageSource{ReadRange, SkipRange, &range})) {
    view.file_count = reader.header.file_count;
    view.problems.push_back(reader.status == package::PACKAGE_BAD_FILE_COUNT
                                ? MakeProblem(ProblemCode::kBadFileCount, {view.file_count})
                                : MakeProblem(ProblemCode::kPackageUnreadable));
    return view;
  }
  view.file_count = reader.header.file_count;

  for (int32_t index = 1; index <= view.file_count; ++index) {
    if (size - reader.position < package::kRecordSize) {
      view.problems.push_back(
          MakeProblem(ProblemCode::kRecordPastEnd,
                      {index, view.file_count, package::kRecordSize, reader.position, size}));
      return view;
    }
    package::FileRecord record;
    if (!package::NextPackageFile(&reader, &record)) {
      view.problems.push_back(
          MakeProblem(ProblemCode::kRecordUnreadable, {index, view.file_count}));
      return view;
    }
    PackageFile entry = ToPackageFile(record, offset + reader.position);
    if (entry.compressed_size > size - reader.position) {
      view.problems.push_back(
          MakeProblem(ProblemCode::kStreamPastEnd,
                      {index, view.file_count, entry.compressed_size, size - reader.position}));
      return view;
    }
    if (!package::SkipPackageStream(&reader)) {
      view.problems.push_back(
          MakeProblem(ProblemCode::kStreamUnreadable, {index, view.file_count}));
      return view;
    }
    view.files.push_back(entry);
  }
  if (reader.position != size) {
    view.problems.push_back(
        MakeProblem(ProblemCode::kBytesAfterLastFile, {size - reader.position}));
  }
  return view;
}

bool IsPackageMember(const MemberInfo& member, const PackageView& view) {
  static const char kExtension[] = ".shr";
  const size_t n = sizeof kExtension - 1;
  const std::string& name = member.name;
  if (name.size() >= n &&
      text::EqualsIgnoringAsciiCase(name.c_str() + name.size() - n, kExtension)) {
    return true;
  }
  return view.problems.empty() && !view.files.empty();
}

DecodeOutcome DecodePackageFile(InputFile& file, const PackageFile& entry, ImplodeWorkArea* work,
                                const ByteSink& sink, ProgressBar* progress) {
  RangeReader range(file, entry.stream_offset, entry.compressed_size);
  DecodeContext context{{}, sink, progress, DecodeOutcome{-1, false, 0, 0, 0, 0}, false};
  package::BeginPackageStream(&context.package,
                              package::PackageSource{ReadRange, SkipRange, &range},
                              entry.compressed_size);
  // Strictly: a copy that reaches before the stream's start is damage to the tool, even though
  // the launcher reads its window's history there.
  context.outcome.result = DecodeImplodeStreamStrictly(ReadStream, WriteStream, work, &context);
  context.outcome.unread = context.package.stream_left;
  return context.outcome;
}

std::optional<Problem> DecodeProblem(const DecodeOutcome& outcome, const PackageFile& entry) {
  if (outcome.read_failed) return MakeProblem(ProblemCode::kStreamReadFailed);
  const auto decoded = static_cast<int64_t>(outcome.decoded_size);
  switch (outcome.result) {
    case IMPLODE_OK:
      break;
    case IMPLODE_BAD_DICTIONARY:
      return MakeProblem(ProblemCode::kBadDictionary, {outcome.dictionary_byte});
    case IMPLODE_BAD_TYPE:
      return MakeProblem(ProblemCode::kBadType, {outcome.type_byte});
    case IMPLODE_TOO_SHORT:
      return MakeProblem(ProblemCode::kStreamTooShort, {entry.compressed_size});
    case IMPLODE_REACHES_BEFORE_START:
      return MakeProblem(ProblemCode::kCopyBeforeStart, {decoded});
    case IMPLODE_TRUNCATED:
      return MakeProblem(ProblemCode::kStreamTruncated, {entry.compressed_size, decoded});
    default:
      return MakeProblem(ProblemCode::kDecoderFailed, {outcome.result});
  }
  // The launcher reads the next record from where the decoder's last read ended; bytes left
  // behind would be taken for that record.
  if (outcome.unread != 0) return MakeProblem(ProblemCode::kStreamEndsEarly, {outcome.unread});
  if (entry.uncompressed_size != 0 && outcome.decoded_size != entry.uncompressed_size) {
    return MakeProblem(ProblemCode::kDecodedSizeDiffers, {decoded, entry.uncompressed_size});
  }
  return std::nullopt;
}

}  // namespace tool
