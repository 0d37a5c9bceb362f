// The program's only text conversions between UTF-8 (settings file, HTTP bodies) and wide text.
//
// On Windows they are the platform's own (WideCharToMultiByte / MultiByteToWideChar with CP_UTF8
// and no flags), so invalid input is replaced the way the system replaces it; the host build has a
// portable conversion with the same replacement behaviour.
#pragma once

#include <string>
#include <string_view>

namespace tolvane {

// An empty text or a failed conversion gives empty bytes.
std::string WideToUtf8(std::wstring_view text);
// An empty input gives an empty text; invalid sequences become U+FFFD.
std::wstring Utf8ToWide(std::string_view bytes);

}  // namespace tolvane
