// Which form of a path goes to an ANSI program: here the code page holds ASCII only, and a few
// folders and files have short forms.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "base/ansi_path.h"

namespace {

bool AsciiOnly(const uint16_t* wide, char* out, uint32_t capacity) {
  bool whole = true;
  uint32_t used = 0;
  for (; *wide != 0 && used + 1 < capacity; ++wide) {
    whole = whole && *wide < 0x80;
    out[used++] = *wide < 0x80 ? static_cast<char>(*wide) : '?';
  }
  out[used] = '\0';
  return whole && *wide == 0;
}

// Short forms by whole path, as GetShortPathName gives them; none for paths not listed.
bool KnownShortForm(const uint16_t* wide, uint16_t* out, uint32_t capacity) {
  static const std::map<std::u16string, std::u16string> kShort = {
      {u"C:\\\u0414\u043c\\setup.exe", u"C:\\D0D4~1\\setup.exe"},
      {u"C:\\\u0414\u043c\\\u0444.exe", u"C:\\D0D4~1\\D0A4~1.EXE"},
      {u"C:\\Temp\\\u0444\u0444", u"C:\\Temp\\\u0444~1"},
  };
  auto found = kShort.find(reinterpret_cast<const char16_t*>(wide));
  if (found == kShort.end() || found->second.size() >= capacity) return false;
  std::copy(found->second.begin(), found->second.end() + 1, out);  // with its NUL
  return true;
}

TEST(AnsiPath, ThePathItselfItsFoldersInShortFormOrNothing) {
  const text::AnsiPathServices services = {AsciiOnly, KnownShortForm};
  const struct Case {
    std::u16string path;
    text::AnsiPathResult result;
    const char* out;
  } cases[] = {
      {u"C:\\Setup\\setup.exe", text::ANSI_PATH_WHOLE, "C:\\Setup\\setup.exe"},
      // The folder in short form, the file's own name kept as its author gave it.
      {u"C:\\\u0414\u043c\\setup.exe", text::ANSI_PATH_SHORT, "C:\\D0D4~1\\setup.exe"},
      // A name the code page cannot hold either: the whole short form.
      {u"C:\\\u0414\u043c\\\u0444.exe", text::ANSI_PATH_SHORT, "C:\\D0D4~1\\D0A4~1.EXE"},
      // No short form, or one the code page cannot hold: lost, with stand-ins for messages.
      {u"C:\\\u0414\u043c\\other.exe", text::ANSI_PATH_LOST, "C:\\??\\other.exe"},
      {u"C:\\Temp\\\u0444\u0444", text::ANSI_PATH_LOST, "C:\\Temp\\??"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.out);
    char out[64] = "unchanged";
    EXPECT_EQ(text::ChooseAnsiPath(reinterpret_cast<const uint16_t*>(c.path.c_str()), services, out,
                                   sizeof out),
              c.result);
    EXPECT_STREQ(out, c.out);
    // As the platform gives it: a length, or none, and whether characters were lost.
    bool lost = false;
    const uint32_t length = text::ChooseAnsiPathLength(
        reinterpret_cast<const uint16_t*>(c.path.c_str()), services, out, sizeof out, &lost);
    EXPECT_EQ(length, c.result == text::ANSI_PATH_LOST ? 0u : std::string(c.out).size());
    EXPECT_EQ(lost, c.result == text::ANSI_PATH_LOST);
    EXPECT_STREQ(out, c.out);
  }
  // A form that does not fit the caller's buffer is no form at all.
  char small[8];
  EXPECT_EQ(text::ChooseAnsiPath(reinterpret_cast<const uint16_t*>(u"C:\\\u0414\u043c\\setup.exe"),
                                 services, small, sizeof small),
            text::ANSI_PATH_FAILED);
  bool lost = true;
  EXPECT_EQ(
      text::ChooseAnsiPathLength(reinterpret_cast<const uint16_t*>(u"C:\\\u0414\u043c\\setup.exe"),
                                 services, small, sizeof small, &lost),
      0u);
  EXPECT_FALSE(lost);
  EXPECT_STREQ(small, "");
}

}  // namespace
