// The background medium with fake files, pictures, video and clock: which file becomes which
// medium or error, the GIF frame clock, cover scaling and the veil, the status line, and the video
// thread's pacing, pausing, looping and frame copying. The video thread's body runs on the test
// thread where a test needs to follow it step by step; its clock only moves when it sleeps or a
// read takes time.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <future>
#include <thread>

#include "appearance/media.h"
#include "fakes/fake_file_system.h"
#include "fakes/fake_picture_decoder.h"
#include "fakes/fake_video.h"
#include "fakes/recording_canvas.h"

namespace tolvane {
namespace {

// A fake clock whose sleeps can call back into the test (to resume a paused video).
class HookedClock final : public Clock {
 public:
  uint64_t TickMs() override { return tick.load(); }
  int64_t SystemNs() override { return static_cast<int64_t>(tick.load()) * 1000000; }
  int64_t MonotonicNs() override { return static_cast<int64_t>(tick.load()) * 1000000; }
  void SleepMs(uint32_t ms) override {
    if (realSleep) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    tick += ms;
    sleeps.push_back(ms);
    if (onSleep) onSleep(sleeps.size());
  }
  std::atomic<uint64_t> tick{1'000'000};
  std::atomic<bool> realSleep{false};  // each sleep also takes a real millisecond
  std::vector<uint32_t> sleeps;
  std::function<void(size_t)> onSleep;
};

constexpr uint64_t kStart = 1'000'000;

class MediaTest : public ::testing::Test {
 protected:
  MediaTest() {
    files.files[L"C:\\pics\\sea.png"] = "sea";
    pictures.byBytes["sea"] = FakePictureSpec{400, 100, 1, {}};
  }
  ~MediaTest() override { media.StopVideo(); }

  void Load(const std::wstring& path) {
    settings.bgPath = path;
    media.LoadBackgroundMedia();
  }
  void AddGif(const std::wstring& path, uint32_t frames, std::vector<uint32_t> delays) {
    const std::string bytes = "gif" + std::to_string(files.files.size());
    files.files[path] = bytes;
    pictures.byBytes[bytes] = FakePictureSpec{20, 10, frames, std::move(delays)};
  }
  // Waits (with a generous bound) until the video thread reached a state.
  bool WaitForVideoState(VideoState state) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (media.videoState() != state) {
      if (std::chrono::steady_clock::now() > until) return false;
      std::this_thread::yield();
    }
    return true;
  }

