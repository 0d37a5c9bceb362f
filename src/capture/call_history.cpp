// The history file calls.csv: its text form, its reader, its bounds and the save and load protocol.
// See call_history.h. Every byte of the file is untrusted: the user may have edited it, another
// program may have written it.
#include "capture/call_history.h"

#include <algorithm>
#include <cstdio>
#include <unordered_map>

#include "platform/inet.h"
#include "platform/utf8.h"
#include "settings/settings.h"
#include "settings/settings_file.h"

namespace tolvane {
namespace {

constexpr int64_t kMsPerDay = 86400000;

// Floor division, so instants before 1970 land in the right day.
int64_t FloorDiv(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

// Days since 1970-01-01 of a proleptic Gregorian date, and back (H. Hinnant's algorithms).
int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d) {
  y -= m <= 2;
  const int64_t era = FloorDiv(y, 400);
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t z, int64_t& y, int64_t& m, int64_t& d) {
  z += 719468;
  const int64_t era = FloorDiv(z, 146097);
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  d = doy - (153 * mp + 2) / 5 + 1;
  m = mp < 10 ? mp + 3 : mp - 9;
  y = yoe + era * 400 + (m <= 2);
}

int64_t DaysInMonth(int64_t y, int64_t m) {
  static constexpr int64_t kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  return m == 2 && leap ? 29 : kDays[m - 1];
}

// Digits only, at most 19 of them (no overflow); nullopt otherwise.
std::optional<uint64_t> Digits(std::string_view text) {
  if (text.empty() || text.size() > 19) return std::nullopt;
  uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<uint64_t>(c - '0');
  }
  return value;
}

bool IsFormulaStart(wchar_t c) { return c == L'=' || c == L'+' || c == L'-' || c == L'@'; }

// A text a spreadsheet would run (a formula character after any "'") gets one "'" more in the file.
bool NeedsGuard(const std::wstring& text) {
  const size_t first = text.find_first_not_of(L'\'');
  return first != std::wstring::npos && IsFormulaStart(text[first]);
}

std::string CsvText(const std::wstring& text) {
  std::wstring clean = SanitizeText(text, kCallHistoryTextLimit);
  if (NeedsGuard(clean)) clean.insert(clean.begin(), L'\'');
  const std::string bytes = WideToUtf8(clean);
  if (bytes.find_first_of(",\"") == std::string::npos &&
      (bytes.empty() || (bytes.front() != ' ' && bytes.back() != ' ')))
    return bytes;
  std::string quoted = "\"";
  for (char c : bytes) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + '"';
}

std::wstring TextField(std::string_view bytes) {
  std::wstring text = Utf8ToWide(bytes);
  text = SanitizeText(text, text.size());
  if (!text.empty() && text.front() == L'\'' && NeedsGuard(text)) text.erase(text.begin());
  return SanitizeText(text, kCallHistoryTextLimit);
}

// The fields of one line; false for an unterminated quote or text after a closing quote.
bool SplitCsvLine(std::string_view line, std::vector<std::string>& fields) {
  fields.assign(1, std::string());
  size_t i = 0;
  while (i < line.size()) {
    std::string& field = fields.back();
    if (line[i] == '"' && field.empty()) {
      ++i;
      for (;;) {
        if (i >= line.size()) return false;
        if (line[i] == '"') {
          if (i + 1 < line.size() && line[i + 1] == '"') {
            field += '"';
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        field += line[i++];
      }
      if (i < line.size() && line[i] != ',') return false;
    } else if (line[i] != ',') {
      field += line[i++];
      continue;
    }
    if (i < line.size()) {  // a comma
      ++i;
      fields.emplace_back();
    }
  }
  return true;
}

std::optional<CallServerRecord> ParseRow(const std::vector<std::string>& f) {
  if (f.size() != 9) return std::nullopt;
  CallServerRecord r;
  r.address = Utf8ToWide(f[0]);
  if (r.address.empty() || r.address.size() > 45 || (!InetPton4(r.address) && !InetPton6(r.address)))
    return std::nullopt;
  const std::optional<uint64_t> port = Digits(f[1]);
  const std::optional<int64_t> first = ParseLocalTime(f[2]);
  const std::optional<int64_t> last = ParseLocalTime(f[3]);
  const std::optional<uint64_t> packets = Digits(f[4]);
  if (!port || *port > 65535 || !first || !last || *first > *last || !packets) return std::nullopt;
  r.port = static_cast<int32_t>(*port);
  r.firstSeenMs = *first;
  r.lastSeenMs = *last;
  r.packets = *packets;
  if (!f[5].empty() && f[5] != "-1") {
    const std::optional<uint64_t> median = Digits(f[5]);
    if (!median || *median == 0 || *median > 600000) return std::nullopt;
    r.medianMs = static_cast<int32_t>(*median);
  }
  r.place = TextField(f[6]);
  r.country = TextField(f[7]);
  r.owner = TextField(f[8]);
  return r;
}

std::string DateText(int64_t unixMs, int32_t offsetMinutes) {
  const LocalTime t = ToLocalTime(unixMs, offsetMinutes);
  char text[16];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d", t.year, t.month, t.day);
  return text;
}

int64_t NowMs(Clock& clock) { return clock.SystemNs() / 1000000; }

}  // namespace

int64_t LocalDay(int64_t unixMs, int32_t offsetMinutes) {
  return FloorDiv(unixMs + static_cast<int64_t>(offsetMinutes) * 60000, kMsPerDay);
}

LocalTime ToLocalTime(int64_t unixMs, int32_t offsetMinutes) {
  const int64_t local = unixMs + static_cast<int64_t>(offsetMinutes) * 60000;
  const int64_t days = FloorDiv(local, kMsPerDay);
  const int64_t inDay = local - days * kMsPerDay;
  int64_t y = 0, m = 0, d = 0;
  CivilFromDays(days, y, m, d);
  return LocalTime{static_cast<int32_t>(y), static_cast<int32_t>(m), static_cast<int32_t>(d),
                   static_cast<int32_t>(inDay / 3600000), static_cast<int32_t>(inDay / 60000 % 60)};
}

std::string FormatLocalTime(int64_t unixMs, int32_t offsetMinutes) {
  const int64_t local = unixMs + static_cast<int64_t>(offsetMinutes) * 60000;
  const LocalTime t = ToLocalTime(unixMs, offsetMinutes);
  const int64_t second = FloorDiv(local, 1000) % 60;
  const int32_t offset = offsetMinutes < 0 ? -offsetMinutes : offsetMinutes;
  char text[40];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d%c%02d:%02d", t.year, t.month, t.day, t.hour, t.minute,
                static_cast<int>((second + 60) % 60), offsetMinutes < 0 ? '-' : '+', offset / 60, offset % 60);
  return text;
}

std::optional<int64_t> ParseLocalTime(std::string_view text) {
  // YYYY-MM-DDTHH:MM:SS then Z or +HH:MM / -HH:MM
  if (text.size() != 20 && text.size() != 25) return std::nullopt;
  auto number = [&](size_t at, size_t length) { return Digits(text.substr(at, length)); };
  if (text[4] != '-' || text[7] != '-' || text[10] != 'T' || text[13] != ':' || text[16] != ':') return std::nullopt;
  const auto y = number(0, 4), mo = number(5, 2), d = number(8, 2), h = number(11, 2), mi = number(14, 2),
             s = number(17, 2);
  if (!y || !mo || !d || !h || !mi || !s || *y < 1 || *mo < 1 || *mo > 12 || *d < 1 ||
      static_cast<int64_t>(*d) > DaysInMonth(static_cast<int64_t>(*y), static_cast<int64_t>(*mo)) || *h > 23 ||
      *mi > 59 || *s > 59)
    return std::nullopt;
  int64_t offsetMinutes = 0;
  if (text.size() == 20) {
    if (text[19] != 'Z') return std::nullopt;
  } else {
    if ((text[19] != '+' && text[19] != '-') || text[22] != ':') return std::nullopt;
    const auto oh = number(20, 2), om = number(23, 2);
    if (!oh || !om || *oh > 14 || *om > 59) return std::nullopt;
    offsetMinutes = static_cast<int64_t>(*oh * 60 + *om) * (text[19] == '-' ? -1 : 1);
  }
  const int64_t days = DaysFromCivil(static_cast<int64_t>(*y), static_cast<int64_t>(*mo), static_cast<int64_t>(*d));
  const int64_t seconds = static_cast<int64_t>(*h * 3600 + *mi * 60 + *s);
  return days * kMsPerDay + seconds * 1000 - offsetMinutes * 60000;
}

std::string FormatCallHistory(const std::vector<CallServerRecord>& records, Clock& clock) {
  std::string out = std::string(kCallHistoryHeader) + "\r\n";
  for (const CallServerRecord& r : records) {
    out += CsvText(r.address) + ',' + std::to_string(r.port) + ',';
    out += FormatLocalTime(r.firstSeenMs, clock.UtcOffsetMinutes(r.firstSeenMs)) + ',';
    out += FormatLocalTime(r.lastSeenMs, clock.UtcOffsetMinutes(r.lastSeenMs)) + ',';
    out += std::to_string(r.packets) + ',' + std::to_string(r.medianMs > 0 ? r.medianMs : -1) + ',';
    out += CsvText(r.place) + ',' + CsvText(r.country) + ',' + CsvText(r.owner) + "\r\n";
  }
  return out;
}

ParsedCallHistory ParseCallHistory(std::string_view bytes) {
  ParsedCallHistory out;
  if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);  // a spreadsheet's byte-order mark
  std::unordered_map<std::wstring, size_t> indexOf;
  std::vector<std::string> fields;
  bool header = true;
  size_t pos = 0;
  while (pos < bytes.size()) {
    size_t end = bytes.find('\n', pos);
    if (end == std::string_view::npos) end = bytes.size();
    std::string_view line = bytes.substr(pos, end - pos);
    pos = end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (header) {
      header = false;
      if (line != kCallHistoryHeader) {
        out.foreign = true;
        return out;
      }
      continue;
    }
    if (line.empty()) continue;
    std::optional<CallServerRecord> row;
    if (SplitCsvLine(line, fields)) row = ParseRow(fields);
    if (!row) {
      ++out.badRows;
      continue;
    }
    const auto [it, added] = indexOf.emplace(row->address, out.records.size());
    if (added) {
      out.records.push_back(std::move(*row));
    } else if (row->lastSeenMs > out.records[it->second].lastSeenMs) {
      out.records[it->second] = std::move(*row);  // a row repeated by hand: the later sighting wins
    }
  }
  if (header) out.foreign = true;  // no header row at all
  return out;
}

