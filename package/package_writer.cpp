#include "package/package_writer.h"

#include <cstring>

#include "platform/platform.h"

namespace package {
namespace {

// Member streams and file positions are signed 32-bit: no package may reach 2 GiB.
constexpr uint64_t kMaxPackageSize = 0x7FFFFFFF;
constexpr uint32_t kSourceBlockSize = 64 * 1024;

// Where a package goes: an open file or a byte vector.
struct Target {
  platform::FileHandle file = platform::kNoFile;
  std::vector<uint8_t>* bytes = nullptr;
  uint64_t size = 0;
  bool write_failed = false;
  bool too_large = false;
};

void Put(Target* target, const uint8_t* data, size_t count) {
  if (target->write_failed || target->too_large) return;
  if (target->size + count > kMaxPackageSize) {
    target->too_large = true;
    return;
  }
  if (target->bytes != nullptr) {
    target->bytes->insert(target->bytes->end(), data, data + count);
  } else if (platform::WriteBytes(target->file, data, static_cast<uint32_t>(count)) !=
             static_cast<int32_t>(count)) {
    target->write_failed = true;
    return;
  }
  target->size += count;
}

// Writes a record over the placeholder written at offset, and goes back to the end.
void Overwrite(Target* target, uint64_t offset, const uint8_t* data, size_t count) {
  if (target->write_failed || target->too_large) return;
  if (target->bytes != nullptr) {
    std::memcpy(target->bytes->data() + offset, data, count);
    return;
  }
  if (platform::Seek(target->file, static_cast<int32_t>(offset), platform::kFromStart) < 0 ||
      platform::WriteBytes(target->file, data, static_cast<uint32_t>(count)) !=
          static_cast<int32_t>(count) ||
      platform::Seek(target->file, 0, platform::kFromEnd) < 0) {
    target->write_failed = true;
  }
}

void SetError(std::string* error, const std::string& reason) {
  if (error != nullptr) *error = reason;
}

int CheckRequest(const std::vector<PackageEntry>& entries, const PackOptions& options,
                 std::string* error) {
  if (entries.empty() || entries.size() > static_cast<size_t>(kMaxFileCount)) {
    SetError(error, "a package holds 1 to 32767 files");
    return 0;
  }
  if (options.compression_type != kImplodeBinary && options.compression_type != kImplodeAscii) {
    SetError(error, "compression type must be binary or ASCII");
    return 0;
  }
  if (options.dictionary_bits < 4 || options.dictionary_bits > 6) {
    SetError(error, "dictionary size code must be 4, 5 or 6");
    return 0;
  }
  if (options.level != kImplodeFast && options.level != kImplodeBest) {
    SetError(error, "the level must be fast or best");
    return 0;
  }
  for (const PackageEntry& entry : entries) {
    if (!IsStorableFileName(entry.name)) {
      SetError(error, "not a plain file name: \"" + entry.name + "\"");
      return 0;
    }
  }
  return 1;
}

// Feeds an entry's bytes to the encoder; the count of bytes fed goes to *size. 0 when its
// source cannot be read or it is larger than a record can say.
int FeedEntry(const PackageEntry& entry, const PackOptions& options, ImplodeEncoder* encoder,
              uint64_t* size, std::string* error) {
  if (entry.source_path.empty()) {
    FeedImplodeEncoder(encoder, entry.data.data(), entry.data.size());
    *size = entry.data.size();
    if (options.progress) options.progress(*size);
  } else {
    platform::FileHandle source = platform::OpenForReading(entry.source_path.c_str());
    if (source == platform::kNoFile) {
      SetError(error, "cannot open " + entry.source_path);
      return 0;
    }
    std::vector<uint8_t> block(kSourceBlockSize);
    int32_t got = 0;
    *size = 0;
    while ((got = platform::ReadBytes(source, block.data(), kSourceBlockSize)) > 0) {
      FeedImplodeEncoder(encoder, block.data(), static_cast<size_t>(got));
      *size += static_cast<uint64_t>(got);
      if (options.progress) options.progress(static_cast<uint64_t>(got));
    }
    platform::CloseFile(source);
    if (got < 0) {
      SetError(error, "cannot read " + entry.source_path);
      return 0;
    }
  }
  if (*size > UINT32_MAX) {
    SetError(error, entry.name + " is larger than 4 GiB");
    return 0;
  }
  return 1;
}

// Writes the record of entry with a placeholder size, then its stream, then the record again
// with the sizes now known.
int PutEntry(const PackageEntry& entry, const PackOptions& options, Target* target,
             std::string* error) {
  FileRecord record = {};
  std::memcpy(record.name, entry.name.c_str(), entry.name.size() + 1);
  record.attributes = kRecordAttributes;
  record.dos_date = entry.dos_date & 0xFFFF;
  record.dos_time = entry.dos_time & 0xFFFF;
  uint8_t record_bytes[kRecordSize];
  EncodeFileRecord(record, record_bytes);
  uint64_t record_offset = target->size;
  Put(target, record_bytes, kRecordSize);

  uint64_t stream_start = target->size;
  ImplodeEncoder encoder;
  StartImplodeEncoder(
      &encoder, options.compression_type, options.dictionary_bits,
      [target](const uint8_t* bytes, size_t count) { Put(target, bytes, count); }, options.level);
  uint64_t size = 0;
  if (!FeedEntry(entry, options, &encoder, &size, error)) return 0;
  FinishImplodeEncoder(&encoder);

  record.compressed_size = static_cast<uint32_t>(target->size - stream_start);
  record.uncompressed_size = static_cast<uint32_t>(size);
  EncodeFileRecord(record, record_bytes);
  Overwrite(target, record_offset, record_bytes, kRecordSize);
  return 1;
}

int PutPackage(const std::vector<PackageEntry>& entries, const PackOptions& options, Target* target,
               std::string* error) {
  PackageHeader header = UsualPackageHeader(static_cast<int16_t>(entries.size()));
  header.value_20 = options.header_value_20;
  uint8_t header_bytes[kHeaderSize];
  EncodePackageHeader(header, header_bytes);
  Put(target, header_bytes, kHeaderSize);
  for (const PackageEntry& entry : entries) {
    if (!PutEntry(entry, options, target, error)) return 0;
  }
  if (target->too_large) {
    SetError(error, "the package would reach 2 GiB");
    return 0;
  }
  if (target->write_failed) {
    SetError(error, "cannot write the package");
    return 0;
  }
  return 1;
}

// The last component of a path, after its last "/" or "\".
std::string LastComponent(const std::string& path) {
  size_t cut = path.find_last_of("/\\");
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

}  // namespace

int IsStorableFileName(const std::string& name) {
  if (name.size() > kMaxNameLength || name.find('\0') != std::string::npos) return 0;
  return IsSafeRecordName(name.c_str(), name.size() + 1);
}

int EntryFromFile(const std::string& path, const std::string& name, PackageEntry* entry,
                  std::string* error) {
  PackageEntry made;
  made.name = name.empty() ? LastComponent(path) : name;
  made.source_path = path;
  if (!IsStorableFileName(made.name)) {
    SetError(error, "not a plain file name: \"" + made.name + "\"");
    return 0;
  }
  if (platform::GetLastWriteDosDateTime(path.c_str(), &made.dos_date, &made.dos_time) != 0) {
    SetError(error, "cannot read the time of " + path);
    return 0;
  }
  *entry = made;
  return 1;
}

int WritePackageFile(const std::string& target_path, const std::vector<PackageEntry>& entries,
                     const PackOptions& options, std::string* error) {
  if (!CheckRequest(entries, options, error)) return 0;
  Target target;
  target.file = platform::CreateOrTruncate(target_path.c_str());
  if (target.file == platform::kNoFile) {
    SetError(error, "cannot create " + target_path);
    return 0;
  }
  int written = PutPackage(entries, options, &target, error);
  platform::CloseFile(target.file);
  if (!written) platform::RemoveFile(target_path.c_str());
  return written;
}

int BuildPackage(const std::vector<PackageEntry>& entries, const PackOptions& options,
                 std::vector<uint8_t>* bytes, std::string* error) {
  if (!CheckRequest(entries, options, error)) return 0;
  bytes->clear();
  Target target;
  target.bytes = bytes;
  return PutPackage(entries, options, &target, error);
}

}  // namespace package
