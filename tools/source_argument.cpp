#include "tools/source_argument.h"

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

SourceArgument ParseSourceArgument(const std::string& operand) {
  SourceArgument argument;
  size_t equals = operand.find('=');
  if (equals == std::string::npos) {
    argument.path = operand;
    argument.name = FileNameOf(operand);
  } else {
    argument.name = operand.substr(0, equals);
    argument.path = operand.substr(equals + 1);
  }
  if (argument.path.empty()) throw UsageError("no file given in '" + operand + "'");
  if (argument.name.empty()) throw UsageError("no name to store in '" + operand + "'");
  return argument;
}

std::vector<SourceArgument> ParseSourceArguments(const std::vector<std::string>& operands) {
  if (operands.empty()) throw UsageError("give at least one file to store");
  std::vector<SourceArgument> specs;
  for (const std::string& operand : operands) {
    SourceArgument argument = ParseSourceArgument(operand);
    for (const SourceArgument& earlier : specs) {
      if (SameMemberName(earlier.name, argument.name)) {
        throw UsageError("the name \"" + argument.name + "\" is given twice (from '" +
                         earlier.path + "' and '" + argument.path + "')");
      }
    }
    specs.push_back(argument);
  }
  return specs;
}

void RefuseOverwritingInput(const std::string& output, const std::vector<std::string>& inputs) {
  for (const std::string& input : inputs) {
    std::error_code error;
    // Names are UTF-8 on every host; a plain string would be read in the ANSI code page on Windows.
    bool same =
        output == input || std::filesystem::equivalent(std::filesystem::u8path(output),
                                                       std::filesystem::u8path(input), error);
    if (same) throw UsageError("the output '" + output + "' is also an input");
  }
}

}  // namespace tool
