// tovalin: list, test, extract and build installers, and make package files.
//
// This file only dispatches: it picks the command, answers --help and --version, and turns the
// errors that commands throw into a message and an exit status (0 done, 1 failed, 2 wrong command
// line).
#include <cstdio>
#include <exception>
#include <new>
#include <string>
#include <vector>

#include "tools/build_config.h"
#include "tools/command.h"
#include "tools/tool_error.h"

namespace tool {
namespace {

// The project's version, so that the tool and its Debian package say the same.
const char kVersion[] = "tovalin " TOVALIN_VERSION;

const Command* const kCommands[] = {&kListCommand, &kTestCommand, &kExtractCommand, &kPackCommand,
                                    &kBuildCommand};

void PrintOverview(std::FILE* out) {
  std::fprintf(
      out,
      "Usage: tovalin COMMAND [OPTIONS] ...\n"
      "       tovalin --help | --version\n"
      "\n"
      "Looks inside installers (a launcher with a payload archive behind it) without running\n"
      "them, and builds them.\n"
      "\n"
      "Commands:\n");
  for (const Command* command : kCommands) {
    std::fprintf(out, "  %-9s %s\n", command->name, command->summary);
  }
  std::fprintf(out,
               "\n"
               "Run 'tovalin COMMAND --help' for the options of a command.\n"
               "Exit status: 0 when all went well, 1 when something failed or is damaged,\n"
               "2 when the command line is wrong.\n");
}

const Command* FindCommand(const std::string& name) {
  for (const Command* command : kCommands) {
    if (name == command->name) return command;
  }
  return nullptr;
}

// --help wins wherever it stands before "--", so that help is there even for a command line that
// would not parse.
bool AsksForHelp(const std::vector<std::string>& args) {
  for (const std::string& arg : args) {
    if (arg == "--") return false;
    if (arg == "--help" || arg == "-h") return true;
  }
  return false;
}

int RunCommand(const Command& command, const std::vector<std::string>& args) {
  try {
    if (AsksForHelp(args)) {
      std::fputs(command.help, stdout);
      return kExitSuccess;
    }
    return command.run(ParseCommandLine(args, command.options));
  } catch (const UsageError& error) {
    ReportError(std::string(command.name) + ": " + error.what());
    std::fprintf(stderr, "Run 'tovalin %s --help' for its usage.\n", command.name);
    return kExitUsage;
  } catch (const Failure& error) {
    ReportError(error.what());
    return kExitFailure;
  } catch (const std::bad_alloc&) {
    ReportError("out of memory");
    return kExitFailure;
  } catch (const std::exception& error) {
    ReportError(std::string("unexpected error: ") + error.what());
    return kExitFailure;
  }
}

int Main(int argc, char** argv) {
  std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
  if (args.empty()) {
    PrintOverview(stderr);
    return kExitUsage;
  }
  const std::string& first = args[0];
  if (first == "--help" || first == "-h" || first == "help") {
    PrintOverview(stdout);
    return kExitSuccess;
  }
  if (first == "--version") {
    std::printf("%s\n", kVersion);
    return kExitSuccess;
  }
  const Command* command = FindCommand(first);
  if (command == nullptr) {
    ReportError("unknown command '" + first + "'");
    std::fprintf(stderr, "Run 'tovalin --help' for the list of commands.\n");
    return kExitUsage;
  }
  return RunCommand(*command, std::vector<std::string>(args.begin() + 1, args.end()));
}

}  // namespace
}  // namespace tool

int main(int argc, char** argv) {
  return tool::Main(argc, argv);
}
