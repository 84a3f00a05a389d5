#include "package/package_reader.h"

namespace package {
namespace {

int Stop(PackageReader* reader, int status) {
  reader->status = status;
  reader->stream_left = 0;
  return 0;
}

// Reads exactly count bytes; false (with the status set) when they are not all there.
bool ReadWhole(PackageReader* reader, uint8_t* bytes, uint32_t count, int short_status) {
  int32_t got = reader->source.read(reader->source.context, bytes, static_cast<int32_t>(count));
  reader->position += count;
  if (got == static_cast<int32_t>(count)) return true;
  Stop(reader, got < 0 ? PACKAGE_READ_FAILED : short_status);
  return false;
}

}  // namespace

int BeginPackage(PackageReader* reader, PackageSource source) {
  *reader = PackageReader{source, {}, 0, 0, 0, PACKAGE_READING};
  uint8_t bytes[kHeaderSize];
  if (!ReadWhole(reader, bytes, sizeof bytes, PACKAGE_SHORT_HEADER)) return 0;
  DecodePackageHeader(bytes, &reader->header);
  if (reader->header.file_count < 1) return Stop(reader, PACKAGE_BAD_FILE_COUNT);
  return 1;
}

void BeginPackageStream(PackageReader* reader, PackageSource source, uint32_t compressed_size) {
  *reader = PackageReader{source, {}, 0, compressed_size, 0, PACKAGE_READING};
}

int NextPackageFile(PackageReader* reader, FileRecord* record) {
  if (reader->status != PACKAGE_READING) return 0;
  if (reader->records_read == reader->header.file_count) return Stop(reader, PACKAGE_END);
  uint8_t bytes[kRecordSize];
  if (!ReadWhole(reader, bytes, sizeof bytes, PACKAGE_SHORT_RECORD)) return 0;
  ++reader->records_read;
  DecodeFileRecord(bytes, record);
  reader->stream_left = record->compressed_size;
  return 1;
}

int32_t ReadPackageStream(PackageReader* reader, void* buffer, uint32_t count) {
  if (count > reader->stream_left) count = reader->stream_left;
  if (count == 0) return 0;
  reader->stream_left -= count;
  reader->position += count;
  int32_t got = reader->source.read(reader->source.context, buffer, static_cast<int32_t>(count));
  if (got < 0) Stop(reader, PACKAGE_READ_FAILED);
  return got;
}

int SkipPackageStream(PackageReader* reader) {
  uint32_t count = reader->stream_left;
  reader->stream_left = 0;
  reader->position += count;
  if (reader->source.skip(reader->source.context, count)) return 1;
  return Stop(reader, PACKAGE_READ_FAILED);
}

}  // namespace package
