// Windows system facts through the ANSI calls the launcher was designed around.
#include <windows.h>

#include "platform/launcher_windows.h"

namespace platform {

uint32_t WindowsDirectory(char* buffer, uint32_t capacity) {
  if (capacity == 0) return 0;
  UINT length = GetWindowsDirectoryA(buffer, capacity);
  // A result of capacity or more is the size the path would need: it did not fit.
  if (length == 0 || length >= capacity) {
    buffer[0] = '\0';
    return 0;
  }
  return length;
}

void ReadLocalClock(LocalTime* now) {
  SYSTEMTIME local;
  GetLocalTime(&local);
  now->year = local.wYear;
  now->month = local.wMonth;
  now->day = local.wDay;
  now->hour = local.wHour;
  now->minute = local.wMinute;
  now->second = local.wSecond;
}

uint32_t CurrentProcessId() {
  return GetCurrentProcessId();
}

int32_t AbbreviatedLanguageName(char* buffer, int32_t capacity) {
  return GetLocaleInfoA(LOCALE_SYSTEM_DEFAULT, LOCALE_SABBREVLANGNAME, buffer, capacity);
}

}  // namespace platform
