// The system's media services for real (GDI+, Media Foundation and MCI under Wine; GdkPixbuf and
// GStreamer on Linux): pictures and GIF frames made at test time decoded, the background medium drawn
// over a gradient on a system surface (pixels probed), a video that either plays or fails with its
// text and always stops, and the sound commands, which must answer without hanging on a machine
// without a sound device.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>

#include "appearance/media.h"
#include "appearance/sounds.h"
#include "fakes/fake_clock.h"
#include "appearance/system/system_graphics.h"
#include "appearance/system/temp_folder.h"
#include "appearance/made_files.h"
#include "platform/canvas.h"
#include "platform/files.h"
#include "platform/image_decoding.h"
#include "platform/sound.h"
#include "platform/video.h"

namespace tolvane {
namespace {

using Clock_ = std::chrono::steady_clock;

int Red(uint32_t p) { return static_cast<int>((p >> 16) & 0xFF); }
int Green(uint32_t p) { return static_cast<int>((p >> 8) & 0xFF); }
int Blue(uint32_t p) { return static_cast<int>(p & 0xFF); }

::testing::AssertionResult Near(uint32_t got, uint32_t want, int tolerance = 12) {
  if (std::abs(Red(got) - Red(want)) <= tolerance && std::abs(Green(got) - Green(want)) <= tolerance &&
      std::abs(Blue(got) - Blue(want)) <= tolerance) {
    return ::testing::AssertionSuccess();
  }
  char text[64];
  std::snprintf(text, sizeof text, "pixel %08X, expected about %08X", got, want);
  return ::testing::AssertionFailure() << text;
}

class SystemMediaTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(StartSystemGraphics()); }
  void TearDown() override {
    media_.reset();
    StopSystemGraphics();
  }
  BackgroundMedia& Media(Clock& clock) {
    media_ = std::make_unique<BackgroundMedia>(
        settings, visible,
        MediaServices{clock, SystemFileSystem(), SystemPictureDecoder(), SystemVideoDecoding(), SystemGraphics()});
    return *media_;
  }
  // A 200 × 100 surface with a blue-to-green gradient, then the medium drawn over it.
  std::vector<uint32_t> DrawOverGradient(BackgroundMedia& media, bool& drawn) {
    std::unique_ptr<Surface> surface = SystemGraphics().CreateSurface(200, 100);
    EXPECT_NE(surface, nullptr);
    if (!surface) return {};
    Canvas& canvas = surface->NewCanvas();
    canvas.FillRectangle(Brush::Linear({0, 0}, {200, 0}, {0xFF0000FF, 0xFF00FF00}, {0, 1}), RectF{0, 0, 200, 100});
    drawn = media.DrawBackgroundMedia(canvas, 200, 100, true);
    return surface->ReadPixels();
  }
  static uint32_t At(const std::vector<uint32_t>& px, int x, int y) { return px[static_cast<size_t>(y) * 200 + x]; }

  Settings settings = MakeDefaultSettings();
  std::atomic<bool> visible{true};
  TempFolder temp;
  std::unique_ptr<BackgroundMedia> media_;
};

TEST_F(SystemMediaTest, PicturesAndGifFramesDecode) {
  auto& decoder = SystemPictureDecoder();
  auto png = decoder.DecodePicture(made::Png(6, 4, 0x20, 0x80, 0xC0));
  ASSERT_NE(png, nullptr);
  EXPECT_EQ(png->Width(), 6);
  EXPECT_EQ(png->Height(), 4);
  EXPECT_EQ(png->TimeFrameCount(), 1u);
  std::vector<uint32_t> pixels;
  ASSERT_TRUE(png->Pixels(pixels));
  ASSERT_EQ(pixels.size(), 24u);
  EXPECT_TRUE(Near(pixels.back(), 0xFF2080C0));

  auto gif = decoder.DecodePicture(made::AnimatedGif(8, 6, {{0xFF0000, 10}, {0x0000FF, 30}}));
  ASSERT_NE(gif, nullptr);
  EXPECT_EQ(gif->TimeFrameCount(), 2u);
  const std::vector<uint32_t> delays = gif->FrameDelays();
  ASSERT_EQ(delays.size(), 2u);
  EXPECT_EQ(delays[0], 10u);
  EXPECT_EQ(delays[1], 30u);
  ASSERT_TRUE(gif->Pixels(pixels));
  EXPECT_TRUE(Near(pixels[20], 0xFFFF0000));
  ASSERT_TRUE(gif->SelectFrame(1));
  ASSERT_TRUE(gif->Pixels(pixels));
  EXPECT_TRUE(Near(pixels[20], 0xFF0000FF));

  EXPECT_EQ(decoder.DecodePicture("not a picture at all"), nullptr);
  EXPECT_EQ(decoder.DecodePicture(""), nullptr);
  const std::wstring file = temp.Write(L"file.png", made::Png(3, 5, 1, 2, 3));
  auto fromFile = decoder.DecodePictureFile(file);
  ASSERT_NE(fromFile, nullptr);
  EXPECT_EQ(fromFile->Height(), 5);
  EXPECT_EQ(decoder.DecodePictureFile(temp.Name(L"missing.png")), nullptr);
}

