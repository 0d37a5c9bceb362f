// Template expansion; see copy_template.h. One left-to-right pass: each step consumes a
// placeholder, a word or one character, so the cost is linear in the template and the values.
#include "clipboard/copy_template.h"

#include <cwctype>

namespace tolvane {
namespace {

bool IsWordChar(wchar_t c) { return c == L'_' || std::iswalnum(static_cast<wint_t>(c)) != 0; }

// Case-insensitive comparison with an ASCII lower-case name.
bool EqualsLower(std::wstring_view text, std::wstring_view lowerName) {
  if (text.size() != lowerName.size()) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    if (static_cast<wchar_t>(std::towlower(static_cast<wint_t>(text[i]))) != lowerName[i]) return false;
  }
  return true;
}

}  // namespace

std::wstring ExpandTemplate(std::wstring_view tpl, std::wstring_view fallback, bool words, std::wstring_view ip,
                            int32_t port, std::wstring_view app, uint32_t pid, std::wstring_view proto) {
  if (tpl.empty()) tpl = fallback;
  const std::wstring portText = port > 0 ? std::to_wstring(port) : std::wstring();
  std::wstring ep(ip);
  if (port > 0) {
    ep += L':';
    ep += portText;
  }
  const std::wstring pidText = std::to_wstring(pid);
  const struct {
    std::wstring_view name;
    std::wstring_view value;
  } placeholders[] = {{L"ip", ip},   {L"port", portText}, {L"ep", ep},
                      {L"app", app}, {L"pid", pidText},   {L"proto", proto}};
  constexpr size_t kLongestName = 5;

  std::wstring out;
  size_t i = 0;
  while (i < tpl.size()) {
    const wchar_t c = tpl[i];
    if (c == L'{') {
      // Only the next "}" matters, and no name is longer than five letters: looking further than
      // that would only ever find "no match".
      const size_t close = tpl.find(L'}', i + 1);
      bool matched = false;
      if (close != std::wstring_view::npos && close - i - 1 <= kLongestName) {
        const std::wstring_view name = tpl.substr(i + 1, close - i - 1);
        for (const auto& p : placeholders) {
          if (EqualsLower(name, p.name)) {
            out += p.value;
            i = close + 1;
            matched = true;
            break;
          }
        }
      }
      if (!matched) {
        out += L'{';
        ++i;
      }
    } else if (words && IsWordChar(c)) {
      size_t end = i + 1;
      while (end < tpl.size() && IsWordChar(tpl[end])) ++end;
      const std::wstring_view word = tpl.substr(i, end - i);
      if (EqualsLower(word, L"ip")) {
        out += ip;
      } else if (EqualsLower(word, L"port")) {
        out += portText;
      } else {
        out += word;
      }
      i = end;
    } else {
      out += c;
      ++i;
    }
  }
  return out;
}

std::wstring ExpandIpTemplate(const Settings& settings, std::wstring_view ip, int32_t port, std::wstring_view app,
                              uint32_t pid, std::wstring_view proto) {
  return ExpandTemplate(settings.tplIp, kIpTemplateFallback, settings.tplWords, ip, port, app, pid, proto);
}

std::wstring ExpandEndpointTemplate(const Settings& settings, std::wstring_view ip, int32_t port, std::wstring_view app,
                                    uint32_t pid, std::wstring_view proto) {
  return ExpandTemplate(settings.tplEp, kEndpointTemplateFallback, settings.tplWords, ip, port, app, pid, proto);
}

}  // namespace tolvane
