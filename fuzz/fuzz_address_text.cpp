// Fuzz target for the address and name texts that come from outside (socket tables, captured
// datagrams, typed lookups): IsLocalAddress, ClassifyProcess and RoleLabel must accept any wide
// text without a crash and always give one of their fixed answers.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "monitor/address.h"
#include "monitor/classification.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::wstring text;
  for (size_t i = 0; i + 1 < size; i += 2) text.push_back(static_cast<wchar_t>(data[i] | (data[i + 1] << 8)));
  const bool local = tolvane::IsLocalAddress(text);
  // A text that is not an IPv4 or IPv6 form at all is never a public peer.
  if (!local && text.find(L':') == std::wstring::npos && text.find(L'.') == std::wstring::npos) std::abort();
  const std::wstring_view category = tolvane::ClassifyProcess(text);
  if (category.empty()) std::abort();
  const int32_t port = size > 0 ? static_cast<int32_t>(data[0]) * 257 : 0;
  for (const wchar_t* protocol : {L"TCP4", L"UDP6"})
    if (tolvane::RoleLabel(category, protocol, text, port).empty()) std::abort();
  return 0;
}
