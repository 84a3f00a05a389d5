// The pretend machine that tests of the launcher's run start from, and the stand-in engine that
// records what the launcher started it with. Host builds only; gtest-free, so that the fuzz
// targets share it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace pretend {

// What the stand-in engine saw when the launcher started it.
struct EngineSeen {
  int starts = 0;
  std::string command_line;
  std::string current_directory;
  std::vector<std::string> work_directory;  // the names in the engine's folder, sorted
  bool engine_present = false;              // whether the engine's own file was there
  std::vector<uint8_t> engine;              // and its bytes
  uint32_t exit_code = 0;                   // what the stand-in ends with
};

// Drive C: is the host folder drive_c, made afresh with Setup, TEMP and WINDOWS (with its Temp)
// in it. The
// launcher is C:\Setup\setup.exe, the temporary directory C:\TEMP\, the Windows directory
// C:\WINDOWS, the locale English and the system Windows 5.1. Starting a process runs the
// stand-in engine, which records into engine. The machine's faults and the stand-in dialog's
// counts start from nothing. False when the folders cannot be made.
bool SetUpStandardMachine(const std::string& drive_c, EngineSeen* engine);

}  // namespace pretend
