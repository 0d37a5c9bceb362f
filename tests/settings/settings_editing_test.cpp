// Settings editing: field filters and limits, what each change triggers, theme selection, the
// toggles with their side effects, the preset setters and "Reset defaults". A recording fake
// stands in for every other subsystem.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fakes/fake_clock.h"
#include "settings/settings_editing.h"
#include "settings/settings_file.h"

namespace tolvane {
namespace {

class RecordingEffects final : public SettingsEffects {
 public:
  void SaveSettings() override { log.push_back("save"); }
  void RebuildPrefixList() override { log.push_back("prefixes"); }
  void RebuildView() override { log.push_back("view"); }
  void RequestRefreshNow() override { log.push_back("refresh"); }
  void Repaint() override { log.push_back("repaint"); }
  void ApplyAlwaysOnTop(bool on) override { log.push_back(on ? "topmost" : "notopmost"); }
  void LoadSplashImage() override { log.push_back("splashImage"); }
  void LoadBackgroundMedia() override { log.push_back("bgMedia"); }
  bool BackgroundSoundPlaying() override { return bgPlaying; }
  std::wstring StartBackgroundSound() override {
    log.push_back("startBg");
    return startError;
  }
  void StopBackgroundSound() override { log.push_back("stopBg"); }
  void ApplyBackgroundVolume() override { log.push_back("volume"); }
  bool LoadingSoundPlaying() override { return loadingPlaying; }
  void StopLoadingSound() override { log.push_back("stopLoading"); }
  void BumpMediaRevision() override { log.push_back("media"); }
  void ClearViewInputs() override { log.push_back("clearView"); }
  void ForceFullRedraw() override { log.push_back("redraw"); }

  std::vector<std::string> Take() {
    std::vector<std::string> out;
    out.swap(log);
    return out;
  }

