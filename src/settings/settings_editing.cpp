// Settings editing. The text fields are edited in place and applied on every keystroke, except
// the media path fields: those are saved at once but handed to MediaPathTyped, and the window loads
// the file once typing rests (a half-typed path would otherwise reload a video per character).
#include "settings/settings_editing.h"

#include <algorithm>

#include "settings/whole_characters.h"

namespace tolvane {
namespace {

constexpr size_t kFieldLimits[kTextFieldCount] = {60, 300, 300, 60, 100, 400, 400, 6,   7,   7,
                                                  7,  7,   7,   7,  7,   7,   7,   400, 400, 90};

bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }
bool IsHex(wchar_t c) { return IsDigit(c) || (c >= L'a' && c <= L'f') || (c >= L'A' && c <= L'F'); }
bool IsColourField(int32_t id) { return id >= 8 && id <= 16; }

int32_t DigitsValue(const std::wstring& text) {
  int64_t v = 0;
  for (wchar_t c : text) {
    if (!IsDigit(c)) break;
    v = std::min<int64_t>(v * 10 + (c - L'0'), 300000);
  }
  return static_cast<int32_t>(v);
}

}  // namespace

size_t SettingsEditor::EditedTheme() const { return static_cast<size_t>(std::clamp(editedCustomTheme, 0, 4)); }

std::wstring* SettingsEditor::Bound(TextFieldId id) {
  CustomTheme& t = settings_.customThemes[EditedTheme()];
  switch (id) {
    case TextFieldId::kPrefixes:
      return &settings_.prefixes;
    case TextFieldId::kTplIp:
      return &settings_.tplIp;
    case TextFieldId::kTplEp:
      return &settings_.tplEp;
    case TextFieldId::kSplashTitle:
      return &settings_.splashTitle;
    case TextFieldId::kSplashSub:
      return &settings_.splashSub;
    case TextFieldId::kSplashSound:
      return &settings_.splashSound;
    case TextFieldId::kSplashImage:
      return &settings_.splashImage;
    case TextFieldId::kCustomDelay:
      return &customDelayText;
    case TextFieldId::kAccent:
      return &t.accent;
    case TextFieldId::kBgPath:
      return &settings_.bgPath;
    case TextFieldId::kBgSound:
      return &settings_.bgSound;
    case TextFieldId::kLookup:
      return &lookupText;
    default:
      break;
  }
  const int32_t n = static_cast<int32_t>(id);
  if (n >= 8 && n <= 15) return &t.colours[static_cast<size_t>(n - 8)];
  return nullptr;
}

const std::wstring& SettingsEditor::FieldText(TextFieldId id) {
  const std::wstring* text = Bound(id);
  none_.clear();
  return text ? *text : none_;
}

void SettingsEditor::FieldInsert(TextFieldId id, std::wstring_view text) {
  std::wstring* field = Bound(id);
  if (!field) return;
  const int32_t n = static_cast<int32_t>(id);
  AppendWholeCharacters(*field, text, kFieldLimits[n], [id, n](wchar_t& c) {
    if (id == TextFieldId::kPrefixes) {
      if (c == L' ') c = L',';
      return IsDigit(c) || c == L',' || c == L'.';
    }
    if (id == TextFieldId::kCustomDelay) return IsDigit(c);
    if (IsColourField(n)) return IsHex(c) || c == L'#';
    if (id == TextFieldId::kLookup) return c != L' ';
    return true;
  });
  FieldChanged(id);
}

void SettingsEditor::FieldBackspace(TextFieldId id) {
  std::wstring* field = Bound(id);
  if (!field || field->empty()) return;
  EraseLastCharacter(*field);
  FieldChanged(id);
}

void SettingsEditor::FieldClear(TextFieldId id) {
  std::wstring* field = Bound(id);
  if (!field || field->empty()) return;
  field->clear();
  FieldChanged(id);
}

void SettingsEditor::FieldChanged(TextFieldId id) {
  const int32_t n = static_cast<int32_t>(id);
  if (n < 0 || n >= kTextFieldCount || id == TextFieldId::kLookup) return;
  switch (id) {
    case TextFieldId::kPrefixes:
      effects_.RebuildPrefixList();
      effects_.RebuildView();
      break;
    case TextFieldId::kSplashImage:
      effects_.MediaPathTyped(id);
      break;
    case TextFieldId::kCustomDelay:
      settings_.splashMs = DigitsValue(customDelayText);
      break;
    case TextFieldId::kBgPath:
      effects_.MediaPathTyped(id);
      break;
    case TextFieldId::kBgSound:
      if (effects_.BackgroundSoundPlaying()) effects_.StopBackgroundSound();
      break;
    default:
      if (IsColourField(n)) themes_.DerivePalette(static_cast<int>(EditedTheme()));
      break;
  }
  effects_.SaveSettings();
}

