// The settings panel: what each tab draws and records on the recording canvas, and what its clicks
// do through the settings editor with recording effects and a fake window host (colour and file
// dialogs). The routing of keys and characters runs on the window state machine with fakes.
#include "ui/settings_panel.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "fakes/fake_picture_decoder.h"
#include "fakes/fake_sound_commands.h"
#include "fakes/fake_video.h"
#include "settings/settings_file.h"
#include "ui/commands.h"
#include "ui/view_fixture.h"
#include "ui/window_fixture.h"

namespace tolvane {
namespace {

class PanelEffects final : public SettingsEffects {
 public:
  void SaveSettings() override { log.push_back("save"); }
  void RebuildPrefixList() override { log.push_back("prefixes"); }
  void RebuildView() override { log.push_back("view"); }
  void RequestRefreshNow() override { log.push_back("refresh"); }
  void Repaint() override {}
  void ApplyAlwaysOnTop(bool) override { log.push_back("topmost"); }
  void LoadSplashImage() override { log.push_back("splashImage"); }
  void LoadBackgroundMedia() override { log.push_back("bgMedia"); }
  bool BackgroundSoundPlaying() override { return bgPlaying; }
  std::wstring StartBackgroundSound() override {
    log.push_back(muteAtStart(this) ? "startBg muted" : "startBg");
    return startError;
  }
  void StopBackgroundSound() override { log.push_back("stopBg"); }
  void ApplyBackgroundVolume() override { log.push_back("volume"); }
  bool LoadingSoundPlaying() override { return loadingPlaying; }
  void StopLoadingSound() override { log.push_back("stopLoading"); }
  void BumpMediaRevision() override { ++mediaRevision; }
  void ClearViewInputs() override {}
  void ForceFullRedraw() override {}
  std::wstring StartLoadingSound() override {
    log.push_back("startLoading");
    return loadingError;
  }
  bool SplashImageLoaded() override { return splashLoaded; }
  std::wstring BackgroundStatusLine() override { return status; }

  std::vector<std::string> Take() {
    std::vector<std::string> out;
    out.swap(log);
    return out;
  }

  std::vector<std::string> log;
  bool bgPlaying = false, loadingPlaying = false, splashLoaded = false;
  std::wstring startError, loadingError, status;
  int mediaRevision = 0;
  // Reads bgMute at the moment the sound is started (set by the fixture).
  bool (*muteAtStart)(PanelEffects*) = [](PanelEffects*) { return false; };
  const Settings* settings = nullptr;
};

using Log = std::vector<std::string>;

class SettingsPanelTest : public ViewFixture {
 protected:
  SettingsPanelTest() : editor(settings, themes, feedback.toast(), effects) {
    state.settingsOpen = true;
    effects.settings = &settings;
    effects.muteAtStart = [](PanelEffects* e) { return e->settings->bgMute.load(); };
  }

  // One paint of the panel on a fresh recording canvas, at W x H logical pixels.
  void Paint(int32_t W = 1000, int32_t H = 760) {
    DrawContext dc = Context();
    dc.focusedField = editor.focusedField;
    DrawSettingsPanel(dc, state, SettingsPanelSourcesOf(settings, themes, calls, editor), W, H);
  }
  void ShowTab(int32_t tab) {
    state.selectedTab = tab;
    Paint();
  }
  // A click at the centre of a slot drawn by the last paint.
  void Click(int32_t slot) {
    const HitRect& r = state.hits[slot];
    ASSERT_TRUE(r.present) << "slot " << slot << " not drawn";
    SettingsPanelClickOn(target, (r.left + r.right) / 2, (r.top + r.bottom) / 2);
  }
  void ClickAt(int32_t x, int32_t y) { SettingsPanelClickOn(target, x, y); }
  std::wstring Toast() { return feedback.toast().text(); }
  bool Present(int32_t slot) const { return state.hits[slot].present; }
  // A white 12 x 12 knob drawn at (x, y).
  bool KnobAt(float x, float y) const {
    for (const CanvasCall* c : canvas.OfKind(CallKind::FillEllipse))
      if (std::fabs(c->rect.x - x) < 0.1f && std::fabs(c->rect.y - y) < 0.1f && c->argb == 0xFFFFFFFFu) return true;
    return false;
  }
  uint32_t FillOf(const HitRect& r) const {
    const auto fills = FillsAt(RectF{static_cast<float>(r.left), static_cast<float>(r.top),
                                     static_cast<float>(r.right - r.left), static_cast<float>(r.bottom - r.top)});
    return fills.empty() ? 0 : fills.front()->brush.argb;
  }

