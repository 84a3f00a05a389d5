#include "tools/package_view.h"

#include <cstring>

#include "implode/implode.h"
#include "tools/progress_bar.h"

namespace tool {
namespace {

constexpr uint32_t kPackageHeaderSize = 58;
constexpr uint32_t kFileCountAt = 16;
constexpr int32_t kMaxFileCount = 32767;

constexpr uint32_t kFileRecordSize = 168;
constexpr size_t kRecordNameSize = 128;
constexpr size_t kRecordAttributesAt = 128;
constexpr size_t kRecordCompressedSizeAt = 136;
constexpr size_t kRecordDosDateAt = 140;
constexpr size_t kRecordDosTimeAt = 144;
constexpr size_t kRecordUncompressedSizeAt = 156;

uint32_t Load32(const uint8_t* bytes) {
  return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
         static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

PackageFile DecodeRecord(const uint8_t* record, uint32_t stream_offset) {
  PackageFile file;
  const char* name = reinterpret_cast<const char*>(record);
  size_t length = 0;
  while (length < kRecordNameSize && name[length] != '\0')
    ++length;
  file.name.assign(name, length);
  file.name_terminated = length < kRecordNameSize;
  file.attributes = Load32(record + kRecordAttributesAt);
  file.compressed_size = Load32(record + kRecordCompressedSizeAt);
  file.dos_date = Load32(record + kRecordDosDateAt);
  file.dos_time = Load32(record + kRecordDosTimeAt);
  file.uncompressed_size = Load32(record + kRecordUncompressedSizeAt);
  file.stream_offset = stream_offset;
  return file;
}

std::string Bytes(uint32_t n) {
  return std::to_string(n) + (n == 1 ? " byte" : " bytes");
}

struct DecodeContext {
  RangeReader reader;
  const ByteSink& sink;
  ProgressBar* progress;
  DecodeOutcome outcome;
  bool header_seen;
};

uint32_t ReadStream(uint8_t* buffer, uint32_t* count, void* user_param) {
  auto* context = static_cast<DecodeContext*>(user_param);
  int32_t got = context->reader.Read(buffer, *count);
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
  PackageView package;
  if (size < kPackageHeaderSize) {
    package.problems.push_back("short package: " + Bytes(size) + ", but a package header takes " +
                               Bytes(kPackageHeaderSize));
    return package;
  }
  uint8_t header[kPackageHeaderSize];
  if (!file.ReadAt(offset, header, sizeof header)) {
    package.problems.push_back("the package header cannot be read");
    return package;
  }
  package.file_count = static_cast<int16_t>(header[kFileCountAt] | header[kFileCountAt + 1] << 8);
  if (package.file_count < 1 || package.file_count > kMaxFileCount) {
    package.problems.push_back("bad package header: file count " +
                               std::to_string(package.file_count) + " (must be 1 to 32767)");
    return package;
  }

  uint32_t at = kPackageHeaderSize;  // within the package
  for (int32_t index = 1; index <= package.file_count; ++index) {
    const std::string which =
        "file " + std::to_string(index) + " of " + std::to_string(package.file_count);
    if (size - at < kFileRecordSize) {
      package.problems.push_back("short package: the record of " + which + " needs " +
                                 Bytes(kFileRecordSize) + " at offset " + std::to_string(at) +
                                 ", but the package ends after " + Bytes(size));
      return package;
    }
    uint8_t record[kFileRecordSize];
    if (!file.ReadAt(offset + at, record, sizeof record)) {
      package.problems.push_back("the record of " + which + " cannot be read");
      return package;
    }
    at += kFileRecordSize;
    PackageFile entry = DecodeRecord(record, offset + at);
    if (entry.compressed_size > size - at) {
      package.problems.push_back("short package: " + which + " needs " +
                                 Bytes(entry.compressed_size) + " of stream, but only " +
                                 Bytes(size - at) + " are left");
      return package;
    }
    at += entry.compressed_size;
    package.files.push_back(entry);
  }
  if (at != size) {
    package.problems.push_back(Bytes(size - at) + " after the last file, where nothing belongs");
  }
  return package;
}

bool IsPackageMember(const MemberInfo& member, const PackageView& package) {
  static const char kExtension[] = ".shr";
  const size_t n = sizeof kExtension - 1;
  const std::string& name = member.name;
  if (name.size() >= n) {
    bool match = true;
    for (size_t i = 0; i < n; ++i) {
      char c = name[name.size() - n + i];
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
      match = match && c == kExtension[i];
    }
    if (match) return true;
  }
  return package.problems.empty() && !package.files.empty();
}

DecodeOutcome DecodePackageFile(InputFile& file, const PackageFile& entry, ImplodeWorkArea* work,
                                const ByteSink& sink, ProgressBar* progress) {
  DecodeContext context{RangeReader(file, entry.stream_offset, entry.compressed_size), sink,
                        progress, DecodeOutcome{-1, false, 0, 0, 0, 0}, false};
  int32_t result = DecodeImplodeStream(ReadStream, WriteStream, work, &context);
  context.outcome.result = result;
  context.outcome.unread = context.reader.remaining();
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
