#include "tools/source_date.h"

#include <cstdlib>
#include <string>

#include "base/dos_time.h"
#include "tools/tool_error.h"

namespace tool {
namespace {

constexpr char kVariable[] = "SOURCE_DATE_EPOCH";
constexpr uint64_t kSecondsPerDay = 86400;
constexpr uint64_t kFirstDosSecond = 315532800;  // 1980-01-01 00:00:00 UTC

// The civil date of a day counted from 1970-01-01, in the proleptic Gregorian calendar: years
// counted in eras of 400 years, which repeat, starting each year in March so that the leap day
// comes last.
void CivilFromDays(uint64_t days, int* year, unsigned* month, unsigned* day) {
  const uint64_t shifted = days + 719468;  // days from 0000-03-01
  const uint64_t era = shifted / 146097;
  const uint64_t day_of_era = shifted - era * 146097;
  const uint64_t year_of_era =
      (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
  const uint64_t day_of_year =
      day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
  const uint64_t month_from_march = (5 * day_of_year + 2) / 153;
  *day = static_cast<unsigned>(day_of_year - (153 * month_from_march + 2) / 5 + 1);
  *month =
      static_cast<unsigned>(month_from_march < 10 ? month_from_march + 3 : month_from_march - 9);
  *year = static_cast<int>(year_of_era + era * 400 + (*month <= 2 ? 1 : 0));
}

}  // namespace

bool DosDateTimeFromUnixTime(uint64_t seconds, uint32_t* dos_date, uint32_t* dos_time) {
  int year = 0;
  unsigned month = 0;
  unsigned day = 0;
  CivilFromDays(seconds / kSecondsPerDay, &year, &month, &day);
  const auto second_of_day = static_cast<uint32_t>(seconds % kSecondsPerDay);
  return dos::PackDateTime({static_cast<uint32_t>(year), month, day, second_of_day / 3600,
                            second_of_day / 60 % 60, second_of_day % 60},
                           dos_date, dos_time);
}

TimeClamp TimeClamp::FromText(const char* text) {
  TimeClamp clamp;
  if (text == nullptr) return clamp;
  const std::string shown = std::string(kVariable) + "='" + text + "'";
  uint64_t seconds = 0;
  const std::string digits = text;
  if (digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos) {
    throw UsageError(shown + " is not a time: give seconds since 1970-01-01 UTC, digits only");
  }
  const size_t first_significant = digits.find_first_not_of('0');
  if (first_significant != std::string::npos && digits.size() - first_significant > 12) {
    // Past 2107 in any case; parsing it on could overflow.
    throw UsageError(shown + " lies beyond 2107, the last year a DOS date holds");
  }
  for (char c : digits)
    seconds = seconds * 10 + static_cast<uint64_t>(c - '0');
  if (seconds < kFirstDosSecond) {
    throw UsageError(shown + " lies before 1980-01-01, the earliest a DOS date holds");
  }
  // Milliseconds given for seconds land here too, far beyond.
  if (!DosDateTimeFromUnixTime(seconds, &clamp.dos_date_, &clamp.dos_time_)) {
    throw UsageError(shown + " lies beyond 2107, the last year a DOS date holds");
  }
  clamp.active_ = true;
  return clamp;
}

TimeClamp TimeClamp::FromEnvironment() {
  return FromText(std::getenv(kVariable));
}

void TimeClamp::Apply(uint32_t* dos_date, uint32_t* dos_time) const {
  if (!active_) return;
  const uint32_t stamp = ((*dos_date & 0xFFFF) << 16) | (*dos_time & 0xFFFF);
  if (stamp > ((dos_date_ << 16) | dos_time_)) {
    *dos_date = dos_date_;
    *dos_time = dos_time_;
  }
}

}  // namespace tool
