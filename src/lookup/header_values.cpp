// Header value readers. The date reader splits the text into words at blanks, commas and dashes,
// which turns all three date forms into the same pieces in nearly the same order: an optional
// weekday, then day and month (or month and day), the year and the time of day, and "GMT" except
// in the asctime form. Each piece is checked for its range; the calendar arithmetic is the usual
// days-from-civil count, exact for the proleptic Gregorian calendar.
#include "lookup/header_values.h"

#include <array>
#include <string>
#include <vector>

namespace tolvane {
namespace {

constexpr std::array<std::wstring_view, 12> kMonths = {L"jan", L"feb", L"mar", L"apr", L"may", L"jun",
                                                       L"jul", L"aug", L"sep", L"oct", L"nov", L"dec"};
constexpr std::array<std::wstring_view, 7> kWeekdays = {L"mon", L"tue", L"wed", L"thu", L"fri", L"sat", L"sun"};
constexpr std::array<std::wstring_view, 7> kLongWeekdays = {L"monday", L"tuesday",  L"wednesday", L"thursday",
                                                            L"friday", L"saturday", L"sunday"};

wchar_t Lower(wchar_t c) { return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c; }

bool EqualsIgnoringCase(std::wstring_view a, std::wstring_view lowerB) {
  if (a.size() != lowerB.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (Lower(a[i]) != lowerB[i]) return false;
  }
  return true;
}

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }
bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

std::wstring_view Trim(std::wstring_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

// Digits only, saturating at kHeaderSecondsLimit.
std::optional<int64_t> Digits(std::wstring_view s) {
  if (s.empty()) return std::nullopt;
  int64_t value = 0;
  for (const wchar_t c : s) {
    if (!IsDigit(c)) return std::nullopt;
    value = value * 10 + (c - L'0');
    if (value > kHeaderSecondsLimit) value = kHeaderSecondsLimit;
  }
  return value;
}

int MonthIndex(std::wstring_view word) {
  for (size_t i = 0; i < kMonths.size(); ++i) {
    if (EqualsIgnoringCase(word, kMonths[i])) return static_cast<int>(i) + 1;
  }
  return 0;
}

bool IsWeekday(std::wstring_view word) {
  for (const std::wstring_view d : kWeekdays) {
    if (EqualsIgnoringCase(word, d)) return true;
  }
  for (const std::wstring_view d : kLongWeekdays) {
    if (EqualsIgnoringCase(word, d)) return true;
  }
  return false;
}

// Days from 1970-01-01 to the given date of the proleptic Gregorian calendar.
int64_t DaysFromCivil(int64_t year, int month, int day) {
  year -= month <= 2 ? 1 : 0;
  const int64_t era = (year >= 0 ? year : year - 399) / 400;
  const int64_t yearOfEra = year - era * 400;
  const int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468;
}

int DaysInMonth(int64_t year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}

// "hh:mm:ss", two digits each.
bool ReadTime(std::wstring_view word, int& hour, int& minute, int& second) {
  if (word.size() != 8 || word[2] != L':' || word[5] != L':') return false;
  for (const size_t i : {0, 1, 3, 4, 6, 7}) {
    if (!IsDigit(word[i])) return false;
  }
  hour = (word[0] - L'0') * 10 + (word[1] - L'0');
  minute = (word[3] - L'0') * 10 + (word[4] - L'0');
  second = (word[6] - L'0') * 10 + (word[7] - L'0');
  return hour <= 23 && minute <= 59 && second <= 60;  // 60: a leap second, read as the next second
}

}  // namespace

std::optional<int64_t> ParseHeaderNumber(std::wstring_view value) { return Digits(Trim(value)); }

std::optional<int64_t> CacheControlMaxAge(std::wstring_view cacheControl) {
  size_t at = 0;
  while (at < cacheControl.size()) {
    // One directive: up to the next comma outside a quoted string.
    size_t end = at;
    bool quoted = false;
    for (; end < cacheControl.size(); ++end) {
      const wchar_t c = cacheControl[end];
      if (quoted && c == L'\\' && end + 1 < cacheControl.size()) {
        ++end;
      } else if (c == L'"') {
        quoted = !quoted;
      } else if (c == L',' && !quoted) {
        break;
      }
    }
    const std::wstring_view directive = Trim(cacheControl.substr(at, end - at));
    at = end + 1;
    const size_t equals = directive.find(L'=');
    if (!EqualsIgnoringCase(Trim(directive.substr(0, equals)), L"max-age")) continue;
    if (equals == std::wstring_view::npos) return std::nullopt;
    std::wstring_view value = Trim(directive.substr(equals + 1));
    if (value.size() >= 2 && value.front() == L'"' && value.back() == L'"') value = value.substr(1, value.size() - 2);
    return Digits(value);
  }
  return std::nullopt;
}

std::optional<int64_t> ParseHttpDate(std::wstring_view text) {
  std::vector<std::wstring_view> words;
  size_t at = 0;
  while (at < text.size()) {
    const wchar_t c = text[at];
    if (IsBlank(c) || c == L',' || c == L'-') {
      ++at;
      continue;
    }
    size_t end = at;
    while (end < text.size() && !IsBlank(text[end]) && text[end] != L',' && text[end] != L'-') ++end;
    words.push_back(text.substr(at, end - at));
    if (words.size() > 6) return std::nullopt;
    at = end;
  }
  size_t next = 0;
  if (next < words.size() && IsWeekday(words[next])) ++next;
  if (words.size() - next < 4) return std::nullopt;

  int month = MonthIndex(words[next]);
  std::wstring_view dayWord, yearWord, timeWord;
  if (month != 0) {
    // asctime: month, day, time, four-digit year, and nothing after.
    dayWord = words[next + 1];
    timeWord = words[next + 2];
    yearWord = words[next + 3];
    if (yearWord.size() != 4 || next + 4 != words.size()) return std::nullopt;
  } else {
    // The other two: day, month, year (four digits, or two in the old form), time, "GMT".
    dayWord = words[next];
    month = MonthIndex(words[next + 1]);
    yearWord = words[next + 2];
    timeWord = words[next + 3];
    if (next + 5 != words.size() || !EqualsIgnoringCase(words[next + 4], L"gmt")) return std::nullopt;
    if (yearWord.size() != 4 && yearWord.size() != 2) return std::nullopt;
  }
  const std::optional<int64_t> day = Digits(dayWord);
  const std::optional<int64_t> year = Digits(yearWord);
  int hour = 0, minute = 0, second = 0;
  if (month == 0 || dayWord.size() > 2 || !day || !year || !ReadTime(timeWord, hour, minute, second)) {
    return std::nullopt;
  }
  int64_t fullYear = *year;
  if (yearWord.size() == 2) fullYear += fullYear < 70 ? 2000 : 1900;
  if (fullYear < 1970 || *day < 1 || *day > DaysInMonth(fullYear, month)) return std::nullopt;
  const int64_t days = DaysFromCivil(fullYear, month, static_cast<int>(*day));
  return ((days * 24 + hour) * 60 + minute) * 60000 + second * 1000;
}

}  // namespace tolvane