  Settings settings = MakeDefaultSettings();
  std::atomic<bool> visible{true};
  HookedClock clock;
  FakeFileSystem files;
  FakePictureDecoder pictures;
  FakeVideoDecoding video{&clock};
  RecordingGraphics graphics;
  RecordingCanvas canvas;
  BackgroundMedia media{settings, visible, MediaServices{clock, files, pictures, video, graphics}};
};

TEST(MediaPathTest, ExtensionsAndVideoDetection) {
  struct Case {
    const wchar_t* path;
    const wchar_t* extension;
    bool video;
  };
  const Case cases[] = {
      {L"C:\\v\\clip.MP4", L".mp4", true}, {L"C:\\v\\clip.mp4", L".mp4", true},
      {L"a.WebM", L".webm", true},         {L"a.mpeg", L".mpeg", true},
      {L"a.MPG", L".mpg", true},           {L"a.asf", L".asf", true},
      {L"a.mkv", L".mkv", true},           {L"a.m4v", L".m4v", true},
      {L"a.mov", L".mov", true},           {L"a.wmv", L".wmv", true},
      {L"a.avi", L".avi", true},           {L"a.mp4.png", L".png", false},
      {L"C:\\pics\\noext", L"", false},    {L"C:\\dir.mp4\\picture", L".mp4\\picture", false},
      {L"a.mp3", L".mp3", false},          {L"a.", L".", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(LowerExtension(c.path), c.extension) << c.path;
    EXPECT_EQ(IsVideoPath(c.path), c.video) << c.path;
  }
}

TEST(MediaPathTest, GifDelaysArePaddedCutAndClamped) {
  struct Case {
    std::vector<uint32_t> raw;
    uint32_t frames;
    std::vector<uint32_t> ms;
  };
  const Case cases[] = {
      {{0, 5, 10}, 3, {40, 50, 100}},            // 0 becomes the 40 ms floor
      {{}, 2, {100, 100}},                       // no delay property: 100 ms each
      {{7}, 3, {70, 100, 100}},                  // padded with 100 ms
      {{20, 30, 40, 50}, 2, {200, 300}},         // cut to the frame count
      {{300, 201, 200}, 3, {2000, 2000, 2000}},  // clamped at 2 s
      {{0xFFFFFFFFu}, 1, {2000}},                // the tenfold would overflow 32 bits
  };
  for (const Case& c : cases) EXPECT_EQ(GifDelaysMs(c.raw, c.frames), c.ms);
}

TEST(MediaPathTest, DimAlphaIsCappedAt235) {
  const std::pair<int32_t, uint32_t> cases[] = {{-5, 0}, {0, 0}, {1, 2}, {35, 89}, {85, 216}, {92, 234}, {100, 235}};
  for (auto [dim, alpha] : cases) EXPECT_EQ(DimAlpha(dim), alpha) << dim;
}

TEST_F(MediaTest, EachFileBecomesItsMediumOrItsError) {
  files.files[L"C:\\v\\clip.MP4"] = "";  // a video is not read here, so even 0 bytes is a video
  files.files[L"C:\\pics\\empty.png"] = "";
  files.files[L"C:\\pics\\noext"] = "sea";
  files.files[L"C:\\pics\\notes.txt"] = "plain text";
  files.files[L"C:\\pics\\huge.png"] = "sea";
  files.claimedSizes[L"C:\\pics\\huge.png"] = BackgroundMedia::kMaxPictureBytes + 1;
  files.files[L"C:\\pics\\limit.png"] = "sea";
  files.claimedSizes[L"C:\\pics\\limit.png"] = BackgroundMedia::kMaxPictureBytes;
  files.files[L"C:\\pics\\giant.png"] = "giant";
  pictures.byBytes["giant"] = FakePictureSpec{8192, 8193, 1, {}};
  AddGif(L"C:\\pics\\one.gif", 1, {10});
  AddGif(L"C:\\pics\\two.gif", 2, {10, 10});
  AddGif(L"C:\\pics\\many.gif", 4000, {});
  video.failStart = true;

  struct Case {
    const wchar_t* path;
    MediaKind kind;
    const wchar_t* status;
  };
  const Case cases[] = {
      {L"C:\\v\\clip.MP4", MediaKind::Video, L"Video"},
      {L"C:\\v\\gone.mp4", MediaKind::None, L"File not found"},
      {L"C:\\pics\\gone.png", MediaKind::None, L"File not found"},
      {L"C:\\pics\\empty.png", MediaKind::None, L"File is empty or too large"},
      {L"C:\\pics\\huge.png", MediaKind::None, L"File is empty or too large"},
      {L"C:\\pics\\limit.png", MediaKind::Picture, L"Picture"},
      {L"C:\\pics\\notes.txt", MediaKind::None, L"This file is not a supported picture"},
      {L"C:\\pics\\giant.png", MediaKind::None, L"The picture is too large (over 8192 \u00d7 8192 pixels)"},
      {L"C:\\pics\\noext", MediaKind::Picture, L"Picture"},
      {L"C:\\pics\\sea.png", MediaKind::Picture, L"Picture"},
      {L"C:\\pics\\one.gif", MediaKind::Picture, L"Picture"},
      {L"C:\\pics\\two.gif", MediaKind::AnimatedGif, L"Animated GIF"},
      {L"C:\\pics\\many.gif", MediaKind::Picture, L"Picture"},
      {L"", MediaKind::None, L""},
  };
  uint64_t revision = media.MediaRevision();
  for (const Case& c : cases) {
    const int startsBefore = video.starts;
    Load(c.path);
    media.StopVideo();  // joins a started thread, so the start count is settled
    const std::wstring path = c.path;
    EXPECT_EQ(media.kind(), c.kind) << path;
    EXPECT_EQ(media.status(), c.status) << path;
    EXPECT_EQ(media.MediaRevision(), ++revision);
    EXPECT_EQ(video.starts - startsBefore, c.kind == MediaKind::Video ? 1 : 0);
    // Nothing of an earlier picture survives a load, and a still one keeps only its image: only
    // a GIF stays open, for its frames.
    EXPECT_EQ(pictures.live, c.kind == MediaKind::AnimatedGif ? 1 : 0);
  }
}

TEST_F(MediaTest, FilesThatCannotBeOpenedOrReadAreReported) {
  files.failOpen = true;
  Load(L"C:\\pics\\sea.png");
  EXPECT_EQ(media.status(), L"Cannot open this file");
  files.failOpen = false;
  files.failRead = true;
  Load(L"C:\\pics\\sea.png");
  EXPECT_EQ(media.status(), L"Cannot read this file");
  EXPECT_EQ(media.kind(), MediaKind::None);
  EXPECT_EQ(pictures.decodeCalls, 0);
}

TEST_F(MediaTest, PixelsThatCannotBeHadMakeNoPicture) {
  files.files[L"C:\\pics\\bad.png"] = "bad";
  pictures.byBytes["bad"] = FakePictureSpec{10, 10, 1, {}, true};
  Load(L"C:\\pics\\bad.png");
  EXPECT_EQ(media.kind(), MediaKind::None);
  EXPECT_EQ(media.status(), L"This file is not a supported picture");
  EXPECT_EQ(pictures.live, 0);
}

TEST_F(MediaTest, GifFramesFollowTheirDelays) {
  AddGif(L"C:\\pics\\walk.gif", 3, {0, 25});  // 40 ms, 250 ms, 100 ms
  Load(L"C:\\pics\\walk.gif");
  ASSERT_EQ(media.kind(), MediaKind::AnimatedGif);
  EXPECT_EQ(media.delaysMs(), (std::vector<uint32_t>{40, 250, 100}));
  EXPECT_EQ(media.nextFrameDue(), kStart + 40);

  struct Step {
    uint64_t at;  // ms after the load
    bool redraw;
    uint32_t frame;
  };
  const Step steps[] = {
      {39, false, 0},  {40, true, 1},   // frame 1 due at 40, then 250 ms
      {289, false, 1}, {300, true, 2},  // late ticks count from the tick, not the due time
      {399, false, 2}, {400, true, 0},  // wraps to the first frame
  };
  uint64_t counter = media.VideoFrameCounter();
  for (const Step& s : steps) {
    clock.tick = kStart + s.at;
    EXPECT_EQ(media.AdvanceAnimation(), s.redraw) << s.at;
    EXPECT_EQ(media.currentFrame(), s.frame) << s.at;
    if (s.redraw) ++counter;
    EXPECT_EQ(media.VideoFrameCounter(), counter) << s.at;
    const auto* image = dynamic_cast<const RecordingImage*>(media.PictureImage());
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->Pixels().front(), FakePictureDecoder::FramePixel(s.frame)) << s.at;
  }
  EXPECT_EQ(pictures.selections, (std::vector<uint32_t>{1, 2, 0}));
}

TEST_F(MediaTest, MotionOffFreezesTheCurrentGifFrame) {
  AddGif(L"C:\\pics\\walk.gif", 2, {5, 5});
  Load(L"C:\\pics\\walk.gif");
  clock.tick = kStart + 50;
  ASSERT_TRUE(media.AdvanceAnimation());
  settings.bgMotion = false;
  for (uint64_t t = 100; t < 2000; t += 33) {
    clock.tick = kStart + t;
    EXPECT_FALSE(media.AdvanceAnimation());
  }
  EXPECT_EQ(media.currentFrame(), 1u);
  settings.bgMotion = true;
  EXPECT_TRUE(media.AdvanceAnimation());
  EXPECT_EQ(media.currentFrame(), 0u);
}

TEST_F(MediaTest, StillPicturesNeverAskForARedraw) {
  Load(L"C:\\pics\\sea.png");
  clock.tick = kStart + 100000;
  EXPECT_FALSE(media.AdvanceAnimation());
  EXPECT_EQ(media.VideoFrameCounter(), 0u);
}

TEST_F(MediaTest, PictureCoversTheAreaCentredAndTheVeilFollowsBgDim) {
  struct Case {
    int32_t width, height;
    float W, H;
    RectF dest;
  };
  const Case cases[] = {
      {400, 100, 800, 600, {-800, 0, 2400, 600}},   // wide picture: cropped left and right
      {100, 400, 800, 600, {0, -1300, 800, 3200}},  // tall picture: cropped top and bottom
      {1600, 1200, 800, 600, {0, 0, 800, 600}},     // same proportions: scaled down exactly
  };
  for (const Case& c : cases) {
    files.files[L"C:\\pics\\p.png"] = "p";
    pictures.byBytes["p"] = FakePictureSpec{c.width, c.height, 1, {}};
    Load(L"C:\\pics\\p.png");
    canvas.Clear();
    ASSERT_TRUE(media.DrawBackgroundMedia(canvas, c.W, c.H, true));
    const auto images = canvas.OfKind(CallKind::Image);
    ASSERT_EQ(images.size(), 1u);
    EXPECT_FLOAT_EQ(images[0]->rect.x, c.dest.x);
    EXPECT_FLOAT_EQ(images[0]->rect.y, c.dest.y);
    EXPECT_FLOAT_EQ(images[0]->rect.w, c.dest.w);
    EXPECT_FLOAT_EQ(images[0]->rect.h, c.dest.h);
  }

  struct Veil {
    int32_t dim;
    bool dark;
    bool drawn;
    uint32_t argb;
  };
  const Veil veils[] = {
      {35, true, true, 0x59000000}, {35, false, true, 0x59FFFFFF}, {100, true, true, 0xEB000000},
      {1, true, true, 0x02000000},  {0, true, false, 0},
  };
  for (const Veil& v : veils) {
    settings.bgDim = v.dim;
    canvas.Clear();
    media.DrawBackgroundMedia(canvas, 800, 600, v.dark);
    const auto fills = canvas.OfKind(CallKind::FillRect);
    ASSERT_EQ(fills.size(), v.drawn ? 1u : 0u) << v.dim;
    if (!v.drawn) continue;
    EXPECT_EQ(fills[0]->brush.argb, v.argb) << v.dim;
    EXPECT_FLOAT_EQ(fills[0]->rect.w, 800);
    EXPECT_FLOAT_EQ(fills[0]->rect.h, 600);
    // The veil lies over the picture.
    EXPECT_EQ(canvas.calls().back().kind, CallKind::FillRect);
  }
}

TEST_F(MediaTest, NoMediumDrawsNothingNotEvenTheVeil) {
  Load(L"C:\\pics\\gone.png");
  EXPECT_FALSE(media.DrawBackgroundMedia(canvas, 800, 600, true));
  EXPECT_EQ(canvas.DrawCount(), 0u);
}

TEST_F(MediaTest, StatusLineTellsWhatIsShown) {
  EXPECT_EQ(media.MediaStatusLine(), L"");
  settings.bgPath = L"C:\\pics\\sea.png";
  EXPECT_EQ(media.MediaStatusLine(), L"Not loaded");
  media.LoadBackgroundMedia();
  EXPECT_EQ(media.MediaStatusLine(), L"Picture loaded");
  AddGif(L"C:\\pics\\walk.gif", 2, {});
  Load(L"C:\\pics\\walk.gif");
  EXPECT_EQ(media.MediaStatusLine(), L"Animated GIF loaded");
  Load(L"C:\\pics\\gone.gif");
  EXPECT_EQ(media.MediaStatusLine(), L"File not found");
}

TEST_F(MediaTest, StatusLineFollowsTheVideoThread) {
  files.files[L"C:\\v\\clip.mp4"] = "";
  std::promise<void> checked;
  std::shared_future<void> mayStart = checked.get_future().share();
  video.onStart = [mayStart] { mayStart.wait(); };
  video.steps = {SampleAt(0, 1)};
  Load(L"C:\\v\\clip.mp4");
  EXPECT_EQ(media.videoState(), VideoState::Starting);
  EXPECT_EQ(media.MediaStatusLine(), L"Video: starting...");
  checked.set_value();
  ASSERT_TRUE(WaitForVideoState(VideoState::Failed));  // the script ends with a failed read
  EXPECT_EQ(media.MediaStatusLine(), L"Video problem: The video could not be decoded");
  EXPECT_EQ(media.DeliveredFrames(), 1u);

  // The failure takes the frame off the screen: the layer must be made again, once.
  const uint64_t revision = media.MediaRevision();
  EXPECT_TRUE(media.AdvanceAnimation());
  EXPECT_EQ(media.MediaRevision(), revision + 1);
  EXPECT_FALSE(media.AdvanceAnimation());
  EXPECT_EQ(media.MediaRevision(), revision + 1);

  // A failed video keeps no frame on screen; only the veil is drawn.
  EXPECT_TRUE(media.DrawBackgroundMedia(canvas, 640, 480, true));
  EXPECT_EQ(canvas.Count(CallKind::Image), 0u);
  EXPECT_EQ(canvas.Count(CallKind::FillRect), 1u);

  media.StopVideo();
  EXPECT_EQ(media.videoState(), VideoState::Off);
  EXPECT_EQ(media.DeliveredFrames(), 0u);
  EXPECT_TRUE(media.CopyVideoFrame().error.empty());
}

TEST_F(MediaTest, APlayingVideoFrameIsTakenOnceAndDrawnOpaqueCoveringTheArea) {
  files.files[L"C:\\v\\clip.mp4"] = "";
  video.format = VideoFormat{2, 1, 8};
  video.steps = {SampleAt(0, 0x10)};
  std::promise<void> drawn;
  std::shared_future<void> mayGoOn = drawn.get_future().share();
  video.onRead = [mayGoOn](size_t i) {
    if (i == 1) mayGoOn.wait();  // hold the thread, still Playing, after its first frame
  };
  Load(L"C:\\v\\clip.mp4");
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!media.NewVideoFrame() && std::chrono::steady_clock::now() < until) std::this_thread::yield();
  ASSERT_EQ(media.videoState(), VideoState::Playing);

