// The standard pretend machine and its stand-in engine.
#include "tests/support/standard_machine.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "base/bounded_text.h"
#include "tests/support/pretend_machine.h"
#include "tests/support/stand_in_dialog.h"

namespace pretend {
namespace {

uint32_t RecordEngine(const char* command_line, const char* current_directory, void* context) {
  auto* seen = static_cast<EngineSeen*>(context);
  ++seen->starts;
  seen->command_line = command_line;
  seen->current_directory = current_directory;
  const std::string engine_path = seen->command_line.substr(0, seen->command_line.find(' '));
  char host[4096];
  if (!ToHostPath(engine_path.c_str(), host, sizeof host)) return seen->exit_code;
  const std::filesystem::path engine(host);
  seen->work_directory.clear();
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(engine.parent_path(), error))
    seen->work_directory.push_back(entry.path().filename().string());
  std::sort(seen->work_directory.begin(), seen->work_directory.end());
  std::ifstream file(engine, std::ios::binary);
  seen->engine_present = std::filesystem::is_regular_file(engine, error) && file.good();
  seen->engine.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  return seen->exit_code;
}

}  // namespace

bool SetUpStandardMachine(const std::string& drive_c, EngineSeen* engine) {
  ResetMachine();
  g_host_dialog = HostDialog{};
  std::error_code error;
  std::filesystem::remove_all(drive_c, error);
  for (const char* folder : {"/Setup", "/TEMP", "/WINDOWS/Temp"}) {
    if (!std::filesystem::create_directories(drive_c + folder, error)) return false;
  }
  PretendMachine& m = Machine();
  text::Copy(m.drive_root['C' - 'A'], sizeof m.drive_root[0], drive_c.c_str());
  text::Copy(m.module_path, sizeof m.module_path, "C:\\Setup\\setup.exe");
  text::Copy(m.temp_path, sizeof m.temp_path, "C:\\TEMP\\");
  text::Copy(m.windows_directory, sizeof m.windows_directory, "C:\\WINDOWS");
  text::Copy(m.abbreviated_language_name, sizeof m.abbreviated_language_name, "ENU");
  m.system_version = 0x0105;  // 5.1
  m.run_process = RecordEngine;
  m.run_process_context = engine;
  return true;
}

}  // namespace pretend
