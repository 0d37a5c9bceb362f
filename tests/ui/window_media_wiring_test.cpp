// The media where the window calls them: the media tick (loop keeper, GIF frames, nothing while
// minimised), a key ending the loading screen with its sound, the settings effects reaching the
// sounds and the medium, the compositor drawing the medium with a key that follows it, and the
// whole life of a window (loading screen at creation, medium and sound at the deferred start, all
// stopped at shutdown).
#include <gtest/gtest.h>

#include <chrono>

#include "fakes/fake_application_services.h"
#include "fakes/fake_clock.h"
#include "fakes/fake_picture_decoder.h"
#include "fakes/fake_sound_commands.h"
#include "fakes/fake_video.h"
#include "fakes/fake_window_host.h"
#include "fakes/recording_canvas.h"
#include "settings/settings_file.h"
#include "ui/main_view.h"
#include "ui/main_window.h"
#include "ui/paint_window.h"

namespace tolvane {
namespace {

using Commands = std::vector<std::wstring>;

void AddFiles(FakeFileSystem& files, FakePictureDecoder& pictures) {
  files.files[L"C:\\pics\\sea.png"] = "sea";
  files.files[L"C:\\pics\\walk.gif"] = "walk";
  files.files[L"C:\\snd\\loop.wav"] = "RIFF";
  pictures.byBytes["sea"] = FakePictureSpec{400, 100, 1, {}};
  pictures.byBytes["walk"] = FakePictureSpec{40, 20, 2, {10, 10}};  // 100 ms each
}

class WindowMediaWiringTest : public ::testing::Test {
 protected:
  WindowMediaWiringTest() {
    AddFiles(fakes.files, pictures);
    window.state().splashActive = false;  // as creation leaves it with the splash off
    fonts.CreateUiFonts(graphics);
  }
  PlatformServices Services() {
    return PlatformServices{clock,      fakes.files, fakes.socketTables, fakes.processList, fakes.rawCapture,
                            fakes.icmp, fakes.http,  fakes.imageDecoder, fakes.clipboard};
  }
  void Paint(WindowPaint& paint) {
    const MainViewSources sources = MainViewSourcesOf(app);
    const BackgroundMedium medium = window.windowMedia().PaintMedium();
    PanelPainters panels;
    window.windowMedia().AddPainters(panels);
    const PaintInputs in{graphics, fonts, widths, window.state(), sources, 1240, 700, -1, &medium, &panels};
    PaintWindow(paint, in, 0x77, nullptr);
  }

