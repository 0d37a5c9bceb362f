// Copy templates: the user's texts that turn an address into what lands on the clipboard.
//
// A template may hold the placeholders {ip} {port} {ep} {app} {pid} {proto} (names in any case)
// and, while the words switch is on, the plain words IP and port, which count only as whole runs
// of letters, digits and "_" (so IPs, myIP, IP_2 and ip4 stay text). Anything unrecognised is
// copied as it is, braces included, and replaced text is never scanned again. An empty template
// means its fallback ("IP" or "IP:port"). The output is at most (template length) x (longest value
// + 1) characters, so a hostile template cannot blow up.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "settings/settings.h"

namespace tolvane {

inline constexpr std::wstring_view kIpTemplateFallback = L"IP";
inline constexpr std::wstring_view kEndpointTemplateFallback = L"IP:port";

// port <= 0 means none: {port} and the word port give "", {ep} gives the ip alone.
// pid is written unsigned.
std::wstring ExpandTemplate(std::wstring_view tpl, std::wstring_view fallback, bool words, std::wstring_view ip,
                            int32_t port, std::wstring_view app, uint32_t pid, std::wstring_view proto);

// The IP template (tplIp, fallback "IP") and the endpoint template (tplEp, fallback "IP:port"),
// with tplWords.
std::wstring ExpandIpTemplate(const Settings& settings, std::wstring_view ip, int32_t port, std::wstring_view app,
                              uint32_t pid, std::wstring_view proto);
std::wstring ExpandEndpointTemplate(const Settings& settings, std::wstring_view ip, int32_t port, std::wstring_view app,
                                    uint32_t pid, std::wstring_view proto);

}  // namespace tolvane
