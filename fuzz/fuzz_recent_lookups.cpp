// Fuzz target for the recent-lookups list as the settings file leaves it (any text of up to 400
// characters): the list read back holds the non-empty pieces between commas in order, and adding
// an entry puts it first once, keeps the others in their order, fits the setting, or (for an entry
// the setting cannot hold) changes nothing.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "lookup/lookup_service.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tolvane;
  if (size < 2) return 0;
  std::wstring text;
  for (size_t i = 2; i < size; ++i) text.push_back(static_cast<wchar_t>(data[i]));
  const size_t cut = std::min<size_t>(text.size(), data[0] * 2);  // the entry is the text after the cut
  Settings settings;
  settings.lookupHist = SanitizeText(text.substr(0, cut), 400);
  const std::wstring entry = text.substr(cut);

  const std::vector<std::wstring> before = LoadRecentLookups(settings);
  std::wstring joined;
  for (const std::wstring& e : before) {
    if (e.empty() || e.find(L',') != std::wstring::npos) std::abort();
    joined += (joined.empty() ? L"" : L",") + e;
  }
  std::wstring squeezed;  // the setting without empty pieces
  for (const wchar_t c : settings.lookupHist) {
    if (c != L',' || (!squeezed.empty() && squeezed.back() != L',')) squeezed.push_back(c);
  }
  if (!squeezed.empty() && squeezed.back() == L',') squeezed.pop_back();
  if (joined != squeezed) std::abort();

  const std::wstring old = settings.lookupHist;
  int saves = 0;
  AddRecentLookup(settings, entry, [&] { ++saves; });
  if (settings.lookupHist.size() > 400) std::abort();
  if (entry.empty() || entry.size() > 400 || entry.find(L',') != std::wstring::npos) {
    if (settings.lookupHist != old || saves != 0) std::abort();
    return 0;
  }
  const std::vector<std::wstring> after = LoadRecentLookups(settings);
  if (after.empty() || after.front() != entry || after.size() > kMaxRecentLookups || saves != 1) std::abort();
  size_t at = 0;  // the others keep their order
  for (size_t i = 1; i < after.size(); ++i) {
    if (after[i] == entry) std::abort();
    while (at < before.size() && before[at] != after[i]) ++at;
    if (at++ == before.size()) std::abort();
  }
  return 0;
}
