// Copy actions; see copy_actions.h.
#include "clipboard/copy_actions.h"

#include "clipboard/copy_template.h"

namespace tolvane {
namespace {

bool HasRemoteIp(const ConnectionRow& row) { return !row.remoteAddress.empty() && row.remoteAddress != L"*"; }

}  // namespace

bool CopyRowIp(CopyFeedback& feedback, const Settings& settings, uintptr_t window, const ConnectionRow& row) {
  if (!HasRemoteIp(row)) {
    feedback.ShowToast(std::wstring(kNoRemoteIpToast));
    return false;
  }
  const std::wstring text =
      ExpandIpTemplate(settings, row.remoteAddress, row.remotePort, row.processName, row.pid, row.protocol);
  return feedback.CopyWithFeedback(window, text, L"IP");
}

bool CopyRowEndpoint(CopyFeedback& feedback, const Settings& settings, uintptr_t window, const ConnectionRow& row) {
  if (!HasRemoteIp(row)) {
    feedback.ShowToast(std::wstring(kNoRemoteIpToast));
    return false;
  }
  const std::wstring text =
      ExpandEndpointTemplate(settings, row.remoteAddress, row.remotePort, row.processName, row.pid, row.protocol);
  return feedback.CopyWithFeedback(window, text, L"IP:port");
}

bool CopyAddressList(CopyFeedback& feedback, uintptr_t window, const std::vector<std::wstring>& addresses) {
  if (addresses.empty()) {
    feedback.ShowToast(std::wstring(kNoRemoteIpToast));
    return false;
  }
  std::wstring text;
  for (const std::wstring& address : addresses) {
    if (!text.empty()) text += L"\r\n";
    text += address;
  }
  if (!feedback.SetClipboardText(window, text)) {
    feedback.ShowToast(std::wstring(kClipboardBusyToast));
    return false;
  }
  feedback.RecordCopied(text);
  feedback.ShowToast(L"Copied " + std::to_wstring(addresses.size()) + (addresses.size() == 1 ? L" IP" : L" IPs"));
  return true;
}

std::wstring CallIpCopyText(const Settings& settings, const CallEndpoint& entry) {
  return ExpandIpTemplate(settings, entry.address, entry.remotePort, entry.processName,
                          static_cast<uint32_t>(entry.pid), entry.protocol);
}

std::wstring CallEndpointCopyText(const Settings& settings, const CallEndpoint& entry) {
  return ExpandEndpointTemplate(settings, entry.address, entry.remotePort, entry.processName,
                                static_cast<uint32_t>(entry.pid), entry.protocol);
}

bool CopyCallIp(CopyFeedback& feedback, const Settings& settings, uintptr_t window, const CallEndpoint& entry) {
  return feedback.CopyWithFeedback(window, CallIpCopyText(settings, entry), L"IP");
}

bool CopyCallEndpoint(CopyFeedback& feedback, const Settings& settings, uintptr_t window, const CallEndpoint& entry) {
  return feedback.CopyWithFeedback(window, CallEndpointCopyText(settings, entry), L"IP:port");
}

std::wstring LookupCopyText(const Settings& settings, std::wstring_view address, std::wstring_view app,
                            std::wstring_view protocol, uint32_t pid, int32_t port) {
  // A template such as "ping IP -n 4" would otherwise copy "ping  -n 4" with no address in it.
  if (address.empty()) return {};
  return ExpandIpTemplate(settings, address, port, app, pid, protocol);
}

bool CopyLookupAddress(CopyFeedback& feedback, const Settings& settings, uintptr_t window, std::wstring_view address,
                       std::wstring_view app, std::wstring_view protocol, uint32_t pid, int32_t port) {
  return feedback.CopyWithFeedback(window, LookupCopyText(settings, address, app, protocol, pid, port), L"IP");
}

}  // namespace tolvane
