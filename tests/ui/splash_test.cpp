// The loading screen: when it starts and ends (timer, sound, toast), and what its painter draws on
// the recording canvas (picture fitted into 200 × 200 or the logo, texts, bar or moving segment,
// hint).
#include <gtest/gtest.h>

#include <cmath>

#include "ui/splash.h"
#include "fakes/fake_clock.h"
#include "fakes/fake_file_system.h"
#include "fakes/fake_sound_commands.h"
#include "fakes/recording_canvas.h"
#include "splash_host.h"

namespace tolvane {
namespace {

class SplashTest : public ::testing::Test {
 protected:
  SplashTest() {
    files.files[L"C:\\snd\\hello.wav"] = "RIFF";
    palette.accent = 0xFF5865F2;
    palette.accent2 = 0xFF9B59B6;
    palette.text = 0xFFE8E8F0;
    palette.textDim = 0xFFA0A0B0;
    palette.textMuted = 0xFF707080;
    fonts.CreateUiFonts(graphics);
  }

  // Ticks every 16 ms until the screen ends (or the limit); the elapsed ms at the ending tick.
  int64_t TickUntilEnded(int64_t limitMs) {
    for (int64_t t = 16; t <= limitMs; t += 16) {
      clock.Advance(16);
      screen.SplashTick(host);
      if (!app.splashActive) return t;
    }
    return -1;
  }
  void Paint(const CanvasImage* picture, int64_t elapsedNs, float W = 1240, float H = 700) {
    canvas.Clear();
    PaintSplash(dc, settings, picture, elapsedNs, W, H);
  }
  // Solid fills in the accent's colour at any alpha (the logo's gradient is not one of them).
  std::vector<const CanvasCall*> AccentFills() const {
    std::vector<const CanvasCall*> fills;
    for (const CanvasCall& call : canvas.calls()) {
      if (call.IsFill() && !call.brush.gradient && (call.brush.argb & 0xFFFFFFu) == (palette.accent & 0xFFFFFFu)) {
        fills.push_back(&call);
      }
    }
    return fills;
  }

  Settings settings = MakeDefaultSettings();
  AppState app;
  FakeClock clock;
  FakeFileSystem files;
  FakeSoundCommands mci;
  Sounds sounds{settings, mci, files, clock};
  Toast toast{clock};
  SplashHost host;
  LoadingScreen screen{app, settings, sounds, toast, clock};

