// The command line of one command: its options and its operands.
//
// Options read like the task: long names ("--unpack"), a few one-letter forms ("-d DIR"), values
// either as the next argument or after "=" ("--dictionary=4096"). "--" ends the options, so that
// an operand may begin with "-". Anything the command does not know is a UsageError. An option
// may be given once, unless it collects values ("--version-info KEY=VALUE" for each key).
#pragma once

#include <map>
#include <string>
#include <vector>

namespace tool {

struct OptionDefinition {
  std::string long_name;  // without the leading "--"
  char short_name;        // 0 when there is none
  bool takes_value;
  bool repeatable = false;  // a valued option that may be given again, each value kept
};

struct ParsedCommandLine {
  std::map<std::string, std::string> values;  // valued options by long name
  // The values of repeatable options by long name, in the order given.
  std::map<std::string, std::vector<std::string>> repeated;
  std::vector<std::string> flags;     // flags given, by long name
  std::vector<std::string> operands;  // in the order given

  bool Has(const std::string& long_name) const;
  // The value of an option, or fallback when it was not given.
  std::string Value(const std::string& long_name, const std::string& fallback = "") const;
  // Every value of a repeatable option, in order; empty when it was not given.
  std::vector<std::string> Values(const std::string& long_name) const;
};

// Parses args (the words after the command's name). An option given twice, an unknown option, a
// missing value or a value for a flag throws UsageError.
ParsedCommandLine ParseCommandLine(const std::vector<std::string>& args,
                                   const std::vector<OptionDefinition>& definitions);

}  // namespace tool
