#include "tools/source_spec.h"

#include <filesystem>
#include <system_error>

#include "tools/host.h"
#include "tools/installer_view.h"
#include "tools/tool_error.h"

namespace tool {

std::string FileNameOf(const std::string& path) {
  size_t cut = path.find_last_of(std::string("/") + kPathSeparator);
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

SourceSpec ParseSourceSpec(const std::string& operand) {
  SourceSpec spec;
  size_t equals = operand.find('=');
  if (equals == std::string::npos) {
    spec.path = operand;
    spec.name = FileNameOf(operand);
  } else {
    spec.name = operand.substr(0, equals);
    spec.path = operand.substr(equals + 1);
  }
  if (spec.path.empty()) throw UsageError("no file given in '" + operand + "'");
  if (spec.name.empty()) throw UsageError("no name to store in '" + operand + "'");
  return spec;
}

std::vector<SourceSpec> ParseSourceSpecs(const std::vector<std::string>& operands) {
  if (operands.empty()) throw UsageError("give at least one file to store");
  std::vector<SourceSpec> specs;
  for (const std::string& operand : operands) {
    SourceSpec spec = ParseSourceSpec(operand);
    for (const SourceSpec& earlier : specs) {
      if (SameMemberName(earlier.name, spec.name)) {
        throw UsageError("the name \"" + spec.name + "\" is given twice (from '" + earlier.path +
                         "' and '" + spec.path + "')");
      }
    }
    specs.push_back(spec);
  }
  return specs;
}

void RefuseOverwritingInput(const std::string& output, const std::vector<std::string>& inputs) {
  for (const std::string& input : inputs) {
    std::error_code error;
    bool same = output == input || std::filesystem::equivalent(output, input, error);
    if (same) throw UsageError("the output '" + output + "' is also an input");
  }
}

}  // namespace tool