  PanelEffects effects;
  SettingsEditor editor;
  FakeWindowHost host;
  int splashes = 0;
  SettingsPanelTarget target{state, settings, themes, editor, host, feedback.toast(), [this] { ++splashes; }};
};

constexpr int32_t kX = 110, kY = 46;  // the panel's corner at 1000 x 760

// ---- painting ----------------------------------------------------------------------------------

TEST_F(SettingsPanelTest, CentredWhenItFitsElsePinnedTenFromTheTop) {
  struct Case {
    int32_t W, H, x, y;
  } cases[] = {
      {1000, 760, 110, 46}, {1360, 880, 290, 106}, {1000, 688, 110, 10},
      {1000, 687, 110, 10}, {1000, 600, 110, 10},  {1001, 901, 110, 116},
  };
  for (const Case& c : cases) {
    const PanelOrigin o = SettingsPanelOrigin(c.W, c.H);
    EXPECT_EQ(o.x, c.x) << c.W << "x" << c.H;
    EXPECT_EQ(o.y, c.y) << c.W << "x" << c.H;
  }
  Paint(1000, 600);  // the card runs past the bottom edge, and its lower part is cut off
  const HitRect& card = state.hits[Slot::SettingsCard];
  EXPECT_EQ(card.top, 10);
  EXPECT_EQ(card.bottom, 678);
  EXPECT_EQ(state.hits[Slot::SettingsClose].left, 110 + 734);
  EXPECT_EQ(state.hits[Slot::SettingsDone].top, 10 + 618);
  EXPECT_EQ(state.hits[Slot::OverlayBackdrop].right, 1000);
  EXPECT_EQ(canvas.FillsWithColour(0xAA04060Eu).size(), 1u);
}

TEST_F(SettingsPanelTest, EachPaintRecordsOnlyTheFrameAndItsOwnTab) {
  const std::vector<int32_t> own[kSettingsTabCount] = {
      {Slot::RefreshPreset + 4, Slot::ScrollPreset + 2},
      {Slot::TextField + 0, Slot::TextField + 1, Slot::TextField + 2},
      {Slot::SettingsThemeSwatch + 9, Slot::QuickGradientPreset + 7, Slot::AccentPick, Slot::TextField + 16,
       Slot::ColourSlot + 1, Slot::AddColour},
      {Slot::TextField + 17, Slot::TextField + 18, Slot::DimPreset + 5, Slot::VolumePreset + 4, Slot::BgSoundPlay},
      {Slot::SplashDelayPreset + 7, Slot::TextField + 3, Slot::TextField + 7, Slot::SplashSoundTest,
       Slot::SplashPreview},
  };
  const int32_t switches[kSettingsTabCount] = {10, 5, 0, 2, 3};
  state.hits[Slot::ColourSlot + 7].Set(0, 0, 2000, 2000);  // left over from something else
  for (int32_t tab : {2, 0, 3, 1, 4, 2}) {
    ShowTab(tab);
    EXPECT_EQ(state.settingsToggleCount, switches[tab]) << tab;
    for (int32_t slot : {int32_t{Slot::SettingsCard}, int32_t{Slot::SettingsClose}, int32_t{Slot::SettingsDone},
                         int32_t{Slot::SettingsReset}, int32_t{Slot::SettingsTab + 4}, int32_t{Slot::OverlayBackdrop}})
      EXPECT_TRUE(Present(slot)) << "frame slot " << slot << " on tab " << tab;
    for (int32_t other = 0; other < kSettingsTabCount; ++other)
      for (int32_t slot : own[other]) EXPECT_EQ(Present(slot), other == tab) << "slot " << slot << " on tab " << tab;
    EXPECT_FALSE(Present(Slot::ColourSlot + 7)) << tab;  // two colours: slots 3 to 8 are not drawn
    EXPECT_FALSE(Present(Slot::SettingsToggle + switches[tab])) << tab;
  }
}

TEST_F(SettingsPanelTest, TabsAreAsWideAsTheirLabelsAndTheShownOneIsSelected) {
  ShowTab(3);
  int32_t x = kX + 22;
  for (int32_t i = 0; i < kSettingsTabCount; ++i) {
    const HitRect& r = state.hits[Slot::SettingsTab + i];
    EXPECT_EQ(r.left, x) << i;
    EXPECT_EQ(r.top, kY + 58) << i;
    EXPECT_EQ(r.bottom, kY + 88) << i;
    EXPECT_EQ(FillOf(r), i == 3 ? WithAlpha(palette().accent, 0x50) : WithAlpha(palette().text, 0x12)) << i;
    x = r.right + 6;
  }
  EXPECT_TRUE(Drew(L"Settings"));
  EXPECT_TRUE(Drew(L"Reset defaults"));
}

TEST_F(SettingsPanelTest, GeneralSwitchesShowTheirSettingAndTheChosenPresets) {
  settings.showLan = true;     // switch 0: column 0, row 0
  settings.enableUdp = false;  // switch 4: column 1, row 0
  settings.refreshMs = 1000;
  settings.scrollSpeed = 5;
  ShowTab(0);
  EXPECT_TRUE(KnobAt(kX + 22 + 20, kY + 124 + 9));             // on: knob right
  EXPECT_TRUE(KnobAt(kX + 22 + 374 + 6, kY + 124 + 9));        // off: knob left
  EXPECT_TRUE(KnobAt(kX + 22 + 374 + 20, kY + 124 + 32 + 9));  // autoRefresh on, row 1
  const HitRect& lan = state.hits[Slot::SettingsToggle];
  EXPECT_EQ(lan.right - lan.left, 362);
  EXPECT_EQ(lan.bottom - lan.top, 30);
  EXPECT_EQ(state.settingsToggleFields[0], &Settings::showLan);
  EXPECT_EQ(state.settingsToggleFields[7], &Settings::discordFocus);
  EXPECT_TRUE(Drew(L"Show LAN / private IPs"));
  const uint32_t selected = WithAlpha(palette().accent, 0x50);
  for (int32_t k = 0; k < 5; ++k) EXPECT_EQ(FillOf(state.hits[Slot::RefreshPreset + k]) == selected, k == 2) << k;
  for (int32_t k = 0; k < 3; ++k) EXPECT_EQ(FillOf(state.hits[Slot::ScrollPreset + k]) == selected, k == 2) << k;
  EXPECT_EQ(state.hits[Slot::RefreshPreset + 4].left, kX + 22 + 292);
  EXPECT_TRUE(Drew(L"4000"));
}

TEST_F(SettingsPanelTest, DiscordTabFieldsAndThePreviewOfTheTemplates) {
  settings.prefixes.clear();
  settings.tplIp = L"ping IP -n 4";
  ShowTab(1);
  const HitRect& prefixes = state.hits[Slot::TextField + 0];
  EXPECT_EQ(prefixes.left, kX + 22);
  EXPECT_EQ(prefixes.top, kY + 122);
  EXPECT_EQ(prefixes.right, kX + 758);
  EXPECT_TRUE(Drew(L"e.g. 104,3   (empty = show every IP)"));  // the placeholder of an empty field
  EXPECT_EQ(state.hits[Slot::TextField + 2].top, kY + 350);
  EXPECT_TRUE(Drew(L"Result:  ping 35.214.40.77 -n 4"));  // no call yet: the sample address
  EXPECT_TRUE(Drew(L"Result:  35.214.40.77:50031"));
  EXPECT_EQ(state.settingsToggleFields[4], &Settings::tplWords);
  EXPECT_EQ(state.hits[Slot::SettingsToggle + 4].right - state.hits[Slot::SettingsToggle + 4].left, 736);

  calls.RebuildCallList({CallRow(L"104.18.12.201", 30, 100)});
  Paint();
  EXPECT_TRUE(Drew(L"Result:  ping 104.18.12.201 -n 4"));
  EXPECT_TRUE(Drew(L"Result:  104.18.12.201:50004"));
}

TEST_F(SettingsPanelTest, ThemesTabDrawsTheEditedCustomTheme) {
  CustomTheme& t = settings.customThemes[1];
  t.count = 5;
  t.colours[2] = L"zz";  // not a colour: its swatch is grey
  t.colours[4] = L"#00FF00";
  t.angle = 2;
  t.mode = 1;
  editor.editedCustomTheme = 1;
  ShowTab(2);
  const uint32_t selected = WithAlpha(palette().accent, 0x50);
  for (int32_t k = 0; k < 5; ++k) EXPECT_EQ(FillOf(state.hits[Slot::CustomThemeSlot + k]) == selected, k == 1) << k;
  for (int32_t k = 0; k < 3; ++k) EXPECT_EQ(FillOf(state.hits[Slot::DirectionChoice + k]) == selected, k == 2) << k;
  for (int32_t j = 0; j < 8; ++j) EXPECT_EQ(Present(Slot::ColourSlot + j), j < 5) << j;
  EXPECT_EQ(FillOf(state.hits[Slot::ColourSlot + 2]), 0xFF808080u);
  EXPECT_EQ(FillOf(state.hits[Slot::ColourSlot + 4]), 0xFF00FF00u);
  const HitRect& fifth = state.hits[Slot::TextField + 8 + 4];  // colour 5: second column, first row
  EXPECT_EQ(fifth.left, kX + 22 + 250 + 104);
  EXPECT_EQ(fifth.top, kY + 304);
  EXPECT_TRUE(Drew(L"Text: for dark"));
  EXPECT_TRUE(Drew(L"Color 5"));
  EXPECT_TRUE(Drew(L"RRGGBB"));  // the placeholder of an empty slot
  EXPECT_TRUE(Drew(L"Lava"));
  EXPECT_EQ(state.hits[Slot::QuickGradientPreset + 7].right, kX + 252 + 64 * 7 + 58);
  // The accent swatch shows the active theme's accent while the field holds no colour.
  EXPECT_EQ(FillOf(state.hits[Slot::AccentPick]), 0xFF000000u | (palette().accent & 0x00FFFFFFu));
}

TEST_F(SettingsPanelTest, BackgroundTabStatusAndPlayOrStop) {
  ShowTab(3);
  EXPECT_FALSE(Drew(L"Not loaded"));  // no status without a path
  EXPECT_TRUE(Drew(L"Play"));
  EXPECT_TRUE(Drew(L"(none - use the theme gradient)"));
  settings.bgPath = L"C:\\b.mp4";
  settings.bgDim = 65;
  effects.status = L"Video problem: The video could not be decoded";
  effects.bgPlaying = true;
  Paint();
  const CanvasCall* status = canvas.FindText(effects.status);
  ASSERT_NE(status, nullptr);
  EXPECT_EQ(status->argb, palette().warn);
  EXPECT_TRUE(Drew(L"Stop"));
  EXPECT_FALSE(Drew(L"Play"));
  EXPECT_EQ(FillOf(state.hits[Slot::DimPreset + 4]), WithAlpha(palette().accent, 0x50));
  EXPECT_TRUE(Drew(L"65%"));
  effects.status = L"sky.png loaded";
  Paint();
  EXPECT_EQ(canvas.FindText(L"sky.png loaded")->argb, palette().textDim);
  EXPECT_EQ(state.settingsToggleFields[1], &Settings::bgMute);
  EXPECT_EQ(state.hits[Slot::SettingsToggle + 1].left, kX + 648);

  struct Case {
    const wchar_t* text;
    bool warning;
  } cases[] = {{L"Not loaded", true},
               {L"File not found", true},
               {L"Video problem: x", true},
               {L"Video: starting...", false},
               {L"notes.png loaded", false}};
  for (const Case& c : cases) EXPECT_EQ(IsWarningStatus(c.text), c.warning) << c.text;
}

TEST_F(SettingsPanelTest, LoadingScreenTabPresetsAndFields) {
  settings.splashMs = 0;
  editor.customDelayText = L"0";
  effects.loadingPlaying = true;
  ShowTab(4);
  for (int32_t k = 0; k < 8; ++k)
    EXPECT_EQ(FillOf(state.hits[Slot::SplashDelayPreset + k]) == WithAlpha(palette().accent, 0x50), k == 7) << k;
  EXPECT_TRUE(Drew(L"Hold"));
  EXPECT_TRUE(Drew(L"0"));  // the custom delay's own text
  EXPECT_EQ(state.hits[Slot::TextField + 4].left, kX + 396);
  EXPECT_TRUE(Drew(L"Stop"));
  EXPECT_EQ(state.hits[Slot::SplashPreview].right, kX + 242);
  EXPECT_EQ(state.settingsToggleFields[2], &Settings::splashStopSound);
}

// ---- clicks --------------------------------------------------------------------------------------

TEST_F(SettingsPanelTest, FrameClicksAndTheFocus) {
  ShowTab(1);
  Click(Slot::TextField + 1);
  EXPECT_EQ(editor.focusedField, 1);
  ClickAt(kX + 400, kY + 600);  // inside the card, on nothing
  EXPECT_EQ(editor.focusedField, kNoField);
  EXPECT_TRUE(state.settingsOpen);

  Click(Slot::TextField + 0);
  settings.splashMs = 2500;
  Click(Slot::SettingsTab + 4);  // switching tabs drops the focus and takes the delay text
  EXPECT_EQ(state.selectedTab, 4);
  EXPECT_EQ(editor.focusedField, kNoField);
  EXPECT_EQ(editor.customDelayText, L"2500");

  Paint();
  Click(Slot::TextField + 7);
  ClickAt(5, 5);  // beside the card: closes
  EXPECT_FALSE(state.settingsOpen);
  EXPECT_EQ(editor.focusedField, kNoField);
  EXPECT_EQ(state.selectedTab, 4);  // kept for the next opening

  for (int32_t slot : {int32_t{Slot::SettingsClose}, int32_t{Slot::SettingsDone}}) {
    state.settingsOpen = true;
    Paint();
    Click(Slot::TextField + 3);
    Click(slot);
    EXPECT_FALSE(state.settingsOpen) << slot;
  }
  EXPECT_EQ(host.colourStarts.size() + host.fileKinds.size(), 0u);
}

TEST_F(SettingsPanelTest, ASwitchFlipsItsSettingAndSaves) {
  ShowTab(0);
  Click(Slot::SettingsToggle + 0);
  EXPECT_TRUE(settings.showLan);
  EXPECT_EQ(effects.Take(), (Log{"save", "refresh", "view"}));
  ShowTab(3);
  Click(Slot::SettingsToggle + 0);  // the same slot is bgMotion on this tab
  EXPECT_FALSE(settings.bgMotion);
  EXPECT_TRUE(settings.showLan);
  EXPECT_EQ(effects.mediaRevision, 1);
}

TEST_F(SettingsPanelTest, PresetButtonsSetTheirValues) {
  struct Case {
    int32_t tab, slot;
    Relaxed<int32_t> Settings::*field;
    int32_t want;
  } cases[] = {
      {0, Slot::RefreshPreset + 0, &Settings::refreshMs, 250},
      {0, Slot::ScrollPreset + 0, &Settings::scrollSpeed, 2},
      {3, Slot::DimPreset + 3, &Settings::bgDim, 50},
      {3, Slot::VolumePreset + 1, &Settings::bgVol, 25},
      {4, Slot::SplashDelayPreset + 7, &Settings::splashMs, 0},
      {4, Slot::SplashDelayPreset + 5, &Settings::splashMs, 10000},
  };
  for (const Case& c : cases) {
    ShowTab(c.tab);
    effects.Take();
    Click(c.slot);
    EXPECT_EQ(settings.*c.field, c.want) << c.slot;
    EXPECT_EQ(effects.Take().back(), "save") << c.slot;
  }
  EXPECT_EQ(editor.customDelayText, L"10000");
  EXPECT_EQ(effects.mediaRevision, 1);  // the darken option composes the background again
}

TEST_F(SettingsPanelTest, ColourCountLimitsShowTheirToasts) {
  editor.editedCustomTheme = 2;
  CustomTheme& t = settings.customThemes[2];
  t.count = 2;
  ShowTab(2);
  Click(Slot::RemoveColour);
  EXPECT_EQ(Toast(), L"A theme needs at least 2 colors");
  EXPECT_EQ(t.count, 2);
  t.colours[2] = L"zz";
  Click(Slot::AddColour);
  EXPECT_EQ(t.count, 3);
  EXPECT_EQ(t.colours[2], L"00D4C8");  // the default of its position
  t.count = 8;
  feedback.toast().Show(L"");
  Click(Slot::AddColour);
  EXPECT_EQ(Toast(), L"A theme can have at most 8 colors");
  EXPECT_EQ(t.count, 8);
}

TEST_F(SettingsPanelTest, LavaOnCustomThemeTwoEmptiesTheRestAndMakesItActive) {
  CustomTheme& t = settings.customThemes[1];
  for (auto& c : t.colours) c = L"123456";
  t.count = 8;
  t.accent = L"FFFFFF";
  ShowTab(2);
  Click(Slot::CustomThemeSlot + 1);  // "Custom 2"
  EXPECT_EQ(settings.theme, 6);
  EXPECT_EQ(editor.editedCustomTheme, 1);
  Paint();
  Click(Slot::QuickGradientPreset + 4);  // "Lava"
  EXPECT_EQ(t.count, 4);
  EXPECT_EQ(t.colours[3], L"FFD000");
  for (size_t k = 4; k < 8; ++k) EXPECT_EQ(t.colours[k], L"") << k;
  EXPECT_EQ(t.angle, 2);
  EXPECT_EQ(t.accent, L"");
  EXPECT_EQ(settings.theme, 6);
  EXPECT_EQ(themes.ActivePalette().gradient.size(), 4u);
}

TEST_F(SettingsPanelTest, ColourDialogStartsFromTheSwatchAndStoresUpperCaseHex) {
  editor.editedCustomTheme = 0;
  CustomTheme& t = settings.customThemes[0];
  t.colours[0] = L"#a0b1c2";
  t.colours[1] = L"nope";
  ShowTab(2);
  host.colourAnswer = 0x12AB0F;
  Click(Slot::ColourSlot + 0);
  Click(Slot::ColourSlot + 1);
  Click(Slot::AccentPick);
  ASSERT_EQ(host.colourStarts.size(), 3u);
  EXPECT_EQ(host.colourStarts[0], 0xA0B1C2u);
  EXPECT_EQ(host.colourStarts[1], 0x808080u);  // grey for a text that is not a colour
  EXPECT_EQ(host.colourStarts[2], themes.ActivePalette().accent & 0x00FFFFFFu);
  EXPECT_EQ(t.colours[0], L"12AB0F");
  EXPECT_EQ(t.colours[1], L"12AB0F");
  EXPECT_EQ(t.accent, L"12AB0F");
  EXPECT_EQ(themes.Palette(5).gradient[0], 0xFF12AB0Fu);
  Paint();
  host.colourAnswer.reset();
  Click(Slot::AccentPick);  // starts from the accent now that it is a colour
  EXPECT_EQ(host.colourStarts.back(), 0x12AB0Fu);
}

TEST_F(SettingsPanelTest, ACancelledDialogChangesNothing) {
  settings.splashImage = L"old.png";
  settings.bgSound = L"old.wav";
  settings.customThemes[0].colours[0] = L"ABCDEF";
  const Settings before = settings;
  struct Case {
    int32_t tab, slot;
    bool file;
    FileDialogKind kind;
  } cases[] = {
      {4, Slot::SplashImagePick, true, FileDialogKind::Images},
      {4, Slot::SplashSoundPick, true, FileDialogKind::AudioFiles},
      {3, Slot::BackgroundPick, true, FileDialogKind::PicturesAndVideos},
      {3, Slot::BgSoundPick, true, FileDialogKind::AudioFiles},
      {2, Slot::ColourSlot, false, FileDialogKind::Images},
      {2, Slot::AccentPick, false, FileDialogKind::Images},
  };
  for (const Case& c : cases) {
    ShowTab(c.tab);
    effects.Take();
    const size_t files = host.fileKinds.size(), colours = host.colourStarts.size();
    Click(c.slot);
    if (c.file) {
      ASSERT_EQ(host.fileKinds.size(), files + 1) << c.slot;
      EXPECT_EQ(host.fileKinds.back(), c.kind) << c.slot;
    } else {
      EXPECT_EQ(host.colourStarts.size(), colours + 1) << c.slot;
    }
    EXPECT_TRUE(effects.Take().empty()) << c.slot;  // nothing loaded, started or saved
  }
  EXPECT_EQ(settings.splashImage, before.splashImage);
  EXPECT_EQ(settings.bgSound, before.bgSound);
  EXPECT_EQ(settings.bgPath, before.bgPath);
  EXPECT_EQ(settings.customThemes[0].colours, before.customThemes[0].colours);
  EXPECT_EQ(settings.customThemes[0].accent, before.customThemes[0].accent);
  EXPECT_EQ(Toast(), L"");
}

TEST_F(SettingsPanelTest, ChosenFilesAreCleanedLoadedAndSaved) {
  const std::wstring longPath = L"C:\\media\\" + std::wstring(500, L'a') + L"\t.png";
  host.fileAnswer = longPath;
  ShowTab(4);
  Click(Slot::SplashImagePick);
  EXPECT_EQ(settings.splashImage, SanitizeText(longPath, 400));
  EXPECT_EQ(settings.splashImage.size(), 400u);
  EXPECT_EQ(effects.Take(), (Log{"splashImage", "save"}));
  EXPECT_EQ(Toast(), L"That image could not be opened");  // the path is kept all the same

  host.fileAnswer = L"C:\\snd\\rain.wav";
  feedback.toast().Show(L"");
  effects.splashLoaded = true;
  Click(Slot::SplashImagePick);
  EXPECT_EQ(Toast(), L"");
  effects.Take();
  ShowTab(3);
  effects.startError = L"The sound could not be played";
  Click(Slot::BgSoundPick);
  EXPECT_EQ(settings.bgSound, L"C:\\snd\\rain.wav");
  EXPECT_EQ(effects.Take(), (Log{"startBg", "save"}));
  EXPECT_EQ(Toast(), L"The sound could not be played");
  Click(Slot::BackgroundPick);
  EXPECT_EQ(effects.Take(), (Log{"bgMedia", "save"}));
  Click(Slot::BackgroundClear);
  EXPECT_EQ(settings.bgPath, L"");
  EXPECT_EQ(effects.Take(), (Log{"bgMedia", "save"}));
}

TEST_F(SettingsPanelTest, PlayWhileMutedUnmutesForPlayingAndRestoresTheMuteWhenItFails) {
  ShowTab(3);
  Click(Slot::BgSoundPlay);  // no file
  EXPECT_EQ(Toast(), L"Choose a sound file first");
  EXPECT_TRUE(effects.Take().empty());

  settings.bgSound = L"C:\\rain.wav";
  settings.bgMute = true;
  effects.startError = L"The device is busy";
  Click(Slot::BgSoundPlay);
  EXPECT_EQ(effects.Take(), (Log{"startBg"}));  // started unmuted, nothing saved
  EXPECT_TRUE(settings.bgMute);                 // the failure gives the mute back
  EXPECT_EQ(Toast(), L"The device is busy");

  effects.startError.clear();
  Click(Slot::BgSoundPlay);
  EXPECT_EQ(effects.Take(), (Log{"startBg"}));
  EXPECT_FALSE(settings.bgMute);

  effects.bgPlaying = true;
  Paint();
  Click(Slot::BgSoundPlay);  // now labelled "Stop"
  EXPECT_EQ(effects.Take(), (Log{"stopBg"}));
  Click(Slot::BgSoundClear);
  EXPECT_EQ(settings.bgSound, L"");
  EXPECT_EQ(effects.Take(), (Log{"stopBg", "save"}));
}

TEST_F(SettingsPanelTest, LoadingSoundTestAndThePreview) {
  ShowTab(4);
  Click(Slot::SplashSoundTest);  // nothing chosen, no error
  EXPECT_EQ(Toast(), L"Choose a sound file first");
  settings.splashSound = L"C:\\x.mp3";
  effects.loadingError = L"Cannot open this sound file";
  Click(Slot::SplashSoundTest);
  EXPECT_EQ(Toast(), L"Cannot open this sound file");
  effects.Take();
  effects.loadingPlaying = true;
  Click(Slot::SplashSoundTest);
  EXPECT_EQ(effects.Take(), (Log{"stopLoading"}));
  Click(Slot::SplashSoundClear);
  EXPECT_EQ(settings.splashSound, L"");
  EXPECT_EQ(effects.Take(), (Log{"stopLoading", "save"}));
  Click(Slot::SplashPreview);
  EXPECT_FALSE(state.settingsOpen);
  EXPECT_EQ(effects.Take(), (Log{"stopLoading"}));
  EXPECT_EQ(splashes, 1);
}

TEST_F(SettingsPanelTest, ResetDefaultsAndThemeCards) {
  ShowTab(2);
  Click(Slot::SettingsThemeSwatch + 8);
  EXPECT_EQ(settings.theme, 8);
  EXPECT_EQ(editor.editedCustomTheme, 3);
  Click(Slot::SettingsReset);
  EXPECT_EQ(settings.theme, 0);
  EXPECT_EQ(editor.editedCustomTheme, 0);
  EXPECT_EQ(Toast(), L"Settings reset to defaults");
}

// ---- the window: opening, routing of keys and characters ----------------------------------------

class SettingsPanelWindow : public WindowFixture {
 protected:
  SettingsPanelWindow() {
    host.clientWidth = 1000;
    host.clientHeight = 760;
    EXPECT_TRUE(window.fonts().CreateUiFonts(graphics));
    AddSettingsPanelPainter(window, panels);
  }
  // What the compositor does while the panel is open.
  void Paint() {
    canvas.Clear();
    DrawContext dc(canvas, app.themes().ActivePalette(), window.fonts(), window.widths());
    dc.textFields = window.state().hits.TextFields();
    dc.focusedField = window.editor().focusedField;
    panels.settingsPanel(dc, window.state(), 1000, 760);
  }
  void ClickSlot(int32_t slot) {
    const HitRect& r = window.state().hits[slot];
    ASSERT_TRUE(r.present);
    window.OnLButtonDown((r.left + r.right) / 2, (r.top + r.bottom) / 2);
  }
  void Type(std::wstring_view text) {
    for (wchar_t c : text) window.OnChar(c);
  }
  int32_t Focused() { return window.editor().focusedField; }

