#include "tools/inventory.h"

namespace tool {

Inventory TakeInventory(InputFile& file) {
  InstallerView view = ReadInstaller(file);
  Inventory inventory;
  inventory.path = file.path();
  inventory.file_size = file.size();
  inventory.bounds = view.bounds;
  inventory.has_checksums = view.has_checksums;
  inventory.checksum_count = view.checksum_count;
  inventory.chain_problem = view.chain_problem;
  for (const MemberInfo& member : view.members) {
    InventoryMember entry;
    entry.member = member;
    if (!member.name_terminated) {
      entry.problems.push_back(InMember(MakeProblem(ProblemCode::kNameUnterminated), member.name));
    }
    if (!member.data_within_file) {
      entry.problems.push_back(
          InMember(MakeProblem(ProblemCode::kDataPastEnd,
                               {member.size, member.data_offset, inventory.file_size}),
                   member.name));
    } else {
      PackageView package = ReadPackage(file, member.data_offset, member.size);
      entry.is_package = IsPackageMember(member, package);
      if (entry.is_package) {
        entry.package = package;
        for (Problem& problem : entry.package.problems)
          problem = InMember(problem, member.name);
      }
    }
    inventory.members.push_back(entry);
  }
  return inventory;
}

}  // namespace tool
