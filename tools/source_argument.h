// The operands of build and pack: a file to store, either as PATH (stored under its file name)
// or as NAME=PATH (stored under NAME). The first "=" splits; a path that holds "=" itself is
// given with its name in front: "a=b=a=b".
#pragma once

#include <string>
#include <vector>

namespace tool {

struct SourceArgument {
  std::string name;  // the name to store
  std::string path;  // the file to read
};

// The last component of path: what follows its last separator.
std::string FileNameOf(const std::string& path);

// Throws UsageError for an empty name or path.
SourceArgument ParseSourceArgument(const std::string& operand);

// The operands, in order; throws UsageError when there are none or two store the same name
// (compared as the launcher compares names).
std::vector<SourceArgument> ParseSourceArguments(const std::vector<std::string>& operands);

// Throws UsageError when output names the same file as one of inputs, which writing it would
// destroy.
void RefuseOverwritingInput(const std::string& output, const std::vector<std::string>& inputs);

}  // namespace tool