void SettingsEditor::MakeActive(int32_t i) {
  if (i < 0 || i > 9) return;
  settings_.theme = i;
  if (i >= 5) editedCustomTheme = i - 5;
}

void SettingsEditor::SelectTheme(int32_t i) {
  if (i < 0 || i > 9) return;
  MakeActive(i);
  effects_.SaveSettings();
  effects_.Repaint();
}

void SettingsEditor::StartSoundReportingError() {
  const std::wstring error = effects_.StartBackgroundSound();
  if (!error.empty()) toast_.Show(error);
}

void SettingsEditor::ToggleSetting(Relaxed<bool> Settings::*field) {
  Relaxed<bool>& value = settings_.*field;
  value = !value;
  effects_.SaveSettings();
  if (field == &Settings::alwaysOnTop) {
    effects_.ApplyAlwaysOnTop(value);
  } else if (field == &Settings::bgMute) {
    if (value && effects_.BackgroundSoundPlaying()) {
      effects_.StopBackgroundSound();
    } else if (!value && !settings_.bgSound.empty()) {
      StartSoundReportingError();
    }
  } else if (field == &Settings::bgMotion) {
    effects_.BumpMediaRevision();
  }
  effects_.RequestRefreshNow();
  effects_.RebuildView();
  effects_.Repaint();
}

void SettingsEditor::ToolbarToggle(Relaxed<bool> Settings::*field) {
  const bool refreshes = field == &Settings::showLan || field == &Settings::enableIpv6 ||
                         field == &Settings::enableUdp || field == &Settings::showSystem;
  const bool viewOnly = field == &Settings::enablePing || field == &Settings::callOnly || field == &Settings::byApp;
  if (!refreshes && !viewOnly) return;
  settings_.*field = !(settings_.*field);
  effects_.SaveSettings();
  if (refreshes) effects_.RequestRefreshNow();
  effects_.RebuildView();
}

void SettingsEditor::SetRefreshMs(int32_t ms) {
  settings_.refreshMs = std::clamp(ms, 250, 5000);
  effects_.SaveSettings();
}

void SettingsEditor::SetScrollSpeed(int32_t rows) {
  settings_.scrollSpeed = std::clamp(rows, 1, 10);
  effects_.SaveSettings();
}

void SettingsEditor::SetSplashMs(int32_t ms) {
  settings_.splashMs = std::clamp(ms, 0, 300000);
  SyncCustomDelayText();
  effects_.SaveSettings();
}

void SettingsEditor::SetBgDim(int32_t percent) {
  settings_.bgDim = std::clamp(percent, 0, 85);
  effects_.BumpMediaRevision();
  effects_.SaveSettings();
}

void SettingsEditor::SetBgVol(int32_t percent) {
  settings_.bgVol = std::clamp(percent, 0, 100);
  if (effects_.BackgroundSoundPlaying()) {
    effects_.ApplyBackgroundVolume();
  } else if (!settings_.bgSound.empty()) {
    StartSoundReportingError();
  }
  effects_.SaveSettings();
}

void SettingsEditor::SyncCustomDelayText() { customDelayText = std::to_wstring(settings_.splashMs.load()); }

void SettingsEditor::ResetToDefaults() {
  if (effects_.LoadingSoundPlaying()) effects_.StopLoadingSound();
  if (effects_.BackgroundSoundPlaying()) effects_.StopBackgroundSound();
  settings_ = MakeDefaultSettings();
  effects_.ClearViewInputs();
  editedCustomTheme = 0;
  focusedField = kNoField;
  lookupText.clear();
  effects_.RebuildPrefixList();
  themes_.InitPalettes();
  SyncCustomDelayText();
  effects_.LoadSplashImage();
  effects_.LoadBackgroundMedia();
  effects_.ForceFullRedraw();
  effects_.SaveSettings();
  effects_.ApplyAlwaysOnTop(settings_.alwaysOnTop);
  effects_.RequestRefreshNow();
  toast_.Show(L"Settings reset to defaults");
  effects_.RebuildView();
}

}  // namespace tolvane