  const uint64_t revision = media.MediaRevision();
  EXPECT_TRUE(media.AdvanceAnimation());
  EXPECT_FALSE(media.AdvanceAnimation());  // the flag was exchanged
  EXPECT_EQ(media.VideoFrameCounter(), 1u);
  // The first frame changes the medium itself: with motion off the layer's key follows no frames.
  EXPECT_EQ(media.MediaRevision(), revision + 1);
  settings.bgDim = 0;
  ASSERT_TRUE(media.DrawBackgroundMedia(canvas, 100, 100, true));
  const auto images = canvas.OfKind(CallKind::Image);
  ASSERT_EQ(images.size(), 1u);
  EXPECT_FLOAT_EQ(images[0]->rect.x, -50);
  EXPECT_FLOAT_EQ(images[0]->rect.w, 200);
  EXPECT_FLOAT_EQ(images[0]->rect.h, 100);
  const auto* image = dynamic_cast<const RecordingImage*>(images[0]->image);
  ASSERT_NE(image, nullptr);
  // Bytes 10 10 10 10 are blue, green, red and an ignored fourth byte.
  EXPECT_EQ(image->Pixels(), (std::vector<uint32_t>{0xFF101010, 0xFF101010}));
  drawn.set_value();
  ASSERT_TRUE(WaitForVideoState(VideoState::Failed));
}

