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

std::string Bytes(uint32_t n) {
  return std::to_string(n) + (n == 1 ? " byte" : " bytes");
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
    view.problems.push_back("short package: " + Bytes(size) + ", but a package header takes " +
                            Bytes(package::kHeaderSize));
    return view;
  }
  RangeReader range(file, offset, size);
  package::PackageReader reader;
  if (!package::BeginPackage(&reader, package::PackageSource{ReadRange, SkipRange, &range})) {
    view.file_count = reader.header.file_count;
    view.problems.push_back(reader.status == package::PACKAGE_BAD_FILE_COUNT
                                ? "bad package header: file count " +
                                      std::to_string(view.file_count) + " (must be 1 to 32767)"
                                : std::string("the package header cannot be read"));
    return view;
  }
  view.file_count = reader.header.file_count;

  for (int32_t index = 1; index <= view.file_count; ++index) {
    const std::string which =
        "file " + std::to_string(index) + " of " + std::to_string(view.file_count);
    if (size - reader.position < package::kRecordSize) {
      view.problems.push_back("short package: the record of " + which + " needs " +
                              Bytes(package::kRecordSize) + " at offset " +
                              std::to_string(reader.position) + ", but the package ends after " +
                              Bytes(size));
      return view;
    }
    package::FileRecord record;
    if (!package::NextPackageFile(&reader, &record)) {
      view.problems.push_back("the record of " + which + " cannot be read");
      return view;
    }
    PackageFile entry = ToPackageFile(record, offset + reader.position);
    if (entry.compressed_size > size - reader.position) {
      view.problems.push_back("short package: " + which + " needs " + Bytes(entry.compressed_size) +
                              " of stream, but only " + Bytes(size - reader.position) +
                              " are left");
      return view;
    }
    if (!package::SkipPackageStream(&reader)) {
      view.problems.push_back("the stream of " + which + " cannot be read");
      return view;
    }
    view.files.push_back(entry);
  }
  if (reader.position != size) {
    view.problems.push_back(Bytes(size - reader.position) +
                            " after the last file, where nothing belongs");
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

std::string DescribeDecodeProblem(const DecodeOutcome& outcome, const PackageFile& entry) {
  if (outcome.read_failed) return "reading its stream failed";
  switch (outcome.result) {
    case IMPLODE_OK:
      break;
    case IMPLODE_BAD_DICTIONARY:
      return "bad stream header: dictionary size code " + std::to_string(outcome.dictionary_byte) +
             " (must be 4, 5 or 6)";
    case IMPLODE_BAD_TYPE:
      return "bad stream header: compression type " + std::to_string(outcome.type_byte) +
             " (must be 0 for binary or 1 for ASCII)";
    case IMPLODE_TOO_SHORT:
      return "stream too short: " + Bytes(entry.compressed_size) +
             " cannot hold a stream header and an end-of-stream code";
    case IMPLODE_REACHES_BEFORE_START:
      return "a copy reaches back before the stream's first byte (after " +
             std::to_string(outcome.decoded_size) + " bytes decoded)";
    case IMPLODE_TRUNCATED:
      return "truncated stream: its " + Bytes(entry.compressed_size) +
             " end before the end-of-stream code (" + std::to_string(outcome.decoded_size) +
             " bytes decoded)";
    default:
      return "decoder failed with code " + std::to_string(outcome.result);
  }
  // The launcher reads the next record from where the decoder's last read ended; bytes left
  // behind would be taken for that record.
  if (outcome.unread != 0) {
    return "its stream ends " + Bytes(outcome.unread) +
           " before the compressed size its record gives, so the next record would be misread";
  }
  if (entry.uncompressed_size != 0 && outcome.decoded_size != entry.uncompressed_size) {
    return "decodes to " + std::to_string(outcome.decoded_size) + " bytes, but its record says " +
           std::to_string(entry.uncompressed_size);
  }
  return "";
}

}  // namespace tool
