// The program's own text fields (it has no edit control), by number: the settings panel's fields
// and the lookup box. The drawing widgets take the focused one; the settings editor edits them.
#pragma once

#include <cstdint>

namespace tolvane {

// The editable texts, their limits and character filters (see kFieldLimits in settings_editing.cpp).
enum class TextFieldId : int32_t {
  kPrefixes = 0,
  kTplIp = 1,
  kTplEp = 2,
  kSplashTitle = 3,
  kSplashSub = 4,
  kSplashSound = 5,
  kSplashImage = 6,
  kCustomDelay = 7,
  kColour1 = 8,  // colour slots 1-8 of the edited custom theme are 8-15
  kColour8 = 15,
  kAccent = 16,
  kBgPath = 17,
  kBgSound = 18,
  kLookup = 19,
};
constexpr int32_t kNoField = -1;
constexpr int32_t kTextFieldCount = 20;

}  // namespace tolvane
