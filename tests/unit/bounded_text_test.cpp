#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/bounded_text.h"

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

TEST(BoundedText, BoundedLengthNeverLooksPastTheLimit) {
  const char field[4] = {'a', 'b', 'c', 'd'};  // no terminator
  EXPECT_EQ(text::BoundedLength(field, sizeof field), 4u);
  EXPECT_EQ(text::BoundedLength("ab", 10), 2u);
}

}  // namespace