  PanelPainters panels;
  RecordingCanvas canvas;
};

TEST_F(SettingsPanelWindow, F2ThenTheLanSwitchFlipsAndWritesTheSettingsFile) {
  window.OnKeyDown(Key::F2, false);
  ASSERT_TRUE(window.state().settingsOpen);
  EXPECT_EQ(window.CurrentFace(), Face::SettingsPanel);
  Paint();
  EXPECT_NE(canvas.FindText(L"Show LAN / private IPs"), nullptr);
  const int32_t writes = fakes.files.writeCalls;
  ClickSlot(Slot::SettingsToggle + 0);
  EXPECT_TRUE(app.settings().showLan);
  EXPECT_EQ(fakes.files.writeCalls, writes + 1);
  const std::string saved = fakes.files.files[SettingsFilePath(fakes.files)];
  EXPECT_NE(saved.find("showLan=1\r\n"), std::string::npos);
}

TEST_F(SettingsPanelWindow, EscapeFirstDropsTheFocusThenCloses) {
  window.OnKeyDown(Key::F2, false);
  window.state().selectedTab = 1;
  Paint();
  ClickSlot(Slot::TextField + 1);
  EXPECT_EQ(Focused(), 1);
  window.OnKeyDown(Key::Escape, false);
  EXPECT_EQ(Focused(), kNoField);
  EXPECT_TRUE(window.state().settingsOpen);
  window.OnKeyDown(Key::Escape, false);
  EXPECT_FALSE(window.state().settingsOpen);
}

TEST_F(SettingsPanelWindow, TypingEditsTheFocusedFieldOnly) {
  window.OnKeyDown(Key::F2, false);
  window.state().selectedTab = 1;
  Paint();
  Type(L"9");  // no field focused: nothing
  EXPECT_EQ(app.settings().prefixes, L"104,3");
  ClickSlot(Slot::TextField + 0);
  host.ClearPaints();
  Type(L" 35x\b");
  EXPECT_EQ(app.settings().prefixes, L"104,3,3");
  EXPECT_EQ(host.fullRepaints, 5);
  window.OnKeyDown(Key::Delete, false);
  EXPECT_EQ(app.settings().prefixes, L"");
  fakes.clipboard.content = L"104, 66";
  window.OnKeyDown(Key::V, true);
  EXPECT_EQ(app.settings().prefixes, L"104,,66");
  Paint();  // the focused field shows its text with the caret
  EXPECT_NE(canvas.FindTextContaining(L"104,,66"), nullptr);
}

// ---- the window's media behind the panel -------------------------------------------------------

class SettingsPanelMedia : public testing::Test {
 protected:
  SettingsPanelMedia() {
    fakes.files.files[L"C:\\pics\\sea.png"] = "sea";
    fakes.files.files[L"C:\\snd\\loop.wav"] = "RIFF";
    pictures.byBytes["sea"] = FakePictureSpec{400, 100, 1, {}};                // the background reads the bytes
    pictures.byPath[L"C:\\pics\\sea.png"] = FakePictureSpec{400, 100, 1, {}};  // the logo, the file
    window.state().splashActive = false;
    window.state().settingsOpen = true;
    EXPECT_TRUE(window.fonts().CreateUiFonts(graphics));
    AddSettingsPanelPainter(window, panels);
  }
  PlatformServices Services() {
    return PlatformServices{clock,      fakes.files, fakes.socketTables, fakes.processList, fakes.rawCapture,
                            fakes.icmp, fakes.http,  fakes.imageDecoder, fakes.clipboard};
  }
  void ShowTab(int32_t tab) {
    window.state().selectedTab = tab;
    canvas.Clear();
    DrawContext dc(canvas, app.themes().ActivePalette(), window.fonts(), window.widths());
    dc.textFields = window.state().hits.TextFields();
    panels.settingsPanel(dc, window.state(), 1000, 760);
  }
  void ClickSlot(int32_t slot) {
    const HitRect& r = window.state().hits[slot];
    ASSERT_TRUE(r.present);
    window.OnLButtonDown((r.left + r.right) / 2, (r.top + r.bottom) / 2);
  }
  std::wstring Toast() { return app.copyFeedback().toast().text(); }

