#include "tools/decode_pass.h"

#include <memory>

#include "base/crc32.h"
#include "implode/implode.h"
#include "tools/progress_bar.h"

namespace tool {

bool PassSink::BeginMember(const InventoryMember&) {
  return true;
}
bool PassSink::BeginStored(const InventoryMember&) {
  return true;
}
void PassSink::EndStored(const InventoryMember&, const std::optional<Problem>&) {}
bool PassSink::BeginPackage(const InventoryMember&, const std::optional<Problem>&) {
  return true;
}
bool PassSink::BeginFile(const InventoryMember&, const PackageFile&) {
  return true;
}
void PassSink::EndFile(const InventoryMember&, const PackageFile&, const DecodeOutcome&,
                       const std::optional<Problem>&) {}
void PassSink::Write(const uint8_t*, uint32_t) {}

namespace {

bool Unpacks(const InventoryMember& entry, const PassMode& mode) {
  return mode.unpack && entry.is_package;
}

bool ChecksPackage(const InventoryMember& entry, const PassMode& mode) {
  return mode.read_members && entry.member.checksum_known;
}

bool Decodes(const PackageFile& file, const PassMode& mode) {
  return !mode.only_unsized_files || file.uncompressed_size == 0;
}

// The progress a member is worth: the bytes the pass reads for it.
uint64_t WorkOf(const InventoryMember& entry, const PassMode& mode) {
  const MemberInfo& member = entry.member;
  if (!member.data_within_file) return 0;
  if (!Unpacks(entry, mode)) return mode.read_members ? member.size : 0;
  uint64_t work = ChecksPackage(entry, mode) ? member.size : 0;
  if (!mode.only_unsized_files) return work + member.size;
  for (const PackageFile& file : entry.package.files) {
    if (Decodes(file, mode)) work += file.compressed_size;
  }
  return work;
}

class Pass {
 public:
  Pass(InputFile& file, const PassMode& mode, PassSink& sink, ProgressBar& progress)
      : file_(file), mode_(mode), sink_(sink), progress_(progress) {}

  void Visit(const InventoryMember& entry) {
    progress_.SetLabel(entry.member.name);
    if (!sink_.BeginMember(entry) || !entry.member.data_within_file) {
      progress_.Advance(WorkOf(entry, mode_));
    } else if (Unpacks(entry, mode_)) {
      Unpack(entry);
    } else if (mode_.read_members) {
      if (sink_.BeginStored(entry)) {
        sink_.EndStored(entry, ReadStored(entry, true));
      } else {
        progress_.Advance(WorkOf(entry, mode_));
      }
    }
  }

 private:
  // Reads a member's bytes, to the sink when told to, and holds them against its checksum.
  std::optional<Problem> ReadStored(const InventoryMember& entry, bool to_sink) {
    const MemberInfo& member = entry.member;
    RangeReader reader(file_, member.data_offset, member.size);
    std::vector<uint8_t> block(size_t{64} * 1024);
    uint32_t crc = text::kCrc32Start;
    int32_t got;
    while ((got = reader.Read(block.data(), static_cast<uint32_t>(block.size()))) > 0) {
      if (to_sink) sink_.Write(block.data(), static_cast<uint32_t>(got));
      crc = text::UpdateCrc32(crc, block.data(), static_cast<size_t>(got));
      progress_.Advance(static_cast<uint64_t>(got));
    }
    if (got < 0) {
      progress_.Advance(reader.remaining());
      return InMember(MakeProblem(ProblemCode::kDataUnreadable), member.name);
    }
    if (member.checksum_known && crc != member.checksum) {
      return InMember(MakeProblem(ProblemCode::kChecksumMismatch, {crc, member.checksum}),
                      member.name);
    }
    return std::nullopt;
  }

  void Unpack(const InventoryMember& entry) {
    std::optional<Problem> checksum_problem;
    if (ChecksPackage(entry, mode_)) checksum_problem = ReadStored(entry, false);
    if (!sink_.BeginPackage(entry, checksum_problem)) {
      progress_.Advance(WorkOf(entry, mode_) -
                        (ChecksPackage(entry, mode_) ? entry.member.size : 0));
      return;
    }
    uint64_t streams = 0;
    for (const PackageFile& file : entry.package.files) {
      streams += file.compressed_size;
      if (!Decodes(file, mode_)) continue;
      if (!sink_.BeginFile(entry, file)) {
        progress_.Advance(file.compressed_size);
        continue;
      }
      if (!work_) work_ = std::make_unique<ImplodeWorkArea>();
      const ByteSink to_sink = [this](const uint8_t* bytes, uint32_t count) {
        sink_.Write(bytes, count);
      };
      const DecodeOutcome outcome =
          DecodePackageFile(file_, file, work_.get(), to_sink, &progress_);
      progress_.Advance(outcome.unread);
      std::optional<Problem> problem = DecodeProblem(outcome, file);
      if (problem) problem = InFile(*problem, entry.member.name, file.name);
      sink_.EndFile(entry, file, outcome, problem);
    }
    // The header and records count as done too.
    if (!mode_.only_unsized_files && entry.member.size > streams) {
      progress_.Advance(entry.member.size - streams);
    }
  }

  InputFile& file_;
  const PassMode& mode_;
  PassSink& sink_;
  ProgressBar& progress_;
  std::unique_ptr<ImplodeWorkArea> work_;
};

}  // namespace

std::vector<const InventoryMember*> AllMembers(const Inventory& inventory) {
  std::vector<const InventoryMember*> members;
  for (const InventoryMember& entry : inventory.members)
    members.push_back(&entry);
  return members;
}

void RunDecodePass(InputFile& file, const std::vector<const InventoryMember*>& members,
                   const PassMode& mode, PassSink& sink) {
  uint64_t work = 0;
  for (const InventoryMember* entry : members)
    work += WorkOf(*entry, mode);
  ProgressBar progress(work != 0 && ProgressBar::Wanted(mode.quiet), work);
  Pass pass(file, mode, sink, progress);
  sink.progress_ = &progress;
  for (const InventoryMember* entry : members)
    pass.Visit(*entry);
  progress.Finish();
  sink.progress_ = nullptr;
}

}  // namespace tool
