// Fuzz target for typed lookup text: any wide text must clean without a crash, and every result must
// keep its own promise: a website name passes the name rules, a canonical address parses again and
// formats to itself, and what is left is part of the input.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "lookup/lookup_target.h"
#include "platform/inet.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using tolvane::LookupTextKind;
  std::wstring text;
  for (size_t i = 0; i + 1 < size; i += 2) text.push_back(static_cast<wchar_t>(data[i] | (data[i + 1] << 8)));
  const tolvane::CleanedLookupText r = tolvane::CleanLookupText(text);
  switch (r.kind) {
    case LookupTextKind::Empty:
      if (!r.text.empty()) std::abort();
      break;
    case LookupTextKind::Ipv4: {
      const auto parsed = tolvane::InetPton4(r.text);
      if (!parsed || tolvane::InetNtop4(*parsed) != r.text) std::abort();
      break;
    }
    case LookupTextKind::Ipv6: {
      const auto parsed = tolvane::InetPton6(r.text);
      if (!parsed || tolvane::InetNtop6(*parsed) != r.text) std::abort();
      break;
    }
    case LookupTextKind::Website:
      if (!tolvane::IsWebsiteName(r.text) || text.find(r.text) == std::wstring::npos) std::abort();
      if (tolvane::InetPton4(r.text) || tolvane::InetPton6(r.text)) std::abort();
      break;
    case LookupTextKind::Invalid:
      if (r.text.empty() || tolvane::IsWebsiteName(r.text) || text.find(r.text) == std::wstring::npos) std::abort();
      break;
  }
  const std::wstring cut = tolvane::TruncateWithDots(text, size % 50);
  if (cut.size() > size % 50) std::abort();
  return 0;
}