// ---------------------------------------------------------------------------------------------
// The video thread, run on the test thread.

struct Observation {
  uint64_t atMs;       // since the start
  uint64_t delivered;  // frames handed over before this read
  uint8_t firstByte;   // of the shared frame
};

class VideoThreadTest : public MediaTest {
 protected:
  // Runs the thread body until its script ends, noting before each read what had been delivered.
  std::vector<Observation> Run() {
    std::vector<Observation> seen;
    video.onRead = [&](size_t) {
      const auto frame = media.CopyVideoFrame();
      seen.push_back(
          {clock.tick - kStart, media.DeliveredFrames(), frame.pixels.empty() ? uint8_t{0} : frame.pixels[0]});
    };
    media.VideoDecodeThread(L"C:\\v\\clip.mp4");
    const auto frame = media.CopyVideoFrame();
    seen.push_back({clock.tick - kStart, media.DeliveredFrames(), frame.pixels.empty() ? uint8_t{0} : frame.pixels[0]});
    return seen;
  }
  // The times (ms since the start) at which each delivery had happened, read from the observations.
  static std::vector<uint64_t> DeliveryTimes(const std::vector<Observation>& seen) {
    std::vector<uint64_t> times;
    for (size_t i = 1; i < seen.size(); ++i) {
      if (seen[i].delivered > seen[i - 1].delivered) times.push_back(seen[i].atMs);
    }
    return times;
  }
};

