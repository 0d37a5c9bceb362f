// The window's media bundle at the window's fixed points: the loading screen at creation (never
// with --bench), the deferred start's picture, medium and background sound with its toast, the
// loading-screen face and the medium on the recording canvas, and the shutdown's stops.
#include <gtest/gtest.h>

#include <cmath>

#include "fakes/fake_clipboard.h"
#include "fakes/fake_clock.h"
#include "fakes/fake_file_system.h"
#include "fakes/fake_http.h"
#include "fakes/fake_icmp.h"
#include "fakes/fake_image_decoder.h"
#include "fakes/fake_picture_decoder.h"
#include "fakes/fake_process_list.h"
#include "fakes/fake_raw_capture.h"
#include "fakes/fake_socket_tables.h"
#include "fakes/fake_sound_commands.h"
#include "fakes/fake_video.h"
#include "fakes/recording_canvas.h"
#include "splash_host.h"
#include "ui/window_media.h"

namespace tolvane {
namespace {

class WindowMediaTest : public ::testing::Test {
 protected:
  explicit WindowMediaTest(bool bench = false) : commandLine_{false, bench, L"", L""} {
    files.files[L"C:\\pics\\sea.png"] = "sea";
    files.files[L"C:\\snd\\loop.wav"] = "RIFF";
    pictures.byBytes["sea"] = FakePictureSpec{400, 100, 1, {}};
    pictures.byPath[L"C:\\pics\\logo.png"] = FakePictureSpec{400, 100, 1, {}};
    palette.dark = false;
    palette.text = 0xFF101010;
    palette.accent = 0xFF5865F2;
    fonts.CreateUiFonts(graphics);
  }

  FakeClock clock;
  FakeFileSystem files;
  FakeSocketTables socketTables;
  FakeProcessList processList;
  FakeRawCapture rawCapture;
  FakeIcmp icmp;
  FakeHttpClient http;
  FakeImageDecoder imageDecoder;
  FakeClipboard clipboard;
  FakePictureDecoder pictures;
  FakeVideoDecoding video{&clock};
  FakeSoundCommands mci;
  RecordingGraphics graphics;
  CommandLineState commandLine_;
  Application app{commandLine_, PlatformServices{clock, files, socketTables, processList, rawCapture, icmp, http,
                                                 imageDecoder, clipboard}};
  AppState state;
  SplashHost host;
  WindowMedia media{app, state, graphics, MediaPlatform{pictures, video, mci}};

  RecordingCanvas canvas;
  ThemePalette palette;
  UiFonts fonts;
  TextWidthCache widths;
  DrawContext dc{canvas, palette, fonts, widths};
};

class BenchWindowMediaTest : public WindowMediaTest {
 protected:
  BenchWindowMediaTest() : WindowMediaTest(true) {}
};

TEST_F(WindowMediaTest, TheLoadingScreenShowsAtCreationWhenSwitchedOn) {
  for (bool on : {true, false}) {
    state.splashActive = true;  // AppState starts with it set; creation decides
    host.timers.clear();
    app.settings().splash = on;
    media.OnCreate(host);
    EXPECT_EQ(state.splashActive, on);
    EXPECT_EQ(host.timers.size(), on ? 1u : 0u);
  }
}

TEST_F(BenchWindowMediaTest, NeverWithTheBenchmark) {
  app.settings().splash = true;
  media.OnCreate(host);
  EXPECT_FALSE(state.splashActive);
  EXPECT_TRUE(host.timers.empty());
}

TEST_F(WindowMediaTest, DeferredStartLoadsPictureMediumAndSound) {
  Settings& s = app.settings();
  s.splashImage = L"C:\\pics\\logo.png";
  s.bgPath = L"C:\\pics\\sea.png";
  s.bgSound = L"C:\\snd\\loop.wav";
  media.OnDeferredStart();
  EXPECT_NE(media.medium().SplashImage(), nullptr);
  EXPECT_TRUE(media.MediumLoaded());
  EXPECT_FALSE(media.MediumAnimated());
  EXPECT_EQ(media.MediaRevision(), 1u);
  EXPECT_TRUE(media.BackgroundSoundPlaying());
  EXPECT_EQ(mci.sent.back(), L"play tlbgm from 0");
  EXPECT_EQ(app.copyFeedback().toast().text(), L"");

  // Shutdown stops what is open, and only that.
  mci.sent.clear();
  media.OnDestroy();
  EXPECT_EQ(mci.sent, (std::vector<std::wstring>{L"stop tlbgm", L"close tlbgm"}));
  EXPECT_FALSE(media.BackgroundSoundPlaying());
  EXPECT_EQ(pictures.live, 0);
}

TEST_F(WindowMediaTest, ABackgroundSoundThatCannotPlayBecomesAToast) {
  app.settings().bgSound = L"C:\\snd\\gone.wav";
  media.OnDeferredStart();
  EXPECT_EQ(app.copyFeedback().toast().text(), L"Background sound file not found");
  EXPECT_FALSE(media.MediumLoaded());

  app.copyFeedback().ShowToast(L"");
  app.settings().bgSound = L"";
  mci.sent.clear();
  media.OnDeferredStart();
  EXPECT_TRUE(mci.sent.empty());
  EXPECT_EQ(app.copyFeedback().toast().text(), L"");
}

TEST_F(WindowMediaTest, TheLoadingScreenFaceUsesItsPictureAndTime) {
  app.settings().splashImage = L"C:\\pics\\logo.png";
  app.settings().splashMs = 1000;
  app.settings().splashSound = L"C:\\snd\\loop.wav";
  media.OnDeferredStart();
  media.OnCreate(host);
  EXPECT_TRUE(media.LoadingSoundPlaying());
  clock.Advance(250);
  media.PaintLoadingScreen(dc, 1240, 700);
  const auto images = canvas.OfKind(CallKind::Image);
  ASSERT_EQ(images.size(), 1u);
  EXPECT_FLOAT_EQ(images[0]->rect.w, 200);
  EXPECT_FLOAT_EQ(images[0]->rect.h, 50);
  // A quarter of the second has passed: the bar is a quarter full.
  bool quarterBar = false;
  for (const CanvasCall& call : canvas.calls()) {
    if (call.IsFill() && call.brush.argb == palette.accent && std::abs(call.rect.w - 65) < 0.01f) quarterBar = true;
  }
  EXPECT_TRUE(quarterBar);

  // A key ends it; the loading sound stops with it (splashStopSound is on by default).
  media.loadingScreen().EndSplash(host);
  EXPECT_FALSE(state.splashActive);
  EXPECT_FALSE(media.LoadingSoundPlaying());
}

TEST_F(WindowMediaTest, TheMediumIsDrawnWithTheVeilOfThePalette) {
  app.settings().bgPath = L"C:\\pics\\sea.png";
  app.settings().bgDim = 100;
  media.LoadBackgroundMedia();
  media.DrawMedium(dc, 800, 600);
  ASSERT_EQ(canvas.Count(CallKind::Image), 1u);
  const auto fills = canvas.OfKind(CallKind::FillRect);
  ASSERT_EQ(fills.size(), 1u);
  EXPECT_EQ(fills[0]->brush.argb, 0xEBFFFFFFu);  // white on a light palette, alpha capped at 235
  const uint64_t revision = media.MediaRevision();
  media.BumpMediaRevision();
  EXPECT_EQ(media.MediaRevision(), revision + 1);
}

}  // namespace
}  // namespace tolvane
