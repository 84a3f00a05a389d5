#include "tools/installer_view.h"

#include <set>

#include "archive/archive_end.h"
#include "archive/archive_format.h"
#include "archive/member_chain.h"
#include "archive/member_checksums.h"
#include "base/ascii.h"
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

// Why the walk stopped before a next entry offset of 0; nothing when it ended normally.
std::optional<Problem> WhyChainEnded(const archive::ChainWalk& walk, uint32_t offset,
                                     const archive::ArchiveBounds& bounds) {
  switch (walk.status) {
    case archive::CHAIN_HEADER_PAST_END:
      return MakeProblem(bounds.certificate_size != 0 ? ProblemCode::kHeaderPastArchiveEnd
                                                      : ProblemCode::kHeaderPastFileEnd,
                         {offset, bounds.end});
    case archive::CHAIN_READ_FAILED:
      return MakeProblem(ProblemCode::kHeaderUnreadable, {offset});
    case archive::CHAIN_LOOPED:
      return MakeProblem(ProblemCode::kChainLoops);
    case archive::CHAIN_TOO_LONG:
      return MakeProblem(ProblemCode::kChainTooLong);
    default:
      return std::nullopt;
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
      view.chain_problem = MakeProblem(ProblemCode::kChainRevisits, {entry.header_offset});
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

bool SameMemberName(const std::string& a, const std::string& b) {
  return a.size() == b.size() && text::EqualsIgnoringAsciiCase(a.c_str(), b.c_str());
}

}  // namespace tool
