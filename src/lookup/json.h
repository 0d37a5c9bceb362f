// Field reader for the geolocation service's flat JSON answers.
//
// There is no tree: each function looks up one key by searching the text for the key in double
// quotes followed (after optional space, tab, line feed or carriage return) by a colon. The search
// is shallow on purpose: it knows nothing of nesting, arrays or whether a quoted text is a key or a
// value, so the first quoted key that is followed by a colon wins wherever it stands. Keys are plain
// ASCII and matched exactly (case-sensitive). The text is untrusted UTF-8 straight from the network;
// it is never copied or modified, and no input makes these functions throw or read out of bounds.
// All are pure and safe on any thread.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tolvane {

struct JsonPosition {
  bool found;
  size_t position;  // byte index of the value (after the colon and white space), at most text.size()
};

JsonPosition JsonFindValue(std::string_view text, std::string_view key);

// The string value, unescaped and converted from UTF-8; empty when the key is missing or its value
// is not a string. A string cut off by the end of the text yields what was read up to the end.
std::wstring JsonGetString(std::string_view text, std::string_view key);

// The longest leading number at the value, read with the rules of the C library's strtod in the "C"
// locale whatever the user's locale; 0.0 when the key is missing or no number can be read there (a
// quoted number, null, a string).
double JsonGetNumber(std::string_view text, std::string_view key);

// True exactly when the value starts with the four bytes true.
bool JsonGetBool(std::string_view text, std::string_view key);

}  // namespace tolvane
