// Fuzz target for the recent-lookups list as the settings file leaves it: read back, no piece is
// empty or holds ","; adding an entry puts it first once, keeps at most 8 that fit the setting, or,
// for an entry the setting cannot hold, changes nothing.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "lookup/lookup_service.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tolvane;
  if (size < 1) return 0;
  const std::wstring text(data + 1, data + size);
  const size_t cut = std::min<size_t>(text.size(), data[0] * 2u);  // the entry is the text after the cut
  Settings settings;
  settings.lookupHist = SanitizeText(text.substr(0, cut), 400);
  const std::wstring entry = text.substr(cut), old = settings.lookupHist;
  for (const std::wstring& e : LoadRecentLookups(settings)) {
    if (e.empty() || e.find(L',') != std::wstring::npos) std::abort();
  }
  int saves = 0;
  AddRecentLookup(settings, entry, [&] { ++saves; });
  const std::vector<std::wstring> after = LoadRecentLookups(settings);
  if (entry.empty() || entry.size() > 400 || entry.find(L',') != std::wstring::npos) {
    if (settings.lookupHist != old || saves != 0) std::abort();
  } else if (saves != 1 || after.empty() || after.front() != entry || after.size() > kMaxRecentLookups ||
             std::count(after.begin(), after.end(), entry) != 1 || settings.lookupHist.size() > 400) {
    std::abort();
  }
  return 0;
}
