#include <gtest/gtest.h>

#include <cstring>

#include "platform/text_format.h"

namespace {

// Formats without the compiler's format check, for the forms it would reject.
bool Unchecked(char* buffer, size_t capacity, const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  bool fits = platform::FormatTextList(buffer, capacity, format, arguments);
  va_end(arguments);
  return fits;
}

// The forms the launcher formats with, the same on both sides of the seam: on Windows the numbers
// come from the system's formatter.
TEST(PlatformTextFormat, TheLaunchersFormsOnBothSides) {
  const char* long_path =
      "C:\\Documents and Settings\\A User With A Long Name\\Local Settings\\Temp\\AI1F.tmp";
  struct Case {
    const char* expected;
    bool fits;
    char text[160];
  } cases[] = {
      {"5.1", true, {}},
      {"09:05:07 01/31/00", true, {}},
      {"(01/01/00 09:05:07)HEADER(1234) Debug:x\n", true, {}},
      {"-7|0|-2147483648|4294967295|beef|BEEF", true, {}},
      {"[   42][-0042][3   ][ab]", true, {}},
      {"InstallENU.dll 100%", true, {}},
      {"Error copy file from 'C:\\a' to ''", true, {}},
      {"a%qb end%", true, {}},
  };
  EXPECT_EQ(platform::FormatText(cases[0].text, 160, "%d.%d", 5, 1), cases[0].fits);
  EXPECT_EQ(platform::FormatText(cases[1].text, 160, "%02u:%02u:%02u %02u/%02u/%02u", 9u, 5u, 7u,
                                 1u, 31u, 0u),
            cases[1].fits);
  EXPECT_EQ(platform::FormatText(cases[2].text, 160, "(%s %s)HEADER(%ld) Debug:%s\n", "01/01/00",
                                 "09:05:07", 1234L, "x"),
            cases[2].fits);
  EXPECT_EQ(platform::FormatText(cases[3].text, 160, "%d|%i|%ld|%lu|%x|%X", -7, 0, -2147483647L - 1,
                                 4294967295UL, 0xbeefu, 0xbeefu),
            cases[3].fits);
  EXPECT_EQ(platform::FormatText(cases[4].text, 160, "[%5d][%05d][%-4d][%s]", 42, -42, 3, "ab"),
            cases[4].fits);
  EXPECT_EQ(platform::FormatText(cases[5].text, 160, "Install%s.dll %d%%", "ENU", 100),
            cases[5].fits);
  EXPECT_EQ(
      platform::FormatText(cases[6].text, 160, "Error copy file from '%s' to '%s'", "C:\\a", ""),
      cases[6].fits);
  EXPECT_EQ(Unchecked(cases[7].text, 160, "a%qb end%"), cases[7].fits);
  for (const Case& c : cases)
    EXPECT_STREQ(c.text, c.expected);

  // A text longer than its buffer is cut, terminated, and nothing is written behind it; texts
  // are taken whole however long.
  char guarded[24 + 4];
  std::memset(guarded, '#', sizeof guarded);
  EXPECT_FALSE(platform::FormatText(guarded, 24, "%s\\%u", long_path, 7u));
  EXPECT_EQ(std::strlen(guarded), 23u);
  EXPECT_EQ(std::strncmp(guarded, long_path, 23), 0);
  EXPECT_EQ(std::memcmp(guarded + 24, "####", 4), 0);
  char number[4];
  EXPECT_FALSE(platform::FormatText(number, sizeof number, "%d", 123456));
  EXPECT_STREQ(number, "123");
  EXPECT_FALSE(platform::FormatText(number, 0, "x"));
  char whole[200];
  EXPECT_TRUE(platform::FormatText(whole, sizeof whole, "%s|%s", long_path, long_path));
  EXPECT_EQ(std::strlen(whole), 2 * std::strlen(long_path) + 1);
}

}  // namespace
