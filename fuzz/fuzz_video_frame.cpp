// Fuzz target for the video thread's frame copy: a fake reader plays reads taken from the input
// (formats of any size and stride, new formats under way, buffers shorter or longer than the
// frame, any 64-bit timestamps, gaps, ends and errors). Its buffers are exactly as long as it
// says, so the sanitizers see any read beyond them; every frame handed over must be the rows of
// its sample in display order.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>

#include "appearance/media.h"
#include "fakes/fake_file_system.h"
#include "fakes/fake_picture_decoder.h"
#include "fakes/fake_video.h"

namespace {
using namespace tolvane;

// Every sleep leaps far ahead, so no timestamp, however far away, keeps the thread waiting long.
class LeapingClock final : public Clock {
 public:
  uint64_t TickMs() override { return tick; }
  int64_t SystemNs() override { return 0; }
  int64_t MonotonicNs() override { return 0; }
  void SleepMs(uint32_t ms) override { tick += uint64_t{ms} << 40; }
  uint64_t tick = 1000;
};

VideoFormat Format(FuzzedDataProvider& in) {
  VideoFormat f;
  f.width = in.ConsumeBool() ? in.ConsumeIntegralInRange(0, 40) : in.ConsumeIntegralInRange(8191, 8193);
  f.height = in.ConsumeIntegralInRange(0, 40);
  const int32_t stride = f.width * 4 + in.ConsumeIntegralInRange(-3, 3);
  f.stride = in.ConsumeBool() ? 0 : in.ConsumeBool() ? -stride : stride;
  return f;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  LeapingClock clock;
  FakeFileSystem files;
  FakePictureDecoder pictures;
  FakeVideoDecoding video(&clock);
  Settings settings = MakeDefaultSettings();
  std::atomic<bool> visible{true};
  BackgroundMedia media(settings, visible, MediaServices{clock, files, pictures, video, SystemGraphics()});

  std::vector<VideoFormat> formats;  // the reader's format at each read
  VideoFormat format = video.format = Format(in);
  while (in.remaining_bytes() > 0 && video.steps.size() < 200) {
    FakeVideoStep step;
    step.status = static_cast<VideoReadStatus>(in.ConsumeIntegralInRange(0, 5));
    step.timestamp = in.ConsumeIntegral<int64_t>();
    step.fill = in.ConsumeIntegral<uint8_t>();
    step.lengthDelta = in.ConsumeIntegralInRange(-4, 4);
    if (step.status == VideoReadStatus::FormatChanged) format = step.format = Format(in);
    video.steps.push_back(step);
    formats.push_back(format);
  }
  uint64_t delivered = 0;
  video.onRead = [&](size_t read) {  // was the sample of the read before handed over?
    if (media.DeliveredFrames() == delivered) return;
    if (++delivered != media.DeliveredFrames() || read == 0) std::abort();
    const FakeVideoStep& step = video.steps[read - 1];
    const VideoFormat& f = formats[read - 1];
    std::vector<uint8_t> rows;
    for (int32_t y = 0; y < f.height; ++y) {
      const auto m = static_cast<uint8_t>(step.fill + (f.stride < 0 ? f.height - 1 - y : y));
      rows.insert(rows.end(), static_cast<size_t>(f.width) * 4, m);
    }
    const auto frame = media.CopyVideoFrame();
    if (step.lengthDelta < 0 || frame.width != f.width || frame.height != f.height || frame.pixels != rows)
      std::abort();
  };
  media.VideoDecodeThread(L"C:\\v\\clip.mp4");  // the script always ends in a failure
  if (media.DeliveredFrames() != delivered || media.CopyVideoFrame().error.empty()) std::abort();
  return 0;
}
