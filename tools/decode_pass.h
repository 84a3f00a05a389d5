// The one pass over an installer's data, after its inventory: each member's stored bytes are read
// and held against the checksum the installer records, and the files of package members are
// decoded, every byte handed to a sink. The mode says what to read; the sink says what becomes of
// the bytes and of the problems found, and may pass any member or file by. test reads everything
// into nowhere, extract writes files, list decodes the files whose size no record gives.
//
// The pass also budgets and draws the progress bar, so that every command's bar counts the same
// work: each byte read once, a package's bytes twice when its checksum is checked before its
// files are decoded.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "tools/input_file.h"
#include "tools/inventory.h"
#include "tools/package_view.h"
#include "tools/problem.h"

namespace tool {

class ProgressBar;

struct PassMode {
  // Read the stored bytes of members that are not unpacked, and check every checksum.
  bool read_members = true;
  // Decode the files of package members; otherwise a package is read as stored.
  bool unpack = true;
  // Decode only the files whose record leaves out their size.
  bool only_unsized_files = false;
  bool quiet = false;  // no progress bar
};

// Every hook has a default that takes everything in and drops it.
class PassSink {
 public:
  virtual ~PassSink() = default;

  // First, for each member. False passes it by; a member whose data runs past the end of the
  // file is passed by after this call whatever it returns.
  virtual bool BeginMember(const InventoryMember& member);

  // A member read as stored, before its bytes come; false passes it by.
  virtual bool BeginStored(const InventoryMember& member);
  // After its bytes: the data could not be read, or do not match the checksum.
  virtual void EndStored(const InventoryMember& member, const std::optional<Problem>& problem);

  // A package about to be unpacked, with what the check of its checksum found (it is checked
  // first when the installer records one and the mode reads members). False passes it by.
  virtual bool BeginPackage(const InventoryMember& member,
                            const std::optional<Problem>& checksum_problem);
  // A packed file before its decoded bytes come; false passes it by.
  virtual bool BeginFile(const InventoryMember& member, const PackageFile& file);
  // After decoding: what the decoder did, and what is wrong with it, if anything.
  virtual void EndFile(const InventoryMember& member, const PackageFile& file,
                       const DecodeOutcome& outcome, const std::optional<Problem>& problem);

  // The bytes of the member or file begun, block by block. Nothing may be thrown from here: the
  // decoder cannot unwind.
  virtual void Write(const uint8_t* bytes, uint32_t count);

 protected:
  // The pass's progress bar, to be cleared before a message; nullptr outside the pass.
  ProgressBar* progress() const { return progress_; }

 private:
  friend void RunDecodePass(InputFile& file, const std::vector<const InventoryMember*>& members,
                            const PassMode& mode, PassSink& sink);
  ProgressBar* progress_ = nullptr;
};

// Every member of the inventory, in chain order.
std::vector<const InventoryMember*> AllMembers(const Inventory& inventory);

// Runs the pass over members, in the order given.
void RunDecodePass(InputFile& file, const std::vector<const InventoryMember*>& members,
                   const PassMode& mode, PassSink& sink);

}  // namespace tool
