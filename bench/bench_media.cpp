// Background video: the cost of one frame from the reader to the screen image, for a 640 × 360
// and a 1920 × 1080 video. Each iteration is one sample: the decoding thread's copy out of the
// reader's buffer and its hand-over, then the window's take of that frame and the image made for
// it (with a factory that, like GDI+, copies pixels into an image of its own and wraps 32-bit RGB
// in place). Times are processor time of the one thread that runs both sides; the counter main_us
// is the window's share per frame, the decoding thread's share is the rest. The reader's buffer is made once, so
// decoding itself costs nothing here.
#include <benchmark/benchmark.h>

#include <time.h>

#include "appearance/media.h"
#include "fakes/fake_clock.h"
#include "fakes/fake_file_system.h"
#include "fakes/fake_picture_decoder.h"
#include "fakes/recording_canvas.h"

namespace tolvane {
namespace {

class BorrowedPixelsImage final : public CanvasImage {
 public:
  BorrowedPixelsImage(int32_t w, int32_t h, const uint8_t* pixels) : w_(w), h_(h), pixels_(pixels) {}
  int32_t Width() const override { return w_; }
  int32_t Height() const override { return h_; }

 private:
  int32_t w_, h_;
  const uint8_t* pixels_;
};

class OwnPixelsImage final : public CanvasImage {
 public:
  OwnPixelsImage(int32_t w, int32_t h, const uint32_t* pixels)
      : w_(w), h_(h), pixels_(pixels, pixels + size_t(w) * h) {}
  int32_t Width() const override { return w_; }
  int32_t Height() const override { return h_; }

 private:
  int32_t w_, h_;
  std::vector<uint32_t> pixels_;
};

class BenchGraphics final : public GraphicsFactory {
 public:
  std::unique_ptr<Surface> CreateSurface(int32_t, int32_t) override { return nullptr; }
  std::unique_ptr<CanvasFont> CreateFont(const std::vector<std::wstring>&, float, bool, bool) override {
    return nullptr;
  }
  std::unique_ptr<CanvasImage> CreateImage(int32_t w, int32_t h, const std::vector<uint32_t>& argb) override {
    return std::make_unique<OwnPixelsImage>(w, h, argb.data());
  }
  std::unique_ptr<CanvasImage> WrapRgb32(int32_t w, int32_t h, const uint8_t* pixels) override {
    return std::make_unique<BorrowedPixelsImage>(w, h, pixels);
  }
};

class BenchSample final : public VideoSample {
 public:
  BenchSample(const std::vector<uint8_t>& bytes, int64_t timestamp) : bytes_(bytes), timestamp_(timestamp) {}
  int64_t Timestamp() const override { return timestamp_; }
  bool WithContiguousBuffer(const std::function<void(const uint8_t*, size_t)>& use) override {
    use(bytes_.data(), bytes_.size());
    return true;
  }

 private:
  const std::vector<uint8_t>& bytes_;
  int64_t timestamp_;
};

// The first start fails (so a load leaves the medium a video without a thread); later ones give a
// reader whose every read first runs the window's part for the frame before.
class BenchVideo final : public VideoDecoding, public VideoSession, public VideoReader {
 public:
  BenchVideo(benchmark::State& state, int32_t w, int32_t h)
      : state_(state), format_{w, h, w * 4}, bytes_(size_t(w) * h * 4, 0x5A) {}
  std::unique_ptr<VideoSession> StartThread() override {
    if (starts_++ == 0) return nullptr;
    return std::unique_ptr<VideoSession>(new Borrowed(*this));
  }
  std::unique_ptr<VideoReader> OpenReader(const std::wstring&) override {
    return std::unique_ptr<VideoReader>(new BorrowedReader(*this));
  }
  VideoFormat Format() const override { return format_; }
  VideoReadStatus ReadSample(std::unique_ptr<VideoSample>& sample) override {
    if (window) window();
    if (!state_.KeepRunning()) return VideoReadStatus::Failed;
    timestamp_ += 400000;  // 40 ms
    sample = std::make_unique<BenchSample>(bytes_, timestamp_);
    return VideoReadStatus::Sample;
  }
  bool SeekToStart() override { return true; }

  std::function<void()> window;

 private:
  struct Borrowed final : VideoSession {
    explicit Borrowed(BenchVideo& v) : v_(v) {}
    std::unique_ptr<VideoReader> OpenReader(const std::wstring& p) override { return v_.OpenReader(p); }
    BenchVideo& v_;
  };
  struct BorrowedReader final : VideoReader {
    explicit BorrowedReader(BenchVideo& v) : v_(v) {}
    VideoFormat Format() const override { return v_.Format(); }
    VideoReadStatus ReadSample(std::unique_ptr<VideoSample>& s) override { return v_.ReadSample(s); }
    bool SeekToStart() override { return true; }
    BenchVideo& v_;
  };
  benchmark::State& state_;
  VideoFormat format_;
  std::vector<uint8_t> bytes_;
  int64_t timestamp_ = 0;
  int starts_ = 0;
};

double ThreadCpuNs() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) * 1e9 + static_cast<double>(t.tv_nsec);
}

void BM_VideoFrame(benchmark::State& state) {
  const auto w = static_cast<int32_t>(state.range(0));
  const auto h = static_cast<int32_t>(state.range(1));
  Settings settings = MakeDefaultSettings();
  settings.bgPath = L"C:\\v\\clip.mp4";
  std::atomic<bool> visible{true};
  FakeClock clock;
  FakeFileSystem files;
  files.files[settings.bgPath] = "";
  FakePictureDecoder pictures;
  BenchGraphics graphics;
  BenchVideo video(state, w, h);
  BackgroundMedia media(settings, visible, MediaServices{clock, files, pictures, video, graphics});
  media.LoadBackgroundMedia();
  media.StopVideo();  // the failed first start: a video medium and no thread

  RecordingCanvas canvas;
  double mainNs = 0;
  uint64_t frames = 0;
  video.window = [&] {
    const double start = ThreadCpuNs();
    if (media.AdvanceAnimation()) {
      media.DrawBackgroundMedia(canvas, 1240, 700, true);
      ++frames;
    }
    mainNs += ThreadCpuNs() - start;
    canvas.Clear();
  };
  media.VideoDecodeThread(settings.bgPath);
  state.counters["main_us"] = frames ? mainNs / 1000.0 / static_cast<double>(frames) : 0;
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * w * h * 4);
}
BENCHMARK(BM_VideoFrame)->Args({640, 360})->Args({1920, 1080})->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace tolvane

BENCHMARK_MAIN();
