// The copy actions the window offers: a table row's IP or IP:port, a call entry's IP or IP:port,
// and the lookup address. Each expands the matching template and ends in CopyWithFeedback; each
// returns whether the clipboard took the text. Main thread only.
//
// The *CopyText functions give the text an action would copy, so that a button can compare it
// with the copied marker ("Copied ✓") without copying anything.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "capture/call_list.h"
#include "clipboard/copy_feedback.h"
#include "monitor/connection_row.h"
#include "settings/settings.h"

namespace tolvane {

inline constexpr std::wstring_view kNoRemoteIpToast = L"This row has no remote IP yet";

// A row whose remoteAddress is empty or "*" copies nothing and shows "This row has no remote IP
// yet". Labels "IP" and "IP:port".
bool CopyRowIp(CopyFeedback& feedback, const Settings& settings, uintptr_t window, const ConnectionRow& row);
bool CopyRowEndpoint(CopyFeedback& feedback, const Settings& settings, uintptr_t window, const ConnectionRow& row);

// An application's remote addresses, one per line (CR LF between), with the toast "Copied 7 IPs";
// none copies nothing and shows kNoRemoteIpToast.
bool CopyAddressList(CopyFeedback& feedback, uintptr_t window, const std::vector<std::wstring>& addresses);

std::wstring CallIpCopyText(const Settings& settings, const CallEndpoint& entry);
std::wstring CallEndpointCopyText(const Settings& settings, const CallEndpoint& entry);
bool CopyCallIp(CopyFeedback& feedback, const Settings& settings, uintptr_t window, const CallEndpoint& entry);
bool CopyCallEndpoint(CopyFeedback& feedback, const Settings& settings, uintptr_t window, const CallEndpoint& entry);

// The lookup address through the IP template with the context the lookup was opened from (empty
// texts and 0 when it was typed). Copies nothing while there is no address.
std::wstring LookupCopyText(const Settings& settings, std::wstring_view address, std::wstring_view app,
                            std::wstring_view protocol, uint32_t pid, int32_t port);
bool CopyLookupAddress(CopyFeedback& feedback, const Settings& settings, uintptr_t window, std::wstring_view address,
                       std::wstring_view app, std::wstring_view protocol, uint32_t pid, int32_t port);

}  // namespace tolvane
