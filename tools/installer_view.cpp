#include "tools/installer_view.h"

#include <set>

#include "archive/archive_end.h"
#include "archive/archive_format.h"
#include "archive/member_chain.h"
#include "archive/member_checksums.h"
#include "base/ascii.h"
#include "base/crc32.h"
#include "tools/progress_bar.h"
#include "tools/tool_error.h"

namespace tool {
namespace {

// The trailer that ends the archive, which the bounds place. False when there is none.
bool ReadTrailer(InputFile& file, const archive::ArchiveBounds& bounds,
                 archive::ArchiveTrailer* trailer) {
  if (bounds.end < archive::kTrailerSize) return false;
  uint8_t bytes[archive::kTrailerSize];
  if (!file.ReadAt(bounds.end - archive::kTrailerSize, bytes, sizeof bytes)) return false;
  return archive::DecodeTrailer(bytes, trailer) != 0;
}

archive::ArchiveBounds BoundsOf(InputFile& file) {
  archive::ArchiveBounds bounds;
  archive::FindArchiveBounds(file.handle(), file.size(), &bounds);
  return bounds;
}

MemberInfo ToMemberInfo(const archive::ChainEntry& entry) {
  MemberInfo member;
  member.header_offset = entry.header_offset;
  member.data_offset = entry.header_offset + archive::kEntryHeaderSize;
  member.size = entry.header.size;
  member.attributes = entry.header.attributes;
  member.dos_date = entry.header.dos_date;
  member.dos_time = entry.header.dos_time;
  member.name_terminated = entry.name_terminated != 0;
  const char* name = reinterpret_cast<const char*>(entry.header.name);
  size_t length = 0;
  while (length < archive::kNameFieldSize && name[length] != '\0')
    ++length;
  member.name.assign(name, length);
  member.data_within_file = entry.data_within_file != 0;
  return member;
}

std::string WhyChainEnded(const archive::ChainWalk& walk, uint32_t offset,
                          const archive::ArchiveBounds& bounds) {
  const std::string at = "offset " + std::to_string(offset);
  const std::string end = bounds.certificate_size != 0
                              ? "the end of the archive, where the certificate table begins ("
                              : "the end of the file (";
  switch (walk.status) {
    case archive::CHAIN_HEADER_PAST_END:
      return "the entry header at " + at + " lies past " + end + std::to_string(bounds.end) +
             " bytes): the installer is truncated or damaged";
    case archive::CHAIN_READ_FAILED:
      return "the entry header at " + at + " cannot be read";
    case archive::CHAIN_LOOPED:
      return "the member chain loops back to an earlier entry header";
    case archive::CHAIN_TOO_LONG:
      return "the member chain holds more entry headers than the file has room for";
    default:
      return "";
  }
}

}  // namespace

bool HasArchiveTrailer(InputFile& file) {
  archive::ArchiveTrailer trailer;
  return ReadTrailer(file, BoundsOf(file), &trailer);
}

InstallerView ReadInstaller(InputFile& file) {
  if (file.size() < archive::kTrailerSize) {
    throw Failure(file.path() + ": not an installer: " + std::to_string(file.size()) +
                  " bytes are too few to carry a payload archive");
  }
  InstallerView view;
  view.bounds = BoundsOf(file);
  archive::ArchiveTrailer trailer;
  if (!ReadTrailer(file, view.bounds, &trailer)) {
    throw Failure(file.path() +
                  (view.bounds.certificate_size != 0
                       ? ": no payload archive before its certificate table (a signed program, "
                         "not an installer)"
                       : ": no payload archive: the file does not end with an archive trailer "
                         "(not an installer, or a truncated one)"));
  }

  archive::ChecksumRecord checksums;
  archive::FindChecksumRecord(file.handle(), view.bounds.end, trailer.first_entry_offset,
                              &checksums);
  view.has_checksums = checksums.offset != 0;
  view.checksum_count = checksums.count;

  archive::ChainWalk walk;
  archive::BeginChainWalk(&walk, file.handle(), trailer.first_entry_offset, view.bounds.end);
  // The walker stops every loop in constant memory, but may deliver a few headers twice before
  // it does; the tool can afford to remember every offset and stop at the first repeat.
  std::set<uint32_t> visited;
  archive::ChainEntry entry;
  for (;;) {
    uint32_t offset = walk.next_offset;
    if (!archive::NextChainEntry(&walk, &entry)) {
      view.chain_problem = WhyChainEnded(walk, offset, view.bounds);
      break;
    }
    if (!visited.insert(entry.header_offset).second) {
      view.chain_problem = "the member chain loops back to the entry header at offset " +
                           std::to_string(entry.header_offset);
      break;
    }
    MemberInfo member = ToMemberInfo(entry);
    member.checksum_known = archive::ReadMemberChecksum(file.handle(), checksums,
                                                        static_cast<uint32_t>(view.members.size()),
                                                        &member.checksum) != 0;
    view.members.push_back(member);
  }
  return view;
}

bool ComputeMemberChecksum(InputFile& file, const MemberInfo& member, uint32_t* crc,
                           ProgressBar* progress) {
  RangeReader reader(file, member.data_offset, member.size);
  std::vector<uint8_t> block(size_t{64} * 1024);
  *crc = text::kCrc32Start;
  int32_t got;
  while ((got = reader.Read(block.data(), static_cast<uint32_t>(block.size()))) > 0) {
    *crc = text::UpdateCrc32(*crc, block.data(), static_cast<size_t>(got));
    if (progress != nullptr) progress->Advance(static_cast<uint64_t>(got));
  }
  return got == 0;
}

bool SameMemberName(const std::string& a, const std::string& b) {
  return a.size() == b.size() && text::EqualsIgnoringAsciiCase(a.c_str(), b.c_str());
}

}  // namespace tool