  std::vector<std::string> log;
  bool bgPlaying = false;
  bool loadingPlaying = false;
  std::wstring startError;
};

using Log = std::vector<std::string>;

class SettingsEditing : public ::testing::Test {
 protected:
  SettingsEditing() : themes(settings), toast(clock), editor(settings, themes, toast, effects) {
    themes.InitPalettes();
  }
  Settings settings = MakeDefaultSettings();
  ThemeEngine themes;
  FakeClock clock;
  Toast toast;
  RecordingEffects effects;
  SettingsEditor editor;
};

TEST_F(SettingsEditing, FieldFiltersAndLimits) {
  struct Case {
    const char* name;
    TextFieldId id;
    std::wstring start;
    std::wstring typed;
    std::wstring expected;
  };
  std::wstring paste;  // 100 characters: digits, spaces, dots, letters and a tab
  for (int i = 0; i < 20; ++i) paste += L"1 2.a";
  const Case cases[] = {
      {"prefixes paste", TextFieldId::kPrefixes, L"", paste,
       [] {
         std::wstring s;
         for (int i = 0; i < 15; ++i) s += L"1,2.";
         return s;
       }()},
      {"prefixes controls", TextFieldId::kPrefixes, L"10", L"\t4;\r\n", L"104"},
      {"seven digits", TextFieldId::kCustomDelay, L"", L"1234567", L"123456"},
      {"delay letters", TextFieldId::kCustomDelay, L"", L"1a2 b3", L"123"},
      {"colour upper", TextFieldId::kColour1, L"", L"#ABCDEF", L"#ABCDEF"},
      {"colour lower, stray g", TextFieldId{9}, L"", L"#ab g cdef", L"#abcdef"},
      {"colour limit", TextFieldId::kColour8, L"", L"#0123456789", L"#012345"},
      {"accent", TextFieldId::kAccent, L"", L"#0aFz", L"#0aF"},
      {"template", TextFieldId::kTplIp, L"", L"ip: IP\t!", L"ip: IP!"},
      {"title limit", TextFieldId::kSplashTitle, L"", std::wstring(70, L'x'), std::wstring(60, L'x')},
      {"lookup drops spaces", TextFieldId::kLookup, L"", L" 1.1 .1.1 ", L"1.1.1.1"},
      {"lookup limit", TextFieldId::kLookup, std::wstring(89, L'a'), L"bc", std::wstring(89, L'a') + L"b"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    editor.editedCustomTheme = 2;
    editor.FieldClear(c.id);
    editor.FieldInsert(c.id, c.start);
    editor.FieldInsert(c.id, c.typed);
    EXPECT_EQ(editor.FieldText(c.id), c.expected);
  }
  // Colour and accent fields edit the edited custom theme.
  EXPECT_EQ(settings.customThemes[2].colours[7], L"#012345");
  EXPECT_EQ(settings.customThemes[2].accent, L"#0aF");
  EXPECT_EQ(settings.customThemes[0].accent, L"");
}

TEST_F(SettingsEditing, WhatEachChangeTriggers) {
  struct Case {
    const char* name;
    TextFieldId id;
    bool bgPlaying;
    Log expected;
  };
  const Case cases[] = {
      {"prefixes", TextFieldId::kPrefixes, false, {"prefixes", "view", "save"}},
      {"template", TextFieldId::kTplEp, false, {"save"}},
      {"splash sound", TextFieldId::kSplashSound, false, {"save"}},
      {"splash image", TextFieldId::kSplashImage, false, {"splashImage", "save"}},
      {"background", TextFieldId::kBgPath, false, {"bgMedia", "save"}},
      {"bg sound playing", TextFieldId::kBgSound, true, {"stopBg", "save"}},
      {"bg sound silent", TextFieldId::kBgSound, false, {"save"}},
      {"lookup", TextFieldId::kLookup, false, {}},
  };
  for (const Case& c : cases) {
    effects.bgPlaying = c.bgPlaying;
    effects.Take();
    editor.FieldInsert(c.id, L"7");  // FieldChanged runs once for the whole insert
    EXPECT_EQ(effects.Take(), c.expected) << c.name;
  }
  // A paste from which nothing is accepted still applies and saves once.
  editor.FieldInsert(TextFieldId::kCustomDelay, L"abc");
  EXPECT_EQ(effects.Take(), (Log{"save"}));
  // A colour change re-derives the edited theme.
  editor.editedCustomTheme = 1;
  const uint64_t revision = themes.ThemeRevision();
  editor.FieldClear(TextFieldId::kColour1);
  editor.FieldInsert(TextFieldId::kColour1, L"#00ff00");
  EXPECT_EQ(themes.ThemeRevision(), revision + 2);
  EXPECT_EQ(themes.Palette(6).gradient[0], 0xFF00FF00u);
}

TEST_F(SettingsEditing, CustomDelayDrivesSplashMs) {
  editor.SyncCustomDelayText();
  EXPECT_EQ(editor.customDelayText, L"1000");
  editor.FieldClear(TextFieldId::kCustomDelay);
  EXPECT_EQ(settings.splashMs, 0);
  editor.FieldInsert(TextFieldId::kCustomDelay, L"1234567");
  EXPECT_EQ(editor.customDelayText, L"123456");
  EXPECT_EQ(settings.splashMs, 123456);
  editor.FieldInsert(TextFieldId::kCustomDelay, L"9");  // full: ignored
  editor.FieldBackspace(TextFieldId::kCustomDelay);
  editor.FieldInsert(TextFieldId::kCustomDelay, L"9");
  EXPECT_EQ(settings.splashMs, 12345 * 10 + 9);
  editor.FieldClear(TextFieldId::kCustomDelay);
  editor.FieldInsert(TextFieldId::kCustomDelay, L"999999");
  EXPECT_EQ(settings.splashMs, 300000);
  editor.FieldClear(TextFieldId::kCustomDelay);
  EXPECT_EQ(settings.splashMs, 0);
}

TEST_F(SettingsEditing, EmptyFieldBackspaceAndClearDoNothing) {
  for (TextFieldId id : {TextFieldId::kSplashImage, TextFieldId::kPrefixes, TextFieldId::kAccent}) {
    editor.FieldClear(id);
    effects.Take();
    editor.FieldBackspace(id);
    editor.FieldClear(id);
    EXPECT_TRUE(effects.Take().empty()) << static_cast<int>(id);
  }
  editor.FieldBackspace(TextFieldId{42});
  editor.FieldInsert(TextFieldId{-1}, L"x");
  EXPECT_TRUE(effects.Take().empty());
  EXPECT_EQ(editor.FieldText(TextFieldId{42}), L"");
  editor.FieldBackspace(TextFieldId::kTplEp);  // "IP:port" -> "IP:por"
  EXPECT_EQ(settings.tplEp, L"IP:por");
  EXPECT_EQ(effects.Take(), (Log{"save"}));
}

// Limits and Backspace counted UTF-16 units: a pasted emoji at the limit kept its high half, and a
// Backspace after an emoji removed only the low half; either lone half was saved as U+FFFD.
TEST_F(SettingsEditing, WholeCharactersAtTheLimitAndOnBackspace) {
  const wchar_t high = static_cast<wchar_t>(0xD83D), low = static_cast<wchar_t>(0xDE00);
  const std::wstring emoji{high, low};
  settings.splashTitle = std::wstring(59, L'x');  // limit 60: one unit left, not enough for the pair
  editor.FieldInsert(TextFieldId::kSplashTitle, emoji + L"y");
  EXPECT_EQ(settings.splashTitle, std::wstring(59, L'x') + L"y");
  settings.splashTitle = L"ab";
  editor.FieldInsert(TextFieldId::kSplashTitle, emoji);  // pasted: both halves together
  EXPECT_EQ(settings.splashTitle, L"ab" + emoji);
  editor.FieldBackspace(TextFieldId::kSplashTitle);  // the whole character goes
  EXPECT_EQ(settings.splashTitle, L"ab");
  // Typed, the halves arrive one by one; a high half needs room for its partner.
  editor.FieldInsert(TextFieldId::kSplashTitle, std::wstring(1, high));
  editor.FieldInsert(TextFieldId::kSplashTitle, std::wstring(1, low));
  EXPECT_EQ(settings.splashTitle, L"ab" + emoji);
  settings.splashTitle = std::wstring(59, L'x');
  editor.FieldInsert(TextFieldId::kSplashTitle, std::wstring(1, high));
  editor.FieldInsert(TextFieldId::kSplashTitle, std::wstring(1, low));
  EXPECT_EQ(settings.splashTitle, std::wstring(59, L'x'));
  // A low half with no high half before it, and a high half inside a text without its partner.
  settings.splashTitle = L"a";
  editor.FieldInsert(TextFieldId::kSplashTitle, std::wstring{low, L'b', high, L'c'});
  EXPECT_EQ(settings.splashTitle, L"abc");
}

TEST_F(SettingsEditing, SelectTheme) {
  editor.SelectTheme(7);
  EXPECT_EQ(settings.theme, 7);
  EXPECT_EQ(editor.editedCustomTheme, 2);
  EXPECT_EQ(themes.ActivePalette().name, L"Custom 3");
  EXPECT_EQ(effects.Take(), (Log{"save", "repaint"}));
  editor.SelectTheme(1);
  EXPECT_EQ(settings.theme, 1);
  EXPECT_EQ(editor.editedCustomTheme, 2);
  editor.SelectTheme(10);
  EXPECT_EQ(settings.theme, 1);
}

TEST_F(SettingsEditing, CustomThemeEditsSelectThroughTheEditor) {
  editor.customThemes().ApplyQuickGradient(3, 4);  // Lava on custom theme 4
  EXPECT_EQ(settings.theme, 8);
  EXPECT_EQ(editor.editedCustomTheme, 3);
  editor.customThemes().SelectSlot(6);
  EXPECT_EQ(settings.theme, 6);
  EXPECT_EQ(editor.editedCustomTheme, 1);
  editor.customThemes().SelectSlot(2);  // a built-in theme keeps the edited one
  EXPECT_EQ(editor.editedCustomTheme, 1);
}

TEST_F(SettingsEditing, ToggleSettingSideEffects) {
  struct Case {
    const char* name;
    Relaxed<bool> Settings::*field;
    bool bgPlaying;
    std::wstring bgSound;
    std::wstring startError;
    Log expected;
  };
  const Log tail = {"refresh", "view", "repaint"};
  auto with = [&tail](Log head) {
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
  };
  const Case cases[] = {
      {"always on top on", &Settings::alwaysOnTop, false, L"", L"", with({"save", "topmost"})},
      {"always on top off", &Settings::alwaysOnTop, false, L"", L"", with({"save", "notopmost"})},
      {"mute while playing", &Settings::bgMute, true, L"a.mp3", L"", with({"save", "stopBg"})},
      {"unmute with sound", &Settings::bgMute, false, L"a.mp3", L"", with({"save", "startBg"})},
      {"mute while silent", &Settings::bgMute, false, L"a.mp3", L"", with({"save"})},
      {"unmute without sound", &Settings::bgMute, false, L"", L"", with({"save"})},
      {"motion", &Settings::bgMotion, false, L"", L"", with({"save", "media"})},
      {"plain switch", &Settings::webCalls, false, L"", L"", with({"save"})},
  };
  for (const Case& c : cases) {
    effects.bgPlaying = c.bgPlaying;
    effects.startError = c.startError;
    settings.bgSound = c.bgSound;
    const bool before = settings.*c.field;
    editor.ToggleSetting(c.field);
    EXPECT_NE(static_cast<bool>(settings.*c.field), before) << c.name;
    EXPECT_EQ(effects.Take(), c.expected) << c.name;
  }
  // A failed start is reported through the toast.
  settings.bgMute = true;
  settings.bgSound = L"missing.mp3";
  effects.startError = L"The specified file was not found.";
  editor.ToggleSetting(&Settings::bgMute);
  EXPECT_EQ(toast.text(), L"The specified file was not found.");
}

TEST_F(SettingsEditing, ToolbarToggles) {
  struct Case {
    Relaxed<bool> Settings::*field;
    Log expected;
  };
  const Case cases[] = {
      {&Settings::showLan, {"save", "refresh", "view"}},
      {&Settings::enableIpv6, {"save", "refresh", "view"}},
      {&Settings::enableUdp, {"save", "refresh", "view"}},
      {&Settings::showSystem, {"save", "refresh", "view"}},
      {&Settings::enablePing, {"save", "view"}},
      {&Settings::callOnly, {"save", "view"}},
      {&Settings::alwaysOnTop, {}},
  };
  for (const Case& c : cases) {
    const bool before = settings.*c.field;
    editor.ToolbarToggle(c.field);
    EXPECT_EQ(static_cast<bool>(settings.*c.field), c.expected.empty() ? before : !before);
    EXPECT_EQ(effects.Take(), c.expected);
  }
}

TEST_F(SettingsEditing, PresetSetters) {
  editor.SetRefreshMs(2000);
  EXPECT_EQ(settings.refreshMs, 2000);
  EXPECT_EQ(effects.Take(), (Log{"save"}));
  editor.SetScrollSpeed(5);
  EXPECT_EQ(settings.scrollSpeed, 5);
  editor.SetSplashMs(0);
  EXPECT_EQ(editor.customDelayText, L"0");
  editor.SetSplashMs(30000);
  EXPECT_EQ(editor.customDelayText, L"30000");
  EXPECT_EQ(effects.Take(), (Log{"save", "save", "save"}));
  editor.SetBgDim(65);
  EXPECT_EQ(settings.bgDim, 65);
  EXPECT_EQ(effects.Take(), (Log{"media", "save"}));
  effects.bgPlaying = true;
  editor.SetBgVol(75);
  EXPECT_EQ(effects.Take(), (Log{"volume", "save"}));
  effects.bgPlaying = false;
  editor.SetBgVol(25);
  EXPECT_EQ(effects.Take(), (Log{"save"}));
  settings.bgSound = L"rain.mp3";
  effects.startError = L"cannot open";
  editor.SetBgVol(10);
  EXPECT_EQ(settings.bgVol, 10);
  EXPECT_EQ(effects.Take(), (Log{"startBg", "save"}));
  EXPECT_EQ(toast.text(), L"cannot open");
  editor.SetBgDim(200);
  EXPECT_EQ(settings.bgDim, 85);
}

TEST_F(SettingsEditing, ResetToDefaults) {
  settings.lookupHist = L"1.1.1.1,example.com";
  settings.refreshMs = 4000;
  settings.alwaysOnTop = true;
  settings.theme = 8;
  settings.ver = 2;
  settings.customThemes[3].colours[0] = L"123456";
  settings.customThemes[3].count = 7;
  settings.customThemes[0].accent = L"FF0000";
  editor.editedCustomTheme = 3;
  editor.focusedField = 5;
  editor.lookupText = L"8.8.8.8";
  effects.bgPlaying = true;
  effects.loadingPlaying = true;
  const uint64_t revision = themes.ThemeRevision();

  editor.ResetToDefaults();

  EXPECT_EQ(FormatSettingsFile(settings), FormatSettingsFile(MakeDefaultSettings()));
  EXPECT_EQ(settings.lookupHist, L"");
  EXPECT_EQ(settings.ver, 0);
  EXPECT_EQ(editor.editedCustomTheme, 0);
  EXPECT_EQ(editor.focusedField, kNoField);
  EXPECT_EQ(editor.customDelayText, L"1000");
  EXPECT_EQ(editor.lookupText, L"");
  EXPECT_GT(themes.ThemeRevision(), revision);
  EXPECT_EQ(themes.Palette(8).gradient, (std::vector<uint32_t>{0xFFFF9A3C, 0xFFFF4D6D, 0xFFB517FF, 0xFF2B2BFF}));
  EXPECT_EQ(toast.text(), L"Settings reset to defaults");
  EXPECT_EQ(effects.Take(), (Log{"stopLoading", "stopBg", "clearView", "prefixes", "splashImage", "bgMedia", "redraw",
                                 "save", "notopmost", "refresh", "view"}));
}

}  // namespace
}  // namespace tolvane
