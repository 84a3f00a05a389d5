#include <io.h>
#include <windows.h>

#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "platform/files.h"
#include "tools/host.h"

namespace tool {

namespace {

UINT g_console_code_page;

void RestoreConsole() {
  SetConsoleOutputCP(g_console_code_page);
}

std::string Utf8(const wchar_t* wide) {
  int length = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
  if (length <= 1) return std::string();
  std::string text(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide, -1, &text[0], length, nullptr, nullptr);
  text.pop_back();  // the NUL
  return text;
}

}  // namespace

std::vector<std::string> ProgramArguments(int argc, char** argv) {
  // The ANSI arguments would have lost every character the code page lacks.
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide == nullptr) return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
  std::vector<std::string> args;
  for (int i = 1; i < count; ++i)
    args.push_back(Utf8(wide[i]));
  LocalFree(wide);
  // What the tool prints is UTF-8; a console shows it as such while the tool runs.
  g_console_code_page = GetConsoleOutputCP();
  if (g_console_code_page != 0 && SetConsoleOutputCP(CP_UTF8)) std::atexit(RestoreConsole);
  return args;
}

const char kPathSeparator = '\\';

bool StderrIsTerminal() {
  return _isatty(_fileno(stderr)) != 0;
}

bool EntryExists(const std::string& path) {
  return platform::GetAttributes(path.c_str()) != platform::kNoAttributes;
}

bool IsPlainDirectory(const std::string& path) {
  uint32_t attributes = platform::GetAttributes(path.c_str());
  return attributes != platform::kNoAttributes && (attributes & platform::kAttributeDirectory) != 0;
}

bool RemoveEntry(const std::string& path) {
  platform::SetAttributes(path.c_str(), platform::kAttributeNormal);
  return platform::RemoveFile(path.c_str()) != 0;
}

// In UTF-8, as every other name the tool opens.
std::string RunningProgramPath() {
  // Room for the longest path Windows hands out.
  std::vector<wchar_t> wide(32768);
  DWORD length = GetModuleFileNameW(nullptr, wide.data(), static_cast<DWORD>(wide.size()));
  if (length == 0 || length >= wide.size()) return std::string();
  return Utf8(wide.data());
}

std::string LastSystemErrorText() {
  return "system error " + std::to_string(platform::LastError());
}

}  // namespace tool
