#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

#include "base/bounded_text.h"

namespace {

// Every helper is run into a buffer with guard bytes behind its capacity.
struct Guarded {
  static constexpr size_t kCapacity = 8;
  char bytes[kCapacity + 4];
  Guarded() { std::memset(bytes, '#', sizeof bytes); }
  bool GuardIntact() const { return std::memcmp(bytes + kCapacity, "####", 4) == 0; }
};

TEST(BoundedText, CopyFitsOrCutsWithTerminator) {
  Guarded g;
  EXPECT_TRUE(text::Copy(g.bytes, Guarded::kCapacity, "1234567"));
  EXPECT_STREQ(g.bytes, "1234567");
  EXPECT_FALSE(text::Copy(g.bytes, Guarded::kCapacity, "123456789"));
  EXPECT_STREQ(g.bytes, "1234567");
  EXPECT_TRUE(g.GuardIntact());
  EXPECT_FALSE(text::Copy(g.bytes, 0, "x"));
}

TEST(BoundedText, AppendFitsOrCuts) {
  Guarded g;
  ASSERT_TRUE(text::Copy(g.bytes, Guarded::kCapacity, "abc"));
  EXPECT_TRUE(text::Append(g.bytes, Guarded::kCapacity, "defg"));
  EXPECT_STREQ(g.bytes, "abcdefg");
  EXPECT_FALSE(text::Append(g.bytes, Guarded::kCapacity, "h"));
  EXPECT_STREQ(g.bytes, "abcdefg");
  EXPECT_TRUE(g.GuardIntact());
}

TEST(BoundedText, AppendRefusesAnUnterminatedBuffer) {
  Guarded g;  // all '#', no NUL inside the capacity
  EXPECT_FALSE(text::Append(g.bytes, Guarded::kCapacity, "x"));
  EXPECT_TRUE(g.GuardIntact());
}

TEST(BoundedText, CopyPrefixStopsAtCountOrSourceEnd) {
  Guarded g;
  EXPECT_TRUE(text::CopyPrefix(g.bytes, Guarded::kCapacity, "abcdef", 3));
  EXPECT_STREQ(g.bytes, "abc");
  EXPECT_TRUE(text::CopyPrefix(g.bytes, Guarded::kCapacity, "ab", 5));
  EXPECT_STREQ(g.bytes, "ab");
}

TEST(BoundedText, FormatReportsTruncation) {
  Guarded g;
  EXPECT_TRUE(text::Format(g.bytes, Guarded::kCapacity, "%d-%s", 42, "ab"));
  EXPECT_STREQ(g.bytes, "42-ab");
  EXPECT_FALSE(text::Format(g.bytes, Guarded::kCapacity, "%s", "0123456789"));
  EXPECT_STREQ(g.bytes, "0123456");
  EXPECT_TRUE(g.GuardIntact());
}

// The formatter is our own; it must agree with the C library's for every form the launcher uses.
TEST(BoundedText, FormatAgreesWithTheCLibrary) {
  char ours[64];
  char theirs[64];
#define EXPECT_SAME_FORMAT(...)                        \
  do {                                                 \
    text::Format(ours, sizeof ours, __VA_ARGS__);      \
    std::snprintf(theirs, sizeof theirs, __VA_ARGS__); \
    EXPECT_STREQ(ours, theirs) << #__VA_ARGS__;        \
  } while (0)
  EXPECT_SAME_FORMAT("%d.%d", 5, 1);
  EXPECT_SAME_FORMAT("%d.%d", 255, 255);
  EXPECT_SAME_FORMAT("%d|%i|%d", -7, 0, -2147483647 - 1);
  EXPECT_SAME_FORMAT("%u|%x|%X", 4294967295u, 0xbeefu, 0xbeefu);
  EXPECT_SAME_FORMAT("%02u/%02u/%02u", 1u, 31u, 0u);
  EXPECT_SAME_FORMAT("%ld|%lu", -123456789L, 987654321UL);
  EXPECT_SAME_FORMAT("%5d|%05d|%-4d|%-3s|", 42, -42, 3, "a");
  EXPECT_SAME_FORMAT("%s%s%.3s%X.tmp", "C:\\T", "\\", "AIXYZ", 0x1Fu);
  EXPECT_SAME_FORMAT("%.0s|%4s|%c|100%%", "gone", "ab", 'q');
  EXPECT_SAME_FORMAT("(%s %s)HEADER(%ld) Debug:%s\n", "01/01/00", "09:05:07", 1234L, "x");
#undef EXPECT_SAME_FORMAT
}

// Formats without the compiler's format check, for formats it would reject.
bool FormatUnchecked(char* buffer, size_t capacity, const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  bool fits = text::FormatList(buffer, capacity, format, arguments);
  va_end(arguments);
  return fits;
}

TEST(BoundedText, FormatCopiesUnknownConversionsAndCutsSafely) {
  char out[8];
  EXPECT_TRUE(FormatUnchecked(out, sizeof out, "a%qb"));
  EXPECT_STREQ(out, "a%qb");
  EXPECT_TRUE(FormatUnchecked(out, sizeof out, "end%"));
  EXPECT_STREQ(out, "end%");
  EXPECT_FALSE(text::Format(out, sizeof out, "%d", 123456789));
  EXPECT_STREQ(out, "1234567");
}

TEST(BoundedText, BoundedLengthNeverLooksPastTheLimit) {
  const char field[4] = {'a', 'b', 'c', 'd'};  // no terminator
  EXPECT_EQ(text::BoundedLength(field, sizeof field), 4u);
  EXPECT_EQ(text::BoundedLength("ab", 10), 2u);
}

}  // namespace