TEST_F(SystemMediaTest, APngAndATwoFrameGifLoadAndCoverTheGradient) {
  FakeClock clock;
  BackgroundMedia& media = Media(clock);
  settings.bgDim = 0;
  settings.bgPath = temp.Write(L"still.PNG", made::Png(40, 40, 0xE0, 0x40, 0x20));
  media.LoadBackgroundMedia();
  EXPECT_EQ(media.kind(), MediaKind::Picture);
  EXPECT_EQ(media.MediaStatusLine(), L"Picture loaded");
  bool drawn = false;
  std::vector<uint32_t> px = DrawOverGradient(media, drawn);
  ASSERT_TRUE(drawn);
  ASSERT_EQ(px.size(), 20000u);
  for (int x : {3, 100, 196}) EXPECT_TRUE(Near(At(px, x, 50), 0xFFE04020)) << x;  // covers edge to edge

  // bgDim darkens the picture with black at 40 % (alpha 102).
  settings.bgDim = 40;
  px = DrawOverGradient(media, drawn);
  EXPECT_TRUE(Near(At(px, 100, 50), 0xFF862613));

  settings.bgDim = 0;
  settings.bgPath = temp.Write(L"moving.gif", made::AnimatedGif(20, 10, {{0xFF0000, 10}, {0x0000FF, 10}}));
  media.LoadBackgroundMedia();
  EXPECT_EQ(media.kind(), MediaKind::AnimatedGif);
  EXPECT_EQ(media.MediaStatusLine(), L"Animated GIF loaded");
  EXPECT_EQ(media.delaysMs(), (std::vector<uint32_t>{100, 100}));
  px = DrawOverGradient(media, drawn);
  EXPECT_TRUE(Near(At(px, 100, 50), 0xFFFF0000));
  clock.Advance(100);
  ASSERT_TRUE(media.AdvanceAnimation());
  px = DrawOverGradient(media, drawn);
  EXPECT_TRUE(Near(At(px, 100, 50), 0xFF0000FF));

  // A file that is no picture leaves the gradient.
  settings.bgPath = temp.Write(L"notes.png", "just some text");
  media.LoadBackgroundMedia();
  EXPECT_EQ(media.MediaStatusLine(), L"This file is not a supported picture");
  px = DrawOverGradient(media, drawn);
  EXPECT_FALSE(drawn);
  EXPECT_TRUE(Near(At(px, 2, 50), 0xFF0000FF, 24));
}

TEST_F(SystemMediaTest, TheLoadingScreenPictureComesFromItsFile) {
  FakeClock clock;
  BackgroundMedia& media = Media(clock);
  settings.splashImage = temp.Write(L"logo.png", made::Png(400, 100, 9, 9, 9));
  ASSERT_TRUE(media.LoadSplashImage(200));  // scaled once into its 200-pixel box
  EXPECT_EQ(media.SplashImage()->Width(), 200);
  EXPECT_EQ(media.SplashImage()->Height(), 50);
  // Only the pixels are kept, so the file is not held open.
  EXPECT_TRUE(SystemFileSystem().Remove(settings.splashImage));
  settings.splashImage = temp.Name(L"gone.png");
  EXPECT_FALSE(media.LoadSplashImage(200));
  EXPECT_EQ(media.SplashImage(), nullptr);
}

// A video frame is drawn straight from the decoder's buffer: blue, green, red and a fourth byte
// that is ignored (0 here), so the frame is opaque.
TEST_F(SystemMediaTest, AVideoFrameIsDrawnFromItsBufferOpaque) {
  const std::vector<uint8_t> frame = {0x50, 0xA0, 0x30, 0x00, 0x50, 0xA0, 0x30, 0x00};
  std::unique_ptr<CanvasImage> image = SystemGraphics().WrapRgb32(2, 1, frame.data());
  std::unique_ptr<Surface> surface = SystemGraphics().CreateSurface(20, 10);
  ASSERT_TRUE(image && surface);
  surface->NewCanvas().DrawImage(*image, RectF{0, 0, 20, 10});
  const uint32_t middle = surface->ReadPixels()[5 * 20 + 10];
  EXPECT_TRUE(Near(middle, 0xFF30A050));
  EXPECT_EQ(middle >> 24, 0xFFu);
}

