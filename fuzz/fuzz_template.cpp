// Fuzz target for copy templates: any template and values must expand without a crash, and the
// output stays within (template length) x (longest value + 1) characters, so no template can make
// a copy grow without bound. Input layout: one flag byte (words on/off, port sign), four bytes of
// port, four of pid, then UTF-16LE text split at U+0001 into template, fallback, ip, app, proto.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "clipboard/copy_template.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 9) return 0;
  const bool words = (data[0] & 1) != 0;
  uint32_t portBits = 0;
  uint32_t pid = 0;
  for (int i = 0; i < 4; ++i) {
    portBits |= static_cast<uint32_t>(data[1 + i]) << (8 * i);
    pid |= static_cast<uint32_t>(data[5 + i]) << (8 * i);
  }
  const auto port = static_cast<int32_t>(portBits);
  std::vector<std::wstring> parts(1);
  for (size_t i = 9; i + 1 < size; i += 2) {
    const auto c = static_cast<wchar_t>(data[i] | (data[i + 1] << 8));
    if (c == 1 && parts.size() < 5) {
      parts.emplace_back();
    } else {
      parts.back().push_back(c);
    }
  }
  parts.resize(5);
  const std::wstring& tpl = parts[0];
  const std::wstring& fallback = parts[1];
  const std::wstring out = tolvane::ExpandTemplate(tpl, fallback, words, parts[2], port, parts[3], pid, parts[4]);

  const std::wstring& used = tpl.empty() ? fallback : tpl;
  // ep is the ip, ":" and up to 10 digits; pid and port have at most 10 digits.
  const size_t longest = std::max({parts[2].size() + 11, parts[3].size(), parts[4].size(), size_t{10}});
  if (out.size() > used.size() * (longest + 1)) std::abort();
  if (used.empty() && !out.empty()) std::abort();
  // Without braces and with words off, the template is copied unchanged.
  if (!words && used.find(L'{') == std::wstring::npos && out != used) std::abort();
  return 0;
}
