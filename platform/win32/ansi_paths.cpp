// The launcher's own path and the temporary path, in a form the ANSI code page holds.
//
// Both are asked for in UTF-16 and converted: where the code page lacks a character of them,
// base/ansi_path.h picks the short form, so that the launcher never goes on with a path whose
// lost characters became question marks. Systems without the wide calls (the oldest) know only
// ANSI names, and the ANSI calls serve there.
#include <windows.h>

#include <cstring>

#include "base/ansi_path.h"
#include "platform/launcher_windows.h"

namespace platform {
namespace {

bool ToAnsi(const uint16_t* wide, char* out, uint32_t capacity) {
  const auto* text = reinterpret_cast<LPCWSTR>(wide);
  const int room = static_cast<int>(capacity);
  BOOL lost = FALSE;
  int converted =
      WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text, -1, out, room, nullptr, &lost);
  // UTF-8 as the ANSI code page takes neither the flag nor the question, and loses nothing.
  if (converted == 0) {
    lost = FALSE;
    converted = WideCharToMultiByte(CP_ACP, 0, text, -1, out, room, nullptr, nullptr);
  }
  if (converted == 0 && capacity > 0) out[0] = '\0';
  return converted != 0 && !lost;
}

bool ShortForm(const uint16_t* wide, uint16_t* out, uint32_t capacity) {
  DWORD length =
      GetShortPathNameW(reinterpret_cast<LPCWSTR>(wide), reinterpret_cast<LPWSTR>(out), capacity);
  return length != 0 && length < capacity;
}

// The ANSI form of a path the system gave in UTF-16 (wide_length characters, 0 when the wide call
// failed or does not exist), or what the ANSI call gives where it did. Its length, 0 on failure.
uint32_t AnsiFormOf(uint16_t* wide, DWORD wide_length, DWORD ansi_length, char* buffer,
                    uint32_t capacity, bool* lost) {
  *lost = false;
  if (wide_length == 0) return ansi_length < capacity ? ansi_length : 0;
  if (wide_length >= text::kWidePathCapacity) return 0;
  // Made here rather than kept constant: a constant table of function addresses would be the
  // launcher's only pointers in read-only data, and cost it a block of base relocations.
  const text::AnsiPathServices services = {ToAnsi, ShortForm};
  return text::ChooseAnsiPathLength(wide, services, buffer, capacity, lost);
}

}  // namespace

uint32_t GetModulePath(char* buffer, uint32_t capacity, bool* lost) {
  uint16_t wide[text::kWidePathCapacity];
  DWORD wide_length =
      GetModuleFileNameW(nullptr, reinterpret_cast<LPWSTR>(wide), text::kWidePathCapacity);
  DWORD ansi_length = wide_length == 0 ? GetModuleFileNameA(nullptr, buffer, capacity) : 0;
  uint32_t length = AnsiFormOf(wide, wide_length, ansi_length, buffer, capacity, lost);
  // A path that filled its buffer was cut: no path at all is better than another file's.
  if (length == 0 && capacity > 0 && !*lost) buffer[0] = '\0';
  return length;
}

uint32_t GetTemporaryPath(char* buffer, uint32_t capacity, bool* lost) {
  uint16_t wide[text::kWidePathCapacity];
  DWORD wide_length = GetTempPathW(text::kWidePathCapacity, reinterpret_cast<LPWSTR>(wide));
  DWORD ansi_length = wide_length == 0 ? GetTempPathA(capacity, buffer) : 0;
  return AnsiFormOf(wide, wide_length, ansi_length, buffer, capacity, lost);
}

}  // namespace platform