void BoundCallHistory(std::vector<CallServerRecord>& records, int64_t nowMs) {
  std::erase_if(records, [&](const CallServerRecord& r) { return r.lastSeenMs < nowMs - kCallHistoryMaxAgeMs; });
  std::stable_sort(records.begin(), records.end(),
                   [](const CallServerRecord& a, const CallServerRecord& b) { return a.lastSeenMs > b.lastSeenMs; });
  if (records.size() > kCallHistoryMaxServers) records.resize(kCallHistoryMaxServers);
}

std::wstring CallHistoryPath(FileSystem& files) {
  const std::wstring settings = SettingsFilePath(files);
  const size_t sep = settings.find_last_of(L"\\/");
  return (sep == std::wstring::npos ? std::wstring() : settings.substr(0, sep + 1)) + L"calls.csv";
}

CallHistoryLoad LoadCallHistory(FileSystem& files, Clock& clock) {
  CallHistoryLoad load;
  const std::wstring path = CallHistoryPath(files);
  std::string bytes;
  bool setAside = false;
  switch (files.ReadLimited(path, kCallHistoryMaxBytes, bytes)) {
    case FileSystem::ReadResult::CannotOpen:
      // Missing is the usual case; a file that is there but cannot be read must not be replaced.
      load.writable = !files.Exists(path);
      return load;
    case FileSystem::ReadResult::ReadFailed:
      load.writable = false;
      return load;
    case FileSystem::ReadResult::BadSize:
      setAside = true;  // empty, or far too long to be ours
      break;
    case FileSystem::ReadResult::Ok: {
      ParsedCallHistory parsed = ParseCallHistory(bytes);
      setAside = parsed.foreign || parsed.badRows > 0;
      load.records = std::move(parsed.records);
      break;
    }
  }
  const int64_t now = NowMs(clock);
  if (setAside) {
    const std::wstring stem =
        path.substr(0, path.size() - 4) + L"-" + Utf8ToWide(DateText(now, clock.UtcOffsetMinutes(now)));
    load.writable = false;
    for (int n = 1; n < 100; ++n) {
      const std::wstring aside = stem + (n == 1 ? L"" : L"-" + std::to_wstring(n)) + L".csv";
      if (files.Exists(aside)) continue;
      if (files.MoveReplacing(path, aside)) {
        load.setAsidePath = aside;
        load.writable = true;
      }
      break;
    }
  }
  BoundCallHistory(load.records, now);
  return load;
}

bool SaveCallHistory(const std::vector<CallServerRecord>& records, FileSystem& files, Clock& clock) {
  return WriteReplacing(files, CallHistoryPath(files), FormatCallHistory(records, clock));
}

}  // namespace tolvane