  RecordingGraphics graphics;
  RecordingCanvas canvas;
  ThemePalette palette;
  UiFonts fonts;
  TextWidthCache widths;
  DrawContext dc{canvas, palette, fonts, widths};
};

TEST_F(SplashTest, StartShowsTheScreenWithItsTimerAndSound) {
  app.splashActive = false;
  app.splashMessage = L"old";
  settings.splashSound = L"C:\\snd\\hello.wav";
  screen.StartSplash(host);
  EXPECT_TRUE(app.splashActive);
  EXPECT_EQ(app.splashStart, clock.MonotonicNs());
  EXPECT_EQ(app.splashMessage, L"");
  EXPECT_EQ(host.timers, (std::vector<std::pair<uint32_t, uint32_t>>{{TIMER_SPLASH, 16}}));
  EXPECT_TRUE(sounds.loadingOpen());
}

TEST_F(SplashTest, EndStopsTheSoundWhenAskedAndToastsItsError) {
  struct Case {
    const wchar_t* sound;
    bool stopSound;
    bool openAfter;
    const wchar_t* toast;
  };
  const Case cases[] = {
      {L"C:\\snd\\hello.wav", true, false, L""},
      {L"C:\\snd\\hello.wav", false, true, L""},  // plays on after the screen has ended
      {L"C:\\snd\\gone.wav", true, false, L"Sound file not found"},
      {L"", true, false, L""},
  };
  for (const Case& c : cases) {
    if (sounds.loadingOpen()) sounds.StopLoadingSound();
    toast.Show(L"");
    settings.splashSound = c.sound;
    settings.splashStopSound = c.stopSound;
    screen.StartSplash(host);
    host.killed.clear();
    mci.sent.clear();
    screen.EndSplash(host);
    EXPECT_FALSE(app.splashActive) << c.sound;
    EXPECT_EQ(host.killed, (std::vector<uint32_t>{TIMER_SPLASH})) << c.sound;
    EXPECT_EQ(sounds.loadingOpen(), c.openAfter) << c.sound;
    EXPECT_EQ(mci.sent.empty(), !(c.stopSound && c.sound == std::wstring(L"C:\\snd\\hello.wav"))) << c.sound;
    EXPECT_EQ(toast.text(), c.toast) << c.sound;
    EXPECT_EQ(app.splashMessage, L"");
  }
  // Ending a hidden screen does nothing.
  host.killed.clear();
  toast.Show(L"");
  screen.EndSplash(host);
  EXPECT_TRUE(host.killed.empty());
}

TEST_F(SplashTest, TheTickEndsTheScreenAtTheFirstTickAtOrAfterSplashMs) {
  struct Case {
    int32_t splashMs;
    int64_t endsAt;  // -1: never (within 10 s)
  };
  const Case cases[] = {{500, 512}, {496, 496}, {1000, 1008}, {16, 16}, {0, -1}};
  for (const Case& c : cases) {
    settings.splashMs = c.splashMs;
    host.fullRepaints = 0;
    screen.StartSplash(host);
    const int64_t ended = TickUntilEnded(10000);
    EXPECT_EQ(ended, c.endsAt) << c.splashMs;
    // Every tick repaints the whole window, the ending one too.
    EXPECT_EQ(host.fullRepaints, (c.endsAt < 0 ? 10000 : c.endsAt) / 16) << c.splashMs;
    screen.EndSplash(host);
  }
}

TEST_F(SplashTest, ATickWhileHiddenOnlyKillsTheTimer) {
  app.splashActive = false;
  screen.SplashTick(host);
  EXPECT_EQ(host.killed, (std::vector<uint32_t>{TIMER_SPLASH}));
  EXPECT_EQ(host.fullRepaints, 0);
}

TEST_F(SplashTest, TheBarIsFullWhenTheScreenEnds) {
  settings.splashMs = 500;
  screen.StartSplash(host);
  ASSERT_EQ(TickUntilEnded(1000), 512);
  Paint(nullptr, clock.MonotonicNs() - app.splashStart);
  const auto fills = AccentFills();
  ASSERT_EQ(fills.size(), 2u);  // the track (accent at alpha 3C) and the fill
  const float x0 = 1240 * 0.5f - 130;
  EXPECT_FLOAT_EQ(fills[1]->rect.x, x0);
  EXPECT_FLOAT_EQ(fills[1]->rect.w, 260);
  EXPECT_FLOAT_EQ(fills[1]->rect.y, 350 + 86);
  EXPECT_FLOAT_EQ(fills[1]->rect.h, 4);
  EXPECT_EQ(fills[0]->brush.argb, 0x3C5865F2u);
  EXPECT_FLOAT_EQ(fills[0]->rect.w, 260);

  Paint(nullptr, 125'000'000);  // a quarter of 500 ms
  ASSERT_EQ(AccentFills().size(), 2u);
  EXPECT_FLOAT_EQ(AccentFills()[1]->rect.w, 65);
  EXPECT_NE(canvas.FindText(L"Click or press any key to skip"), nullptr);
}

TEST_F(SplashTest, WithoutAnEndTimeTheSegmentMovesAndTheHintSaysContinue) {
  settings.splashMs = 0;
  const float x0 = 1240 * 0.5f - 130;
  struct Case {
    double elapsedS;
    bool drawn;
    float left, width;
  };
  const Case cases[] = {
      {0.0, false, 0, 0},                                  // the segment waits left of the track
      {0.5 / 0.7, true, x0 + 85, 90},                      // half-way: wholly on the track
      {0.1 / 0.7, true, x0, 35},                           // entering: clipped at the left
      {0.95 / 0.7, true, x0 - 90 + 332.5f, 260 - 242.5f},  // leaving: clipped at the right
      {1.0 / 0.7 + 0.5 / 0.7, true, x0 + 85, 90},          // one cycle later, the same place
  };
  for (const Case& c : cases) {
    Paint(nullptr, static_cast<int64_t>(std::llround(c.elapsedS * 1e9)));
    const auto fills = AccentFills();
    ASSERT_EQ(fills.size(), c.drawn ? 2u : 1u) << c.elapsedS;
    EXPECT_NE(canvas.FindText(L"Click or press any key to continue"), nullptr);
    if (!c.drawn) continue;
    EXPECT_NEAR(fills[1]->rect.x, c.left, 0.01) << c.elapsedS;
    EXPECT_NEAR(fills[1]->rect.w, c.width, 0.01) << c.elapsedS;
  }
}

TEST_F(SplashTest, BarOffDrawsNoTrackButKeepsTheHint) {
  for (int32_t ms : {0, 1000}) {
    settings.splashBar = false;
    settings.splashMs = ms;
    Paint(nullptr, 300'000'000);
    EXPECT_TRUE(AccentFills().empty()) << ms;
    EXPECT_NE(canvas.FindText(ms == 0 ? L"Click or press any key to continue" : L"Click or press any key to skip"),
              nullptr);
  }
}

TEST_F(SplashTest, PicturesFitA200Box70AboveTheMiddle) {
  struct Case {
    int32_t width, height;
    RectF dest;
  };
  const Case cases[] = {
      {400, 100, {520, 255, 200, 50}},
      {50, 50, {520, 180, 200, 200}},
      {100, 400, {595, 180, 50, 200}},
  };
  for (const Case& c : cases) {
    RecordingImage picture(c.width, c.height, {});
    Paint(&picture, 500'000'000);  // half-way through the default second
    const auto images = canvas.OfKind(CallKind::Image);
    ASSERT_EQ(images.size(), 1u);
    EXPECT_FLOAT_EQ(images[0]->rect.x, c.dest.x) << c.width;
    EXPECT_FLOAT_EQ(images[0]->rect.y, c.dest.y) << c.width;
    EXPECT_FLOAT_EQ(images[0]->rect.w, c.dest.w) << c.width;
    EXPECT_FLOAT_EQ(images[0]->rect.h, c.dest.h) << c.width;
    EXPECT_EQ(canvas.Count(CallKind::FillPath), 2u);  // the track and the bar, no logo
  }
}

TEST_F(SplashTest, WithoutAPictureTheLogoAndTextsSitAroundTheMiddle) {
  settings.splashTitle = L"Hello";
  settings.splashSub = L"Warming up";
  settings.splashBar = false;
  Paint(nullptr, 0, 1000, 601);  // cy = 300.5, truncated to 300 for the texts
  EXPECT_EQ(canvas.Count(CallKind::Image), 0u);
  // The logo mark: its gradient square starts 44 left of the centre and 130 above the middle.
  const auto logo = canvas.OfKind(CallKind::FillPath);
  ASSERT_EQ(logo.size(), 2u);
  EXPECT_NEAR(logo[0]->rect.x, 456, 0.01);
  EXPECT_NEAR(logo[0]->rect.y, 300.5 - 130 + 0.2 * 88, 0.01);

  const CanvasCall* title = canvas.FindText(L"Hello");
  ASSERT_NE(title, nullptr);
  EXPECT_FLOAT_EQ(title->rect.y, 304);
  EXPECT_FLOAT_EQ(title->rect.w, 1000);
  EXPECT_FLOAT_EQ(title->rect.h, 40);
  EXPECT_EQ(title->argb, palette.text);
  EXPECT_EQ(title->horizontal, TextAlign::Center);
  EXPECT_EQ(title->vertical, TextAlign::Center);
  const CanvasCall* sub = canvas.FindText(L"Warming up");
  ASSERT_NE(sub, nullptr);
  EXPECT_FLOAT_EQ(sub->rect.y, 346);
  EXPECT_FLOAT_EQ(sub->rect.h, 22);
  EXPECT_EQ(sub->argb, palette.textDim);
  const CanvasCall* hint = canvas.FindText(L"Click or press any key to skip");
  ASSERT_NE(hint, nullptr);
  EXPECT_FLOAT_EQ(hint->rect.y, 601 - 34);
  EXPECT_FLOAT_EQ(hint->rect.h, 20);
  EXPECT_EQ(hint->argb, palette.textMuted);
  EXPECT_GT(title->fontSize, sub->fontSize);
  EXPECT_GT(sub->fontSize, hint->fontSize);
}

}  // namespace
}  // namespace tolvane