TEST_F(VideoThreadTest, FramesAreShownWhenTheirTimestampIsDue) {
  video.steps = {SampleAt(0, 1), SampleAt(40, 2), SampleAt(80, 3), SampleAt(120, 4)};
  const auto seen = Run();
  EXPECT_EQ(DeliveryTimes(seen), (std::vector<uint64_t>{0, 40, 80, 120}));
  EXPECT_EQ(seen.back().firstByte, 4);
  EXPECT_EQ(media.videoState(), VideoState::Failed);  // the script ends with a failed read
  EXPECT_EQ(media.CopyVideoFrame().error, L"The video could not be decoded");
}

TEST_F(VideoThreadTest, NoTwoFramesWithin30Ms) {
  for (int ms = 0; ms <= 70; ms += 10) video.steps.push_back(SampleAt(ms, static_cast<uint8_t>(ms)));
  const auto seen = Run();
  EXPECT_EQ(DeliveryTimes(seen), (std::vector<uint64_t>{0, 30, 60}));
  EXPECT_EQ(seen.back().firstByte, 60);
}

TEST_F(VideoThreadTest, ALateDecoderReanchorsAfter300MsInsteadOfHurrying) {
  struct Case {
    uint64_t slowReadMs;  // the read of the 40 ms frame takes this long
    std::vector<uint64_t> deliveries;
  };
  const Case cases[] = {
      // 360 ms late: the 40 ms frame becomes the new anchor, the 80 ms frame is 40 ms after it.
      {400, {0, 400, 440, 480}},
      // 250 ms late: no new anchor; the backlog is past due and falls within 30 ms, so dropped.
      {290, {0, 290}},
  };
  for (const Case& c : cases) {
    clock.tick = kStart;
    video.reads = 0;
    video.steps = {SampleAt(0), SampleAt(40, 0, c.slowReadMs), SampleAt(80), SampleAt(120)};
    EXPECT_EQ(DeliveryTimes(Run()), c.deliveries) << c.slowReadMs;
    media.StopVideo();
  }
}

