#include "launcher/language.h"

#include "base/bounded_text.h"
#include "platform/launcher_windows.h"

namespace {

// Locales are matched on the two letters that name the language, so every region of a
// language (ENG, DES, FRC ...) shares the library of its main one. The region letter is never
// compared. Both cases are listed because the comparison is exact.
struct LanguageRow {
  char key[4];
  char suffix[4];
};

constexpr LanguageRow kLanguageTable[] = {
    {"EN", "ENU"}, {"en", "ENU"}, {"FR", "FRA"}, {"fr", "FRA"}, {"DE", "DEU"},
    {"de", "DEU"}, {"IT", "ITA"}, {"it", "ITA"}, {"JP", "JPN"}, {"jp", "JPN"},
    {"PT", "PTB"}, {"pt", "PTB"}, {"ES", "ESP"}, {"es", "ESP"},
};

// LOCALE_SABBREVLANGNAME: three letters and the NUL.
constexpr int32_t kLocaleTextCapacity = 4;

}  // namespace

void GetLanguageSuffix(char* buffer, size_t capacity) {
  char locale[kLocaleTextCapacity] = {};
  if (platform::AbbreviatedLanguageName(locale, kLocaleTextCapacity) == 0) return;
  locale[kLocaleTextCapacity - 1] = '\0';
  const char* suffix = locale;
  for (const LanguageRow& row : kLanguageTable) {
    if (row.key[0] == '\0') break;
    if (row.key[0] == locale[0] && row.key[1] == locale[1]) {
      suffix = row.suffix;
      break;
    }
  }
  text::Copy(buffer, capacity, suffix);
}
