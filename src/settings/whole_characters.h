// Whole-character editing for the program's own text fields (the settings fields, the lookup box and
// the search box), which have no edit control to do it for them.
//
// Texts are UTF-16: a character outside the basic plane (an emoji) is a surrogate pair. Its two
// halves arrive together in a pasted text and one by one from the keyboard (two WM_CHAR messages),
// so a high half typed on its own waits at the end of the field for its partner. A limit never cuts
// a pair, and Backspace removes a pair whole. The functions take any code-unit type, so the same
// rules run on 16-bit units where wchar_t is 32 bits wide.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "settings/settings.h"

namespace tolvane {

// Appends the characters of text that fit in limit units to field. Units below 32 are dropped;
// accept(unit) may refuse a unit or rewrite it (it never sees a low half, which follows its high
// half). A high half is taken with room for two units, and inside a longer text only when its
// partner follows; a low half only right after a high one. A high half left waiting is dropped when
// something else comes.
template <class Unit, class Accept>
void AppendWholeCharacters(std::basic_string<Unit>& field, std::basic_string_view<Unit> text, size_t limit,
                           Accept&& accept) {
  for (size_t i = 0; i < text.size(); ++i) {
    Unit c = text[i];
    if (static_cast<uint32_t>(c) < 32) continue;
    const bool waiting = !field.empty() && IsHighSurrogate(field.back());
    if (IsLowSurrogate(c)) {
      if (waiting) field.push_back(c);  // room was kept when the high half was taken
      continue;
    }
    if (IsHighSurrogate(c) && text.size() > 1 && (i + 1 == text.size() || !IsLowSurrogate(text[i + 1]))) continue;
    if (!accept(c)) continue;
    if (waiting) field.pop_back();
    if (field.size() + (IsHighSurrogate(c) ? 2 : 1) > limit) continue;
    field.push_back(c);
  }
}

template <class Unit>
void AppendWholeCharacters(std::basic_string<Unit>& field, std::basic_string_view<Unit> text, size_t limit) {
  AppendWholeCharacters(field, text, limit, [](Unit&) { return true; });
}

// Removes the last character: both halves of a pair, else one unit. Nothing on an empty field.
template <class Unit>
void EraseLastCharacter(std::basic_string<Unit>& field) {
  if (field.empty()) return;
  const size_t n = field.size();
  const bool pair = n >= 2 && IsLowSurrogate(field[n - 1]) && IsHighSurrogate(field[n - 2]);
  field.resize(n - (pair ? 2 : 1));
}

}  // namespace tolvane