TEST_F(VideoThreadTest, APausedVideoShowsItsFirstFrameAndResumesWithoutAJump) {
  for (bool minimised : {true, false}) {
    SCOPED_TRACE(minimised ? "minimised" : "motion off");
    clock.tick = kStart;
    clock.sleeps.clear();
    video.reads = 0;
    media.StopVideo();
    if (minimised) {
      visible = false;
    } else {
      settings.bgMotion = false;
    }
    video.steps = {SampleAt(0, 1), SampleAt(40, 2), SampleAt(80, 3), SampleAt(120, 4)};
    int readsWhilePaused = -1;
    uint64_t deliveredWhilePaused = 0;
    clock.onSleep = [&](size_t n) {
      if (n == 4) {  // two pause naps of 80 ms, then the window comes back
        readsWhilePaused = video.reads;
        deliveredWhilePaused = media.DeliveredFrames();
        visible = true;
        settings.bgMotion = true;
      }
    };
    const auto seen = Run();
    clock.onSleep = nullptr;
    EXPECT_EQ(readsWhilePaused, 1);  // the first frame was decoded anyway, then nothing
    EXPECT_EQ(deliveredWhilePaused, 1u);
    ASSERT_GE(clock.sleeps.size(), 2u);
    EXPECT_EQ(clock.sleeps[0], 50u);  // an 80 ms nap, in slices
    EXPECT_EQ(clock.sleeps[1], 30u);
    // Resumed at 160 ms: the 40 ms frame at once, the next ones at their own pace. Without the
    // anchor reset they would all be overdue and be shown (or dropped) in one burst. (The first
    // frame, delivered before the pause, is noticed at the first read after it.)
    EXPECT_EQ(DeliveryTimes(seen), (std::vector<uint64_t>{160, 160, 200, 240}));
  }
}

TEST_F(VideoThreadTest, EndOfStreamLoopsFromTheStart) {
  video.steps = {SampleAt(0, 1), SampleAt(40, 2), StepOf(VideoReadStatus::EndOfStream),
                 SampleAt(0, 3), SampleAt(40, 4), StepOf(VideoReadStatus::NoSample),
                 SampleAt(80, 5)};
  const auto seen = Run();
  EXPECT_EQ(video.seeks, 1);
  // After the seek the 0 ms frame is the new anchor, but it comes within 30 ms of the last one;
  // the 40 ms frame then waits its 40 ms.
  EXPECT_EQ(DeliveryTimes(seen), (std::vector<uint64_t>{0, 40, 80, 120}));
  EXPECT_EQ(seen.back().firstByte, 5);
}

