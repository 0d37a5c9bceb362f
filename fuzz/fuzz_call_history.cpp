// Fuzz target for the call history reader: any bytes parse without a crash into rows that hold
// what the writer could have written (one per address, a port, times in order, texts without
// control characters within their limit), and writing those rows and reading them again gives the
// same rows with nothing left unread.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>

#include "../tests/fakes/fake_clock.h"
#include "capture/call_history.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

bool CleanText(const std::wstring& text) {
  return text.size() <= tolvane::kCallHistoryTextLimit &&
         std::all_of(text.begin(), text.end(), [](wchar_t c) { return static_cast<uint32_t>(c) >= 32; });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tolvane;
  const ParsedCallHistory parsed = ParseCallHistory(std::string(reinterpret_cast<const char*>(data), size));
  std::set<std::wstring> addresses;
  for (const CallServerRecord& r : parsed.records) {
    Check(addresses.insert(r.address).second);
    Check(r.port >= 0 && r.port <= 65535 && r.firstSeenMs <= r.lastSeenMs);
    Check(r.medianMs == -1 || (r.medianMs > 0 && r.medianMs <= 600000));
    Check(CleanText(r.place) && CleanText(r.country) && CleanText(r.owner));
  }
  FakeClock clock;
  const ParsedCallHistory again = ParseCallHistory(FormatCallHistory(parsed.records, clock));
  Check(!again.foreign && again.badRows == 0 && again.records == parsed.records);
  return 0;
}
