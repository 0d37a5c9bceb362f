// How the user changes settings: the self-drawn text fields, toggle switches, preset buttons,
// theme selection and "Reset defaults", each applied and saved at once (there is no Cancel).
//
// Every effect that belongs to another subsystem (the prefix list, the connection view, the
// refresh thread, media and sounds, the window's z-order, repainting) goes through
// SettingsEffects, which the application implements; the theme engine and the toast are used
// directly. Main thread only.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "appearance/theme.h"
#include "clipboard/toast.h"
#include "settings/settings.h"

namespace tolvane {

// The editable texts, their limits and character filters (see kFieldLimits in the .cpp).
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

class SettingsEffects {
 public:
  virtual ~SettingsEffects() = default;
  virtual void SaveSettings() = 0;
  // Publishes the call prefixes from settings.prefixes.
  virtual void RebuildPrefixList() = 0;
  virtual void RebuildView() = 0;
  // An immediate snapshot, and the view marked for rebuilding.
  virtual void RequestRefreshNow() = 0;
  virtual void Repaint() = 0;
  virtual void ApplyAlwaysOnTop(bool on) = 0;
  virtual void LoadSplashImage() = 0;
  virtual void LoadBackgroundMedia() = 0;
  // A media path field (kBgPath or kSplashImage) was typed into. The default loads it at once;
  // the window waits until typing rests.
  virtual void MediaPathTyped(TextFieldId id) {
    if (id == TextFieldId::kBgPath) {
      LoadBackgroundMedia();
    } else {
      LoadSplashImage();
    }
  }
  virtual bool BackgroundSoundPlaying() = 0;
  // Starts settings.bgSound; returns an error text, empty on success.
  virtual std::wstring StartBackgroundSound() = 0;
  virtual void StopBackgroundSound() = 0;
  virtual void ApplyBackgroundVolume() = 0;
  virtual bool LoadingSoundPlaying() = 0;
  virtual void StopLoadingSound() = 0;
  // Increments MediaRevision so the background layer is prepared again.
  virtual void BumpMediaRevision() = 0;
  // Clears the connection view's search text and shows every protocol and category again.
  virtual void ClearViewInputs() = 0;
  // Drops the main view's cached drawing so the next paint redraws everything.
  virtual void ForceFullRedraw() = 0;

  // What the settings panel asks of the media beyond the changes above. The defaults stand for a
  // window without media: no picture, no sound, no status.
  // Plays splashSound once; an error text, empty when it plays or when no sound is set.
  virtual std::wstring StartLoadingSound() { return {}; }
  // True when the loading screen has a picture (after LoadSplashImage).
  virtual bool SplashImageLoaded() { return false; }
  // The line about the background medium; empty while bgPath is empty.
  virtual std::wstring BackgroundStatusLine() { return {}; }
};

class SettingsEditor {
 public:
  SettingsEditor(Settings& settings, ThemeEngine& themes, Toast& toast, SettingsEffects& effects)
      : settings_(settings),
        themes_(themes),
        toast_(toast),
        effects_(effects),
        customThemes_(
            settings, themes, toast, [this] { effects_.SaveSettings(); }, [this](int i) { MakeActive(i); }) {}
  SettingsEditor(const SettingsEditor&) = delete;
  SettingsEditor& operator=(const SettingsEditor&) = delete;

  // The text bound to a field (8-16 inside the edited custom theme); an unknown id gives an
  // empty text.
  const std::wstring& FieldText(TextFieldId id);
  // Appends the accepted characters of a typed character or a pasted text, then FieldChanged once.
  void FieldInsert(TextFieldId id, std::wstring_view text);
  // Removes the last character and calls FieldChanged; an empty text is left alone.
  void FieldBackspace(TextFieldId id);
  // Empties the text and calls FieldChanged; an empty text is left alone.
  void FieldClear(TextFieldId id);
  // Applies a changed text: rebuilds or reloads what depends on it, then saves (except lookupText).
  void FieldChanged(TextFieldId id);

  // theme := i (0..9; others ignored); a custom theme also becomes the edited one; save; repaint.
  // Every way of choosing a theme goes through here or through customThemes(), which makes a
  // theme active the same way, so the edited custom theme always follows the active one.
  void SelectTheme(int32_t i);
  // The edits of a custom theme's colours, direction, text mode and quick gradients.
  CustomThemeEditor& customThemes() { return customThemes_; }
  SettingsEffects& effects() { return effects_; }
  // A switch of the settings panel: flip, save, the field's own side effect, then refresh,
  // rebuild and repaint.
  void ToggleSetting(Relaxed<bool> Settings::*field);
  // The toolbar switches: showLan, enableIpv6, enableUdp, showSystem (save, refresh, rebuild) and
  // enablePing, callOnly and the by-application fold, byApp (save, rebuild). Other fields are ignored.
  void ToolbarToggle(Relaxed<bool> Settings::*field);

  // Preset buttons; values are clamped to the field's valid range, then saved.
  void SetRefreshMs(int32_t ms);
  void SetScrollSpeed(int32_t rows);
  void SetSplashMs(int32_t ms);  // customDelayText follows
  void SetBgDim(int32_t percent);
  void SetBgVol(int32_t percent);

  // customDelayText := splashMs in decimal; called after the settings are loaded at start.
  void SyncCustomDelayText();
  void ResetToDefaults();

  int32_t editedCustomTheme = 0;  // 0..4
  int32_t focusedField = kNoField;
  std::wstring customDelayText;
  std::wstring lookupText;

 private:
  std::wstring* Bound(TextFieldId id);
  size_t EditedTheme() const;
  void StartSoundReportingError();
  // theme := i, and a custom theme becomes the edited one; nothing saved.
  void MakeActive(int32_t i);

  Settings& settings_;
  ThemeEngine& themes_;
  Toast& toast_;
  SettingsEffects& effects_;
  CustomThemeEditor customThemes_;  // after effects_, which its save uses
  std::wstring none_;
};

}  // namespace tolvane
