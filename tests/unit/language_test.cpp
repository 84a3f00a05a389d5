// The language suffix for every kind of locale the table has to tell apart.
#include <gtest/gtest.h>

#include <string>

#include "base/bounded_text.h"
#include "launcher/language.h"
#include "tests/support/pretend_machine.h"

namespace {

class LanguageTest : public testing::Test {
 protected:
  void SetUp() override { pretend::ResetMachine(); }
  void TearDown() override { pretend::ResetMachine(); }

  static std::string SuffixFor(const char* abbreviated_name) {
    text::Copy(pretend::Machine().abbreviated_language_name,
               sizeof pretend::Machine().abbreviated_language_name, abbreviated_name);
    char suffix[kLanguageSuffixCapacity] = "";
    GetLanguageSuffix(suffix, sizeof suffix);
    return suffix;
  }
};

TEST_F(LanguageTest, SuffixByTheLanguagesTwoLetters) {
  const struct Case {
    const char* locale;
    const char* suffix;
  } cases[] = {
      {"ENU", "ENU"},
      {"ENG", "ENU"},
      {"DES", "DEU"},
      {"DEU", "DEU"},
      {"FRC", "FRA"},
      {"PTG", "PTB"},
      {"PTB", "PTB"},
      {"ESN", "ESP"},
      {"JPN", "JPN"},
      {"ITA", "ITA"},
      // Lower-case keys have rows of their own; mixed case matches neither.
      {"enu", "ENU"},
      {"fra", "FRA"},
      {"De_", "De_"},
      // No row: the locale's own name.
      {"NLD", "NLD"},
      {"JPX", "JPN"},
      {"JA", "JA"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.locale);
    EXPECT_EQ(SuffixFor(c.locale), c.suffix);
  }
}

TEST_F(LanguageTest, UnreadableLocaleLeavesTheBufferAsItWas) {
  char suffix[kLanguageSuffixCapacity] = "";
  GetLanguageSuffix(suffix, sizeof suffix);  // the machine starts with no readable locale
  EXPECT_STREQ(suffix, "");
  char kept[kLanguageSuffixCapacity] = "XYZ";
  GetLanguageSuffix(kept, sizeof kept);
  EXPECT_STREQ(kept, "XYZ");
}

TEST_F(LanguageTest, NameTooLongForTheLocaleTextCountsAsUnreadable) {
  EXPECT_EQ(SuffixFor("ENGLISH"), "");
}

}  // namespace