// A video either plays (then its first frame holds the colour written) or fails with one of its
// texts; either way nothing hangs and StopVideo returns at once.
TEST_F(SystemMediaTest, AVideoPlaysOrFailsWithItsTextAndNeverHangs) {
  const std::wstring avi = temp.Write(L"solid.AVI", made::UncompressedAvi(32, 16, 10, 0x30A050));
  const std::wstring junk = temp.Write(L"junk.mp4", std::string(4096, 'x'));
  for (const std::wstring& path : {avi, junk}) {
    SCOPED_TRACE(path.size());
    BackgroundMedia& media = Media(SystemClock());
    settings.bgPath = path;
    media.LoadBackgroundMedia();
    EXPECT_EQ(media.kind(), MediaKind::Video);
    const auto until = Clock_::now() + std::chrono::seconds(30);
    while (Clock_::now() < until && media.videoState() != VideoState::Failed &&
           !(media.videoState() == VideoState::Playing && media.DeliveredFrames() > 0)) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    const VideoState state = media.videoState();
    ASSERT_TRUE(state == VideoState::Failed || state == VideoState::Playing) << static_cast<int>(state);
    if (state == VideoState::Failed) {
      const std::wstring error = media.CopyVideoFrame().error;
      EXPECT_TRUE(error == kVideoUnavailable || error == kVideoUnsupported || error == kVideoDecodeFailed) << error;
      EXPECT_EQ(media.MediaStatusLine(), L"Video problem: " + error);
    } else {
      EXPECT_EQ(path, avi);
      const auto frame = media.CopyVideoFrame();
      ASSERT_EQ(frame.pixels.size(), 32u * 16u * 4u);
      EXPECT_TRUE(Near(0xFF000000u | frame.pixels[2] << 16 | frame.pixels[1] << 8 | frame.pixels[0], 0xFF30A050));
      EXPECT_EQ(media.MediaStatusLine(), L"Video playing (muted; use the sound option below for audio)");
    }
    const auto stopAsked = Clock_::now();
    media.StopVideo();
    EXPECT_LT(Clock_::now() - stopAsked, std::chrono::seconds(5));
    EXPECT_EQ(media.videoState(), VideoState::Off);
  }
}

// Without a sound device (as under Wine here) the system may refuse to open or play; every command must
// still come back, with the exact error prefix and a text from the system.
TEST(SystemSoundsTest, SoundCommandsAnswerWithTheirTextsWithoutHanging) {
  TempFolder temp;
  Settings settings = MakeDefaultSettings();
  FakeClock clock;
  Sounds sounds(settings, SystemSoundCommands(), SystemFileSystem(), clock);
  const auto started = Clock_::now();

  auto expectOkOrError = [](const std::wstring& result, const std::wstring& prefix) {
    if (result.empty()) return;
    ASSERT_EQ(result.compare(0, prefix.size(), prefix), 0) << result;
    EXPECT_GT(result.size(), prefix.size()) << result;  // the system's text follows
  };

  settings.splashSound = temp.Write(L"chime.WAV", made::SilentWav(300));
  for (int i = 0; i < 2; ++i) {  // twice: the second start closes the first
    const std::wstring result = sounds.StartLoadingSound();
    expectOkOrError(result, L"Cannot play this file: ");
    EXPECT_EQ(sounds.loadingOpen(), result.empty());
  }
  sounds.StopLoadingSound();
  EXPECT_FALSE(sounds.loadingOpen());

  settings.bgSound = settings.splashSound;
  settings.bgVol = 37;
  std::wstring result = sounds.StartBackgroundSound();
  expectOkOrError(result, L"Cannot play this sound: ");
  for (int i = 0; i < 3; ++i) {
    clock.Advance(700);
    sounds.KeepBackgroundLooping();
  }
  sounds.ApplyBackgroundVolume();
  sounds.StopBackgroundSound();
  EXPECT_FALSE(sounds.backgroundOpen());

  // The general media device for anything else (it fails under Wine here; noise is no sound).
  settings.bgSound = temp.Write(L"noise.mp3", std::string(2048, '\x55'));
  result = sounds.StartBackgroundSound();
  expectOkOrError(result, L"Cannot play this sound: ");
  sounds.StopBackgroundSound();

  settings.bgSound = temp.Name(L"missing.mp3");
  EXPECT_EQ(sounds.StartBackgroundSound(), L"Background sound file not found");

  std::wstring reply = L"untouched";
  EXPECT_NE(SystemSoundCommands().Send(L"status tlnosuchalias mode", &reply, 64), 0u);
  EXPECT_TRUE(reply.empty());
  EXPECT_FALSE(SystemSoundCommands().ErrorText(277).empty());
  EXPECT_LT(Clock_::now() - started, std::chrono::seconds(30));
}

}  // namespace
}  // namespace tolvane
