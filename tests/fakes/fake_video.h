// Video decoding for tests: a reader that plays a script of steps (a sample with its timestamp, an
// end of stream, a stream error, a failed read, a new format with its first sample), each read
// optionally taking time on a clock. A sample's buffer holds the frame rows in memory order, every
// byte of memory row m being (fill + m) & 0xFF, so a test can see the row order the reader
// delivered; it is exactly as long as it says. When the script runs out, reads fail. It checks
// that readers are released before their session. Used by one thread at a time; the counters are
// atomic so the test thread may read them afterwards.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <functional>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/video.h"

namespace tolvane {

struct FakeVideoStep {
  VideoReadStatus status = VideoReadStatus::Sample;
  int64_t timestamp = 0;  // 100 ns units
  uint8_t fill = 0;
  uint64_t decodeMs = 0;     // the read takes this long on the clock
  bool shortBuffer = false;  // the buffer is one byte too short for the frame
  int32_t lengthDelta = 0;   // bytes more (or fewer) than height rows of the stride
  bool noBuffer = false;     // no contiguous buffer can be had
  bool noMemory = false;     // getting the buffer throws std::bad_alloc
  VideoFormat format;        // FormatChanged: the reader's new format (a sample comes with it)
};

// A sample at ms milliseconds whose bytes start at fill.
inline FakeVideoStep SampleAt(int64_t ms, uint8_t fill = 0, uint64_t decodeMs = 0) {
  FakeVideoStep s;
  s.timestamp = ms * 10000;
  s.fill = fill;
  s.decodeMs = decodeMs;
  return s;
}
inline FakeVideoStep StepOf(VideoReadStatus status) {
  FakeVideoStep s;
  s.status = status;
  return s;
}

class FakeVideoDecoding final : public VideoDecoding {
 public:
  explicit FakeVideoDecoding(Clock* clock = nullptr) : clock_(clock) {}

  std::unique_ptr<VideoSession> StartThread() override {
    ++starts;
    if (onStart) onStart();
    if (failStart) return nullptr;
    return std::make_unique<Session>(*this);
  }

  // What the reader reports and plays.
  VideoFormat format{4, 3, 16};
  std::vector<FakeVideoStep> steps;
  bool failStart = false;
  bool failOpen = false;
  bool failSeek = false;
  // Called as a thread starts video support, before anything else.
  std::function<void()> onStart;
  // Called before each read with the read's index (0-based).
  std::function<void(size_t)> onRead;

  std::atomic<int> starts{0};
  std::atomic<int> sessionsEnded{0};
  std::atomic<int> readersOpened{0};
  std::atomic<int> readersAlive{0};
  std::atomic<int> readersAliveAtSessionEnd{0};
  std::atomic<int> reads{0};
  std::atomic<int> seeks{0};
  std::wstring openedPath;

 private:
  class Sample final : public VideoSample {
   public:
    Sample(const FakeVideoDecoding& owner, const FakeVideoStep& step) : owner_(owner), step_(step) {}
    int64_t Timestamp() const override { return step_.timestamp; }
    bool WithContiguousBuffer(const std::function<void(const uint8_t*, size_t)>& use) override {
      if (step_.noMemory) throw std::bad_alloc();
      if (step_.noBuffer) return false;
      const VideoFormat& f = owner_.format;
      const int64_t rowStep = std::llabs(f.stride == 0 ? int64_t{f.width} * 4 : int64_t{f.stride});
      const int64_t length = rowStep * std::max(f.height, 0) + step_.lengthDelta - (step_.shortBuffer ? 1 : 0);
      std::vector<uint8_t> bytes(static_cast<size_t>(std::max<int64_t>(length, 0)));
      for (size_t k = 0; k < bytes.size(); ++k)
        bytes[k] = static_cast<uint8_t>(step_.fill + k / static_cast<size_t>(std::max<int64_t>(rowStep, 1)));
      use(bytes.data(), bytes.size());
      return true;
    }

   private:
    const FakeVideoDecoding& owner_;
    FakeVideoStep step_;
  };

  class Reader final : public VideoReader {
   public:
    explicit Reader(FakeVideoDecoding& owner) : owner_(owner) { ++owner_.readersAlive; }
    ~Reader() override { --owner_.readersAlive; }
    VideoFormat Format() const override { return owner_.format; }
    VideoReadStatus ReadSample(std::unique_ptr<VideoSample>& sample) override {
      sample.reset();
      const size_t index = static_cast<size_t>(owner_.reads.fetch_add(1));
      if (owner_.onRead) owner_.onRead(index);
      if (next_ >= owner_.steps.size()) return VideoReadStatus::Failed;
      const FakeVideoStep& step = owner_.steps[next_++];
      if (step.decodeMs && owner_.clock_) owner_.clock_->SleepMs(static_cast<uint32_t>(step.decodeMs));
      if (step.status == VideoReadStatus::FormatChanged) owner_.format = step.format;
      if (step.status == VideoReadStatus::Sample || step.status == VideoReadStatus::FormatChanged) {
        sample = std::make_unique<Sample>(owner_, step);
      }
      return step.status;
    }
    bool SeekToStart() override {
      ++owner_.seeks;
      return !owner_.failSeek;
    }

   private:
    FakeVideoDecoding& owner_;
    size_t next_ = 0;
  };

  class Session final : public VideoSession {
   public:
    explicit Session(FakeVideoDecoding& owner) : owner_(owner) {}
    ~Session() override {
      owner_.readersAliveAtSessionEnd += owner_.readersAlive.load();
      ++owner_.sessionsEnded;
    }
    std::unique_ptr<VideoReader> OpenReader(const std::wstring& path) override {
      owner_.openedPath = path;
      if (owner_.failOpen) return nullptr;
      ++owner_.readersOpened;
      return std::make_unique<Reader>(owner_);
    }

   private:
    FakeVideoDecoding& owner_;
  };

  Clock* clock_;
};

}  // namespace tolvane