  FakeClock clock;
  FakeApplicationServices fakes;
  FakePictureDecoder pictures;
  FakeVideoDecoding video{&clock};
  FakeSoundCommands mci;
  Application app{CommandLineState{}, Services()};
  FakeWindowHost host;
  RecordingGraphics graphics;
  MainWindow window{app, host, graphics, MediaPlatform{pictures, video, mci}};
  UiFonts fonts;
  TextWidthCache widths;
};

TEST_F(WindowMediaWiringTest, MediaTickKeepsTheSoundLoopingAndMovesTheGif) {
  Settings& s = app.settings();
  s.bgPath = L"C:\\pics\\walk.gif";
  s.bgSound = L"C:\\snd\\loop.wav";
  window.windowMedia().LoadBackgroundMedia();
  ASSERT_EQ(window.windowMedia().StartBackgroundSound(), L"");
  mci.replies[L"status tlbgm mode"] = L"stopped";

  struct Tick {
    uint64_t advance;
    bool minimised;
    int repaints;
    size_t commands;  // status (and play) sent on this tick
  };
  const Tick ticks[] = {
      {33, false, 0, 2},   // the loop keeper's first look restarts the stopped sound; no frame due
      {67, false, 1, 0},   // 100 ms: the GIF's next frame
      {100, true, 0, 0},   // minimised: no frame is worth a paint
      {600, true, 0, 2},   // ... but the sound is still kept looping
      {100, false, 1, 0},  // back: the overdue frame
  };
  for (const Tick& t : ticks) {
    clock.Advance(t.advance);
    window.OnSize(t.minimised);
    host.fullRepaints = 0;
    mci.sent.clear();
    window.OnTimer(TIMER_MEDIA);
    EXPECT_EQ(host.fullRepaints, t.repaints) << t.advance;
    EXPECT_EQ(mci.sent.size(), t.commands) << t.advance;
  }
  EXPECT_EQ(window.windowMedia().VideoFrameCounter(), 2u);
}

TEST_F(WindowMediaWiringTest, AKeyEndsTheLoadingScreenAndItsSoundOnly) {
  app.settings().splashSound = L"C:\\snd\\loop.wav";
  window.StartSplash();
  EXPECT_TRUE(window.windowMedia().LoadingSoundPlaying());
  mci.sent.clear();
  window.OnChar(L'x');  // dropped while the loading screen shows
  EXPECT_TRUE(window.state().splashActive);
  window.OnKeyDown(Key::F2, false);
  EXPECT_FALSE(window.state().splashActive);
  EXPECT_FALSE(window.state().settingsOpen);  // the key had no other effect
  EXPECT_EQ(mci.sent, (Commands{L"stop tlsplash", L"close tlsplash"}));
  EXPECT_EQ(host.timers.count(TIMER_SPLASH), 0u);
}

TEST_F(WindowMediaWiringTest, TheSplashTickEndsTheScreenAndToastsTheSoundError) {
  app.settings().splashMs = 500;
  app.settings().splashSound = L"C:\\snd\\gone.wav";
  window.StartSplash();
  for (int i = 0; i < 40 && window.state().splashActive; ++i) {
    clock.Advance(16);
    window.OnTimer(TIMER_SPLASH);
  }
  EXPECT_FALSE(window.state().splashActive);
  EXPECT_EQ(app.copyFeedback().toast().text(), L"Sound file not found");
}

TEST_F(WindowMediaWiringTest, SettingsEffectsReachTheSoundsAndTheMedium) {
  Settings& s = app.settings();
  s.bgSound = L"C:\\snd\\loop.wav";
  SettingsEditor& editor = window.editor();
  editor.SetBgVol(37);  // not playing yet: the change starts it
  EXPECT_TRUE(window.windowMedia().BackgroundSoundPlaying());
  EXPECT_EQ(mci.sent[1], L"setaudio tlbgm volume to 370");
  mci.sent.clear();
  editor.SetBgVol(80);
  EXPECT_EQ(mci.sent, (Commands{L"setaudio tlbgm volume to 800"}));
  editor.ToggleSetting(&Settings::bgMute);  // muting stops (and closes) the sound
  EXPECT_FALSE(window.windowMedia().BackgroundSoundPlaying());

  const uint64_t revision = window.windowMedia().MediaRevision();
  s.bgPath = L"C:\\pics\\sea.png";
  editor.effects().LoadBackgroundMedia();  // as the file dialog does
  EXPECT_TRUE(window.windowMedia().MediumLoaded());
  EXPECT_EQ(window.windowMedia().MediaRevision(), revision + 1);
  editor.SetBgDim(50);
  EXPECT_EQ(window.windowMedia().MediaRevision(), revision + 2);

  s.splashSound = L"C:\\snd\\loop.wav";
  window.StartSplash();
  s.bgMute = false;
  ASSERT_EQ(window.windowMedia().StartBackgroundSound(), L"");
  editor.ResetToDefaults();
  EXPECT_FALSE(window.windowMedia().LoadingSoundPlaying());
  EXPECT_FALSE(window.windowMedia().BackgroundSoundPlaying());
  EXPECT_FALSE(window.windowMedia().MediumLoaded());  // the default has no background
}

TEST_F(WindowMediaWiringTest, ATypedPathLoadsOnceTypingRestsAndANetworkPathOnlyAtEnter) {
  window.RebuildWindowIcons();  // the icons wait for no theme
  window.state().settingsOpen = true;
  int32_t& focus = window.editor().focusedField;
  auto typeInto = [&](TextFieldId id, const std::wstring& text) {
    focus = static_cast<int32_t>(id);
    for (wchar_t c : text) {
      clock.Advance(150);
      window.OnChar(c);
      window.OnTimer(TIMER_UI);
    }
  };
  const uint64_t start = window.windowMedia().MediaRevision();
  typeInto(TextFieldId::kBgPath, L"C:\\pics\\walk.gif");
  clock.Advance(499);
  window.OnTimer(TIMER_UI);
  EXPECT_EQ(window.windowMedia().MediaRevision(), start);  // nothing while typing goes on
  clock.Advance(1);
  window.OnTimer(TIMER_UI);
  window.OnTimer(TIMER_UI);
  EXPECT_EQ(window.windowMedia().MediaRevision(), start + 1);  // 500 ms after the last key, once
  EXPECT_EQ(host.timers.count(TIMER_MEDIA), 1u);               // the GIF moves

  app.settings().bgPath.clear();
  typeInto(TextFieldId::kBgPath, L"C:\\pics\\sea.png");
  focus = kNoField;  // leaving the field loads it at once
  window.OnTimer(TIMER_UI);
  EXPECT_EQ(window.windowMedia().medium().kind(), MediaKind::Picture);
  EXPECT_EQ(host.timers.count(TIMER_MEDIA), 0u);  // a still picture gives the media tick no work

  typeInto(TextFieldId::kSplashImage, L"\\\\host\\logo.png");
  clock.Advance(5000);
  focus = kNoField;
  window.OnTimer(TIMER_UI);
  EXPECT_EQ(pictures.decodeFileCalls, 0);  // a network path: not typed, nor when the field is left
  focus = static_cast<int32_t>(TextFieldId::kSplashImage);
  window.OnKeyDown(Key::Enter, false);
  EXPECT_EQ(pictures.decodeFileCalls, 1);
}

TEST_F(WindowMediaWiringTest, TheCompositorDrawsTheMediumAndFollowsItsFrames) {
  WindowPaint paint;
  app.settings().bgPath = L"C:\\pics\\walk.gif";
  window.windowMedia().LoadBackgroundMedia();
  Paint(paint);
  ASSERT_TRUE(paint.lastPaint().backgroundComposed);
  auto& background = *dynamic_cast<RecordingSurface*>(paint.background());
  const auto images = background.canvas().OfKind(CallKind::Image);
  ASSERT_EQ(images.size(), 1u);
  EXPECT_FLOAT_EQ(images[0]->rect.w, 1400);  // 40 × 20 covering 1240 × 700
  EXPECT_FLOAT_EQ(images[0]->rect.h, 700);

  Paint(paint);
  EXPECT_FALSE(paint.lastPaint().backgroundComposed);  // nothing changed: the cached layer
  clock.Advance(100);
  window.OnTimer(TIMER_MEDIA);
  Paint(paint);
  EXPECT_TRUE(paint.lastPaint().backgroundComposed);  // the next GIF frame

  // The loading screen is drawn over the same layer.
  app.settings().splashTitle = L"Starting up";
  window.StartSplash();
  Paint(paint);
  EXPECT_NE(dynamic_cast<RecordingSurface*>(paint.frame())->canvas().FindText(L"Starting up"), nullptr);
}

TEST(WindowMediaLifecycle, CreationShowsTheLoadingScreenDeferredStartLoadsShutdownStops) {
  FakeApplicationServices fakes;  // the real clock: the workers run and are joined
  FakePictureDecoder pictures;
  FakeVideoDecoding video;
  FakeSoundCommands mci;
  AddFiles(fakes.files, pictures);
  const std::wstring settingsPath = SettingsFilePath(fakes.files);
  fakes.files.files[settingsPath] =
      "bgPath=C:\\pics\\sea.png\r\nbgSound=C:\\snd\\loop.wav\r\nsplashSound=C:\\snd\\loop.wav\r\n";
  Application app(CommandLineState{}, fakes.Services());
  FakeWindowHost host;
  RecordingGraphics graphics;
  MainWindow window(app, host, graphics, MediaPlatform{pictures, video, mci});

  window.OnCreate(77, 1.0f);
  EXPECT_TRUE(window.state().splashActive);
  EXPECT_EQ(host.timers.count(TIMER_SPLASH), 1u);
  EXPECT_TRUE(window.windowMedia().LoadingSoundPlaying());

  window.OnDeferredStart();
  EXPECT_TRUE(window.windowMedia().MediumLoaded());
  EXPECT_TRUE(window.windowMedia().BackgroundSoundPlaying());

  mci.sent.clear();
  window.OnDestroy();
  EXPECT_EQ(mci.sent, (Commands{L"stop tlsplash", L"close tlsplash", L"stop tlbgm", L"close tlbgm"}));
  EXPECT_EQ(pictures.live, 0);
}

}  // namespace
}  // namespace tolvane
