// The commands of the tool. Each lives in its own file (command_list.cpp, ...) and describes
// itself here: its name, a one-line summary for "tovalin --help", its help text, its options and
// the function that runs it. main() finds the command, handles --help, parses the options and
// turns errors into exit statuses.
#pragma once

#include <vector>

#include "tools/options.h"

namespace tool {

struct Command {
  const char* name;
  const char* summary;
  const char* help;  // the whole text of "tovalin NAME --help"
  std::vector<OptionDefinition> options;
  // Runs the command; returns the exit status. Throws UsageError or Failure.
  int (*run)(const ParsedCommandLine& command_line);
};

extern const Command kListCommand;
extern const Command kTestCommand;
extern const Command kExtractCommand;
extern const Command kPackCommand;
extern const Command kBuildCommand;

// The options every command takes.
const OptionDefinition kHelpOption{"help", 'h', false};
const OptionDefinition kQuietOption{"quiet", 'q', false};

}  // namespace tool
