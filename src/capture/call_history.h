// The call-server history: every voice server a call ran over, kept in calls.csv next to the
// settings file, so the user can see later where their calls went and when.
//
// The file is UTF-8 CSV with CR LF line ends and one header row (kCallHistoryHeader); times are the
// local time of the instant with its UTC offset, ISO 8601 ("2024-05-01T14:03:22+02:00"). Texts are
// quoted where CSV needs it, and a text that a spreadsheet would take for a formula (a leading "=",
// "+", "-" or "@", which an answer of the geolocation service could carry) is written with a "'"
// before it; the reader takes that "'" off again.
//
// The history keeps the servers of the last 90 days, at most the 1000 seen last. It is written like
// the settings file: a temporary file flushed to the disk, then a replacing move, so a crash leaves
// the previous file whole. A file that is not ours (another header) or holds rows that cannot be
// read is never written over: it is renamed with the day's date ("calls-2024-05-01.csv") and a new
// file is begun with whatever rows could be read. Main thread only.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/clock.h"
#include "platform/files.h"

namespace tolvane {

struct CallServerRecord {
  std::wstring address;
  int32_t port = 0;
  int64_t firstSeenMs = 0;  // wall clock, ms since 1970 UTC
  int64_t lastSeenMs = 0;
  uint64_t packets = 0;
  int32_t medianMs = -1;  // median latency while it was seen; -1 when none was measured
  std::wstring place;     // city (else region, else country) as the geolocation service names it
  std::wstring country;   // country code, "DE"
  std::wstring owner;     // network owner: ISP and AS, "Hetzner Online GmbH / AS24940 Hetzner"

  bool operator==(const CallServerRecord&) const = default;
};

inline constexpr char kCallHistoryHeader[] = "address,port,firstSeen,lastSeen,packets,medianMs,place,country,owner";
inline constexpr size_t kCallHistoryMaxServers = 1000;
inline constexpr int64_t kCallHistoryMaxAgeMs = 90LL * 24 * 3600 * 1000;
// A longer file cannot be ours (1000 rows of the longest texts stay well below it).
inline constexpr uint64_t kCallHistoryMaxBytes = 4u << 20;
// Texts of a row are cut to this many characters.
inline constexpr size_t kCallHistoryTextLimit = 120;

// "2024-05-01T14:03:22+02:00" for the instant unixMs at offsetMinutes from UTC ("Z" for 0 is not
// used: the offset is always written).
std::string FormatLocalTime(int64_t unixMs, int32_t offsetMinutes);
// The instant of such a text ("Z" accepted for +00:00); nullopt for anything else.
std::optional<int64_t> ParseLocalTime(std::string_view text);
// Year, month (1-12), day, hour, minute of the local time at unixMs.
struct LocalTime {
  int32_t year = 1970, month = 1, day = 1, hour = 0, minute = 0;
};
LocalTime ToLocalTime(int64_t unixMs, int32_t offsetMinutes);
// The local day of unixMs, counted from 1970-01-01 (0); the weekday is (day + 4) mod 7, 0 Sunday.
int64_t LocalDay(int64_t unixMs, int32_t offsetMinutes);

// The file's bytes for records, in their order; each time with the clock's offset at that instant.
std::string FormatCallHistory(const std::vector<CallServerRecord>& records, Clock& clock);

struct ParsedCallHistory {
  std::vector<CallServerRecord> records;  // the rows that could be read, one per address
  bool foreign = false;                   // the first row is not our header: nothing was read
  size_t badRows = 0;                     // rows that could not be read
};
ParsedCallHistory ParseCallHistory(std::string_view bytes);

// Drops servers last seen more than 90 days before nowMs (or more than a day after it: a clock that
// was wrong), then keeps the 1000 seen last; the order is newest first afterwards.
void BoundCallHistory(std::vector<CallServerRecord>& records, int64_t nowMs);

// The settings file's folder + "calls.csv".
std::wstring CallHistoryPath(FileSystem& files);

struct CallHistoryLoad {
  std::vector<CallServerRecord> records;
  bool writable = true;       // false: a file is there that could not be read nor set aside
  std::wstring setAsidePath;  // where a damaged or foreign file was moved; empty when none was
};
// Reads the history; a damaged or foreign file is renamed with the date and its readable rows kept.
CallHistoryLoad LoadCallHistory(FileSystem& files, Clock& clock);
// Writes records through path + ".tmp" and a replacing move; false when the file was not replaced
// (the previous one is then untouched and no temporary file is left).
bool SaveCallHistory(const std::vector<CallServerRecord>& records, FileSystem& files, Clock& clock);

}  // namespace tolvane