  FakeClock clock;
  FakeApplicationServices fakes;
  FakePictureDecoder pictures;
  FakeVideoDecoding video{&clock};
  FakeSoundCommands mci;
  Application app{CommandLineState{}, Services()};
  FakeWindowHost host;
  RecordingGraphics graphics;
  MainWindow window{app, host, graphics, MediaPlatform{pictures, video, mci}};
  PanelPainters panels;
  RecordingCanvas canvas;
};

TEST_F(SettingsPanelMedia, PictureSoundAndStatusComeFromTheWindowsMedia) {
  ShowTab(4);
  host.fileAnswer = L"C:\\pics\\gone.png";
  ClickSlot(Slot::SplashImagePick);
  EXPECT_EQ(Toast(), L"That image could not be opened");
  EXPECT_EQ(app.settings().splashImage, L"C:\\pics\\gone.png");
  app.copyFeedback().ShowToast(L"");
  host.fileAnswer = L"C:\\pics\\sea.png";
  ClickSlot(Slot::SplashImagePick);
  EXPECT_EQ(Toast(), L"");
  EXPECT_NE(window.windowMedia().medium().SplashImage(), nullptr);

  app.settings().splashSound = L"C:\\snd\\gone.wav";
  ClickSlot(Slot::SplashSoundTest);
  EXPECT_EQ(Toast(), L"Sound file not found");
  app.settings().splashSound = L"C:\\snd\\loop.wav";
  ClickSlot(Slot::SplashSoundTest);
  EXPECT_TRUE(window.windowMedia().LoadingSoundPlaying());
  ShowTab(4);
  EXPECT_NE(canvas.FindText(L"Stop"), nullptr);
  ClickSlot(Slot::SplashSoundTest);
  EXPECT_FALSE(window.windowMedia().LoadingSoundPlaying());

  ShowTab(3);
  host.fileAnswer = L"C:\\pics\\sea.png";
  ClickSlot(Slot::BackgroundPick);
  ShowTab(3);
  EXPECT_NE(canvas.FindTextContaining(L" loaded"), nullptr);
  const uint64_t revision = window.windowMedia().MediaRevision();
  ClickSlot(Slot::DimPreset + 5);
  EXPECT_EQ(app.settings().bgDim, 80);
  EXPECT_GT(window.windowMedia().MediaRevision(), revision);  // the background is composed again
}

}  // namespace
}  // namespace tolvane