TEST_F(VideoThreadTest, FailuresEndTheThreadWithTheirText) {
  struct Case {
    const char* what;
    std::function<void(FakeVideoDecoding&)> setup;
    const wchar_t* error;
    int delivered;
  };
  const Case cases[] = {
      {"no video support", [](FakeVideoDecoding& v) { v.failStart = true; }, kVideoUnavailable, 0},
      {"no reader", [](FakeVideoDecoding& v) { v.failOpen = true; }, kVideoUnsupported, 0},
      {"zero width",
       [](FakeVideoDecoding& v) {
         v.format = {0, 10, 0};
       },
       kVideoUnsupported, 0},
      {"zero height",
       [](FakeVideoDecoding& v) {
         v.format = {10, 0, 0};
       },
       kVideoUnsupported, 0},
      {"too wide",
       [](FakeVideoDecoding& v) {
         v.format = {8193, 2, 0};
       },
       kVideoUnsupported, 0},
      {"too tall",
       [](FakeVideoDecoding& v) {
         v.format = {2, 8193, 0};
       },
       kVideoUnsupported, 0},
      {"stride shorter than a row",
       [](FakeVideoDecoding& v) {
         v.format = {4, 2, 12};
       },
       kVideoUnsupported, 0},
      {"stream error",
       [](FakeVideoDecoding& v) {
         v.steps = {SampleAt(0, 1), StepOf(VideoReadStatus::StreamError), SampleAt(40)};
       },
       kVideoDecodeFailed, 1},
      {"failed read",
       [](FakeVideoDecoding& v) {
         v.steps = {StepOf(VideoReadStatus::Failed), SampleAt(0)};
       },
       kVideoDecodeFailed, 0},
      {"no frames at all: the end straight after the start",
       [](FakeVideoDecoding& v) { v.steps.assign(5, StepOf(VideoReadStatus::EndOfStream)); }, kVideoDecodeFailed, 0},
      {"the seek fails",
       [](FakeVideoDecoding& v) {
         v.failSeek = true;
         v.steps = {SampleAt(0), StepOf(VideoReadStatus::EndOfStream), SampleAt(0)};
       },
       kVideoDecodeFailed, 1},
      {"no memory for a frame",
       [](FakeVideoDecoding& v) {
         v.steps = {SampleAt(0)};
         v.steps[0].noMemory = true;
       },
       kVideoDecodeFailed, 0},
      {"a new type without a size",
       [](FakeVideoDecoding& v) {
         v.steps = {SampleAt(0), StepOf(VideoReadStatus::FormatChanged)};
       },
       kVideoDecodeFailed, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    media.StopVideo();
    video.failStart = video.failOpen = video.failSeek = false;
    video.format = VideoFormat{4, 3, 16};
    video.steps.clear();
    c.setup(video);
    media.VideoDecodeThread(L"C:\\v\\clip.mp4");
    EXPECT_EQ(media.videoState(), VideoState::Failed);
    EXPECT_EQ(media.CopyVideoFrame().error, c.error);
    EXPECT_EQ(media.DeliveredFrames(), static_cast<uint64_t>(c.delivered));
    EXPECT_LE(video.reads, 3);  // nothing spins
    video.reads = 0;
  }
  EXPECT_EQ(video.readersAliveAtSessionEnd, 0);      // every reader went before its session
  EXPECT_EQ(video.sessionsEnded, video.starts - 1);  // the failed start made no session
  EXPECT_EQ(video.openedPath, L"C:\\v\\clip.mp4");
}

TEST_F(VideoThreadTest, RowsAreCopiedInDisplayOrder) {
  struct Case {
    const char* what;
    VideoFormat format;
    std::vector<uint8_t> rowBytes;  // the first byte of each delivered row, top to bottom
  };
  const Case cases[] = {
      {"top-down", {2, 3, 8}, {0x40, 0x41, 0x42}},
      {"bottom-up: a negative stride", {2, 3, -8}, {0x42, 0x41, 0x40}},
      {"padded rows", {2, 3, 12}, {0x40, 0x41, 0x42}},
      {"no stride given", {2, 3, 0}, {0x40, 0x41, 0x42}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    media.StopVideo();
    video.format = c.format;
    video.steps = {SampleAt(0, 0x40)};
    media.VideoDecodeThread(L"C:\\v\\clip.mp4");
    const auto frame = media.CopyVideoFrame();
    EXPECT_EQ(frame.width, 2);
    EXPECT_EQ(frame.height, 3);
    ASSERT_EQ(frame.pixels.size(), 24u);
    for (size_t row = 0; row < 3; ++row) {
      for (size_t i = 0; i < 8; ++i) EXPECT_EQ(frame.pixels[row * 8 + i], c.rowBytes[row]) << row;
    }
  }
}

TEST_F(VideoThreadTest, ReadsThatGiveNothingToShowAreFollowedByANap) {
  FakeVideoStep shortOne = SampleAt(0);
  shortOne.shortBuffer = true;
  for (const FakeVideoStep& empty : {StepOf(VideoReadStatus::NoSample), shortOne}) {
    clock.sleeps.clear();
    video.steps.assign(20, empty);
    Run();
    EXPECT_EQ(clock.sleeps, std::vector<uint32_t>(20, 10u));
  }
}

TEST_F(VideoThreadTest, ABufferTooShortOrMissingIsSkipped) {
  FakeVideoStep shortOne = SampleAt(0, 7);
  shortOne.shortBuffer = true;
  FakeVideoStep none = SampleAt(0, 8);
  none.noBuffer = true;
  video.steps = {shortOne, none, SampleAt(0, 9)};
  const auto seen = Run();
  EXPECT_EQ(media.DeliveredFrames(), 1u);
  EXPECT_EQ(seen.back().firstByte, 9);
}

TEST_F(MediaTest, StopVideoEndsAThreadWaitingForAFarTimestamp) {
  files.files[L"C:\\v\\clip.mp4"] = "";
  video.steps = {SampleAt(0), SampleAt(10LL * 3600 * 1000)};  // the second frame is 10 hours away
  clock.realSleep = true;                                     // 10 hours in 50 ms naps would now take 12 minutes
  Load(L"C:\\v\\clip.mp4");
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (video.reads < 2 && std::chrono::steady_clock::now() < until) std::this_thread::yield();
  EXPECT_EQ(media.DeliveredFrames(), 1u);  // the thread waits for the far frame
  const auto stopAsked = std::chrono::steady_clock::now();
  media.StopVideo();
  EXPECT_LT(std::chrono::steady_clock::now() - stopAsked, std::chrono::seconds(5));
  EXPECT_LE(*std::max_element(clock.sleeps.begin(), clock.sleeps.end()), 50u);
  EXPECT_FALSE(media.VideoThreadRunning());
  EXPECT_EQ(media.videoState(), VideoState::Off);
  EXPECT_FALSE(media.NewVideoFrame());
}

TEST_F(MediaTest, SplashPictureIsDecodedFromItsFileAndScaledOnceToItsBox) {
  pictures.byPath[L"C:\\pics\\logo.png"] = FakePictureSpec{400, 100, 1, {}};
  pictures.byPath[L"C:\\pics\\huge.png"] = FakePictureSpec{8193, 8192, 1, {}};
  struct Case {
    const wchar_t* path;
    int32_t width, height;  // 0: no picture
  };
  const Case cases[] = {
      {L"C:\\pics\\logo.png", 300, 75},  // fitted into a 300-pixel box (200 at a scale of 1.5)
      {L"C:\\pics\\broken.png", 0, 0},
      {L"C:\\pics\\huge.png", 0, 0},
      {L"", 0, 0},
  };
  for (const Case& c : cases) {
    settings.splashImage = c.path;
    EXPECT_EQ(media.LoadSplashImage(300), c.width > 0);
    ASSERT_EQ(media.SplashImage() != nullptr, c.width > 0);
    if (c.width > 0) {
      EXPECT_EQ(media.SplashImage()->Width(), c.width);
      EXPECT_EQ(media.SplashImage()->Height(), c.height);
    }
    EXPECT_EQ(pictures.live, 0);  // only the pixels are kept
  }
}

}  // namespace
}  // namespace tolvane
