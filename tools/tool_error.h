// How the tool fails, and how it says so.
//
// Scripts rely on three exit statuses: 0 when the command did all it was asked, 1 when it met a
// failure (a file that cannot be read, an installer with a problem, a file that would be
// overwritten), 2 when the command line itself is wrong. Code deep in a command throws one of the
// two errors below; main() turns them into a message on standard error and the matching status.
#pragma once

#include <stdexcept>
#include <string>

namespace tool {

constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

// The command line asks for something the tool does not offer, or leaves out what it needs.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The work cannot go on: the message names the file and what is wrong with it.
class Failure : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Writes "tovalin: " and the text as one line on standard error.
void ReportError(const std::string& text);

}  // namespace tool
