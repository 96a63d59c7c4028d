// DATE: days since 30 December 1899 at midnight; the fraction is the time of day. Before that
// day the whole part counts backwards while the fraction still runs forwards from midnight,
// so -1.25 is 29 December 1899 at 06:00.
#include <oleauto.h>

#include <cmath>

namespace {

constexpr long kSecondsPerDay = 86400;
constexpr double kFirstDate = -657434.0;  // 1 January 100, at midnight; its later times lie below
constexpr double kLastDate = 2958466.0;   // 1 January 10000, excluded

// Days since 1 January 1970 of a proleptic Gregorian date.
long DaysFromCivil(long year, unsigned month, unsigned day) {
  year -= month <= 2;
  const long era = (year >= 0 ? year : year - 399) / 400;
  const unsigned yearOfEra = static_cast<unsigned>(year - era * 400);
  const unsigned dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + static_cast<long>(dayOfEra) - 719468;
}

void CivilFromDays(long days, long& year, unsigned& month, unsigned& day) {
  days += 719468;
  const long era = (days >= 0 ? days : days - 146096) / 146097;
  const unsigned dayOfEra = static_cast<unsigned>(days - era * 146097);
  const unsigned yearOfEra =
      (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const unsigned shiftedMonth = (5 * dayOfYear + 2) / 153;
  day = dayOfYear - (153 * shiftedMonth + 2) / 5 + 1;
  month = shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9;
  year = static_cast<long>(yearOfEra) + era * 400 + (month <= 2);
}

const long kDateEpoch = DaysFromCivil(1899, 12, 30);

unsigned DaysInMonth(long year, unsigned month) {
  static constexpr unsigned kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}

}  // namespace

extern "C" {

// Milliseconds are ignored, as Windows ignores them here.
INT STDAPICALLTYPE SystemTimeToVariantTime(LPSYSTEMTIME lpSystemTime, double* pvtime) {
  if (!lpSystemTime || !pvtime) return FALSE;
  const SYSTEMTIME& t = *lpSystemTime;
  if (t.wYear < 100 || t.wYear > 9999 || t.wMonth < 1 || t.wMonth > 12 || t.wDay < 1 ||
      t.wDay > DaysInMonth(t.wYear, t.wMonth) || t.wHour > 23 || t.wMinute > 59 || t.wSecond > 59)
    return FALSE;
  const long days = DaysFromCivil(t.wYear, t.wMonth, t.wDay) - kDateEpoch;
  const double time = (t.wHour * 3600 + t.wMinute * 60 + t.wSecond) / double(kSecondsPerDay);
  *pvtime = days >= 0 ? days + time : days - time;
  return TRUE;
}

// The time of day is rounded to the nearest second, so that whole seconds survive a round trip.
// The first day's times run from kFirstDate down towards the day before it, which is excluded.
INT STDAPICALLTYPE VariantTimeToSystemTime(double vtime, LPSYSTEMTIME lpSystemTime) {
  if (!lpSystemTime || !std::isfinite(vtime) || vtime <= kFirstDate - 1 || vtime >= kLastDate)
    return FALSE;
  const double whole = std::trunc(vtime);
  long days = static_cast<long>(whole);
  long seconds = std::lround(std::fabs(vtime - whole) * kSecondsPerDay);
  if (seconds >= kSecondsPerDay) {  // rounded up to the next midnight
    seconds -= kSecondsPerDay;
    ++days;
  }
  long year = 0;
  unsigned month = 0, day = 0;
  CivilFromDays(days + kDateEpoch, year, month, day);
  if (year > 9999) return FALSE;
  SYSTEMTIME& t = *lpSystemTime;
  t.wYear = static_cast<WORD>(year);
  t.wMonth = static_cast<WORD>(month);
  t.wDay = static_cast<WORD>(day);
  // Day 0 was a Saturday (6).
  t.wDayOfWeek = static_cast<WORD>(((days + 6) % 7 + 7) % 7);
  t.wHour = static_cast<WORD>(seconds / 3600);
  t.wMinute = static_cast<WORD>(seconds / 60 % 60);
  t.wSecond = static_cast<WORD>(seconds % 60);
  t.wMilliseconds = 0;
  return TRUE;
}

}  // extern "C"
