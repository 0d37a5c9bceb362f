// Lookup target cleaning, the resolver threads and the commands that open a lookup. See
// lookup_target.h for the threading rules.
#include "lookup/lookup_target.h"

#include <cwctype>
#include <system_error>
#include <thread>

#include "monitor/address.h"
#include "platform/inet.h"

namespace tolvane {
namespace {

bool IsSpace(wchar_t c) { return std::iswspace(static_cast<std::wint_t>(c)) != 0; }
bool IsAlnum(wchar_t c) { return std::iswalnum(static_cast<std::wint_t>(c)) != 0; }

}  // namespace

bool IsWebsiteName(std::wstring_view name) {
  if (name.empty() || name.size() > kMaxWebsiteNameLength) return false;
  if (name.find(L'.') == std::wstring_view::npos) return false;
  if (name.front() == L'.' || name.front() == L'-' || name.back() == L'.') return false;
  for (wchar_t c : name)
    if (c != L'-' && c != L'.' && !IsAlnum(c)) return false;
  return true;
}

CleanedLookupText CleanLookupText(std::wstring_view input) {
  std::wstring_view t = input;
  while (!t.empty() && IsSpace(t.front())) t.remove_prefix(1);
  while (!t.empty() && IsSpace(t.back())) t.remove_suffix(1);

  if (const size_t scheme = t.find(L"://"); scheme != std::wstring_view::npos) t.remove_prefix(scheme + 3);
  if (const size_t cut = t.find_first_of(L"/?#"); cut != std::wstring_view::npos) t = t.substr(0, cut);
  if (const size_t at = t.find(L'@'); at != std::wstring_view::npos) t.remove_prefix(at + 1);
  if (!t.empty() && t.front() == L'[') {
    if (const size_t close = t.find(L']'); close != std::wstring_view::npos) t = t.substr(1, close - 1);
  }
  if (const size_t colon = t.find(L':');
      colon != std::wstring_view::npos && t.find(L':', colon + 1) == std::wstring_view::npos)
    t = t.substr(0, colon);

  CleanedLookupText out;
  if (t.empty()) return out;
  if (const auto v4 = InetPton4(t)) {
    out.text = InetNtop4(*v4);
    if (!out.text.empty()) {
      out.kind = LookupTextKind::Ipv4;
      return out;
    }
  } else if (const auto v6 = InetPton6(t)) {
    out.text = InetNtop6(*v6);
    if (!out.text.empty()) {
      out.kind = LookupTextKind::Ipv6;
      return out;
    }
  }
  out.text = std::wstring(t);
  out.kind = IsWebsiteName(t) ? LookupTextKind::Website : LookupTextKind::Invalid;
  return out;
}

std::wstring TruncateWithDots(std::wstring_view text, size_t n) {
  if (text.size() <= n) return std::wstring(text);
  if (n < 3) return std::wstring(text.substr(0, n));
  return std::wstring(text.substr(0, n - 3)) + L"...";
}

void ResolveAndPost(NameResolver& resolver, LookupPoster& poster, const std::wstring& host) {
  const std::wstring ip = resolver.ResolveIpv4(host);
  if (!ip.empty())
    poster.PostHostResolved(host + L"|" + ip);
  else
    poster.PostHostNotFound(host);
}

void StartLookup(std::shared_ptr<NameResolver> resolver, std::shared_ptr<LookupPoster> poster, std::wstring host) {
  if (!resolver || !poster) return;
  try {
    // The thread holds its own references; nothing it touches belongs to the window.
    std::thread([resolver, poster, host]() { ResolveAndPost(*resolver, *poster, host); }).detach();
  } catch (const std::system_error&) {
    poster->PostHostNotFound(std::move(host));
  }
}

LookupCommands::LookupCommands(CurrentLookup& current, LookupCache& cache, Settings& settings, Toast& toast,
                               std::shared_ptr<NameResolver> resolver, std::shared_ptr<LookupPoster> poster,
                               LookupHooks hooks)
    : current_(current),
      cache_(cache),
      settings_(settings),
      toast_(toast),
      resolver_(std::move(resolver)),
      poster_(std::move(poster)),
      hooks_(std::move(hooks)) {}

void LookupCommands::SubmitLookupText(std::wstring_view text) {
  const CleanedLookupText cleaned = CleanLookupText(text);
  switch (cleaned.kind) {
    case LookupTextKind::Empty:
      toast_.Show(L"Type an IP address or a website first");
      return;
    case LookupTextKind::Ipv4:
    case LookupTextKind::Ipv6:
      OpenLookup(cleaned.text, LookupContext{});
      AddRecentLookup(settings_, cleaned.text, hooks_.saveSettings);
      return;
    case LookupTextKind::Website:
      toast_.Show(L"Finding " + cleaned.text + L"...");
      StartLookup(resolver_, poster_, cleaned.text);
      return;
    case LookupTextKind::Invalid:
      toast_.Show(L"That is not a valid IP address or website");
      return;
  }
}

void LookupCommands::OpenLookup(const std::wstring& address, const LookupContext& context) {
  if (address.empty() || address == L"*") return;
  current_.address = address;
  current_.context = context;
  current_.websiteName.clear();
  current_.panelOpen.store(true);
  if (hooks_.setPingFocus) hooks_.setPingFocus(address);
  cache_.RequestLookup(address, false);
  if (address.find(L':') == std::wstring::npos && !IsLocalAddress(address) && hooks_.requestPing)
    hooks_.requestPing(address);
}

void LookupCommands::LookupRow(const ConnectionRow& row) {
  if (row.remoteAddress.empty() || row.remoteAddress == L"*") {
    toast_.Show(L"This row has no remote IP yet");
    return;
  }
  LookupContext context;
  context.app = row.processName;
  context.protocol = row.protocol;
  context.pid = static_cast<int32_t>(row.pid);
  context.port = row.remotePort;
  OpenLookup(row.remoteAddress, context);
}

void LookupCommands::LookupCallEndpoint(const CallEndpoint& endpoint) {
  LookupContext context;
  context.app = endpoint.processName;
  context.protocol = endpoint.protocol;
  context.pid = endpoint.pid;
  context.port = endpoint.remotePort;
  OpenLookup(endpoint.address, context);
}

void LookupCommands::OnHostResolved(const std::wstring& hostBarIp) {
  const size_t bar = hostBarIp.find(L'|');
  if (bar == std::wstring::npos) return;
  const std::wstring host = hostBarIp.substr(0, bar);
  const std::wstring ip = hostBarIp.substr(bar + 1);
  if (ip.empty()) return;
  OpenLookup(ip, LookupContext{});
  current_.websiteName = host;
  AddRecentLookup(settings_, host, hooks_.saveSettings);
  toast_.Show(host + L" \u2192 " + ip);
}

void LookupCommands::OnHostNotFound(const std::wstring& host) {
  toast_.Show(L"Could not find \"" + TruncateWithDots(host, 40) + L"\"");
}

}  // namespace tolvane
