// Fuzz target for typed and pasted text in the text fields and the search box, on UTF-16 units
// (char16_t, so the surrogate rules run as on Windows). After every key, paste and Backspace the
// field holds at most its limit, only units it was given and none below 32, and whole characters:
// every surrogate half paired, but for a high half at the end that waits for its partner.
#include <bitset>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "settings/whole_characters.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using tolvane::IsHighSurrogate, tolvane::IsLowSurrogate;
  const size_t limit = 1 + (size > 0 ? data[0] % 64 : 0);
  std::u16string field, text;
  std::bitset<65536> given;
  for (size_t i = 1; i < size; text.clear()) {
    const uint8_t op = data[i++];  // op % 3: 0 Backspace, 1 a key, 2 a paste
    for (; text.size() < (op % 3 == 1 ? 1u : op % 3 * op / 6 % 24) && i + 1 < size; i += 2) {
      text.push_back(static_cast<char16_t>(data[i] | data[i + 1] << 8));
      given.set(text.back());
    }
    const size_t before = field.size();
    if (op % 3 == 0) tolvane::EraseLastCharacter(field);
    tolvane::AppendWholeCharacters(field, std::u16string_view(text), limit);
    if (field.size() > limit || field.size() > before + text.size()) std::abort();
    for (size_t k = 0; k < field.size(); ++k) {
      if (field[k] < 32 || !given[field[k]]) std::abort();
      if (IsLowSurrogate(field[k]) && (k == 0 || !IsHighSurrogate(field[k - 1]))) std::abort();
      if (IsHighSurrogate(field[k]) && k + 1 < field.size() && !IsLowSurrogate(field[k + 1])) std::abort();
    }
  }
  return 0;
}
