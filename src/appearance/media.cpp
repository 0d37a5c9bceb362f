// The background medium: loading, the GIF frame clock, the video thread and drawing.
//
// Two faults that the plain reading loop would have are closed here: a reader whose end of stream
// comes straight after the seek to the start (a video without frames, or a seek that does not
// work) would spin through read and seek at full speed forever, so it ends the thread as a decode
// failure; and every wait sleeps in short slices that look at the stop request, so a timestamp far
// in the future never keeps StopVideo (and the window's shutdown) waiting.
#include "appearance/media.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <system_error>

namespace tolvane {
namespace {

constexpr uint64_t kPauseSleepMs = 80;
constexpr uint64_t kLateReanchorMs = 300;
constexpr uint64_t kMinFrameGapMs = 30;
constexpr uint64_t kSleepSliceMs = 50;
constexpr int64_t kTicksPerMs = 10000;  // timestamps are in units of 100 ns

const wchar_t* const kVideoExtensions[] = {L".mp4", L".m4v",  L".mov", L".wmv", L".avi",
                                           L".mkv", L".webm", L".asf", L".mpg", L".mpeg"};

}  // namespace

std::wstring LowerExtension(const std::wstring& path) {
  const size_t dot = path.rfind(L'.');
  if (dot == std::wstring::npos) return {};
  std::wstring ext = path.substr(dot);
  for (wchar_t& c : ext) {
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
  }
  return ext;
}

bool IsVideoPath(const std::wstring& path) {
  const std::wstring ext = LowerExtension(path);
  for (const wchar_t* video : kVideoExtensions) {
    if (ext == video) return true;
  }
  return false;
}

std::vector<uint32_t> GifDelaysMs(const std::vector<uint32_t>& rawHundredths, uint32_t frameCount) {
  std::vector<uint32_t> delays;
  delays.reserve(frameCount);
  for (uint32_t i = 0; i < frameCount; ++i) {
    // Widened first: a hostile file may store values whose tenfold overflows 32 bits.
    const uint64_t ms = i < rawHundredths.size() ? static_cast<uint64_t>(rawHundredths[i]) * 10 : 100;
    delays.push_back(static_cast<uint32_t>(std::clamp<uint64_t>(ms, 40, 2000)));
  }
  return delays;
}

uint32_t DimAlpha(int32_t bgDim) {
  if (bgDim < 1) return 0;
  return static_cast<uint32_t>(std::min<int64_t>(static_cast<int64_t>(bgDim) * 255 / 100, 235));
}

RectF CoverRect(float imageW, float imageH, float W, float H) {
  const float s = std::max(H / imageH, W / imageW);
  return RectF{(W - imageW * s) / 2, (H - imageH * s) / 2, imageW * s, imageH * s};
}

BackgroundMedia::BackgroundMedia(const Settings& settings, const std::atomic<bool>& windowVisible,
                                 const MediaServices& services)
    : settings_(settings), windowVisible_(windowVisible), services_(services) {}

BackgroundMedia::~BackgroundMedia() { StopVideo(); }

void BackgroundMedia::LoadBackgroundMedia() {
  StopVideo();
  UnloadPicture();
  ++mediaRevision_;
  status_.clear();
  kind_ = MediaKind::None;
  videoFrameTaken_ = false;
  seenVideoState_ = VideoState::Off;

  const std::wstring& path = settings_.bgPath;
  if (path.empty()) return;
  if (!services_.files.Exists(path)) {
    status_ = kMediaFileNotFound;
    return;
  }
  if (IsVideoPath(path)) {
    kind_ = MediaKind::Video;
    videoState_ = static_cast<int32_t>(VideoState::Starting);
    status_ = L"Video";
    try {
      video_ = std::thread([this, path] { VideoDecodeThread(path); });
    } catch (const std::system_error&) {
      FailVideo(kVideoUnavailable);
    }
    return;
  }

  std::string bytes;
  switch (services_.files.ReadLimited(path, kMaxPictureBytes, bytes)) {
    case FileSystem::ReadResult::Ok:
      break;
    case FileSystem::ReadResult::CannotOpen:
      status_ = kMediaCannotOpen;
      return;
    case FileSystem::ReadResult::BadSize:
      status_ = kMediaBadSize;
      return;
    case FileSystem::ReadResult::ReadFailed:
      status_ = kMediaCannotRead;
      return;
  }
  picture_ = services_.pictures.DecodePicture(bytes);
  bytes.clear();
  bytes.shrink_to_fit();  // up to 200 MiB; the decoder has its own copy
  if (!picture_ || picture_->Width() <= 0 || picture_->Height() <= 0 || !MakePictureImage()) {
    UnloadPicture();
    status_ = kMediaNotPicture;
    return;
  }
  kind_ = MediaKind::Picture;
  status_ = L"Picture";

  const uint32_t frames = picture_->TimeFrameCount();
  if (frames >= 2 && frames <= kMaxGifFrames) {
    frameCount_ = frames;
    delaysMs_ = GifDelaysMs(picture_->FrameDelays(), frames);
    kind_ = MediaKind::AnimatedGif;
    status_ = L"Animated GIF";
    currentFrame_ = 0;
    nextFrameDue_ = services_.clock.TickMs() + delaysMs_[0];
  }
}

bool BackgroundMedia::MakePictureImage() {
  std::vector<uint32_t> pixels;
  if (!picture_->Pixels(pixels)) return false;
  std::unique_ptr<CanvasImage> image = services_.graphics.CreateImage(picture_->Width(), picture_->Height(), pixels);
  if (!image) return false;
  pictureImage_ = std::move(image);
  return true;
}

void BackgroundMedia::UnloadPicture() {
  pictureImage_.reset();
  picture_.reset();
  frameCount_ = 0;
  currentFrame_ = 0;
  delaysMs_.clear();
  nextFrameDue_ = 0;
}

void BackgroundMedia::StopVideo() {
  if (video_.joinable()) {
    stopRequested_ = true;
    video_.join();
  }
  stopRequested_ = false;
  videoState_ = static_cast<int32_t>(VideoState::Off);
  newFrame_ = false;
  {
    std::lock_guard<std::mutex> lock(frameLock_);
    framePixels_.clear();
    framePixels_.shrink_to_fit();
    frameError_.clear();
    frameWidth_ = 0;
    frameHeight_ = 0;
    frameSequence_ = 0;
  }
  videoImage_.reset();
  videoImageSequence_ = 0;
}

void BackgroundMedia::FailVideo(const wchar_t* error) {
  {
    std::lock_guard<std::mutex> lock(frameLock_);
    frameError_ = error;
  }
  videoState_ = static_cast<int32_t>(VideoState::Failed);
}

bool BackgroundMedia::Paused() const { return !windowVisible_.load() || !settings_.bgMotion.load(); }

void BackgroundMedia::SleepUnlessStopped(uint64_t ms) {
  while (ms > 0 && !stopRequested_.load()) {
    const uint64_t slice = std::min(ms, kSleepSliceMs);
    services_.clock.SleepMs(static_cast<uint32_t>(slice));
    ms -= slice;
  }
}

void BackgroundMedia::VideoDecodeThread(const std::wstring& path) {
  std::unique_ptr<VideoSession> session = services_.video.StartThread();
  if (!session) {
    FailVideo(kVideoUnavailable);
    return;
  }
  Clock& clock = services_.clock;
  const wchar_t* error = nullptr;
  {
    // The reader lives in this block so that it is released before the session shuts down.
    std::unique_ptr<VideoReader> reader = session->OpenReader(path);
    const VideoFormat format = reader ? reader->Format() : VideoFormat{};
    const int64_t width = format.width;
    const int64_t height = format.height;
    const int64_t stride = format.stride == 0 ? width * 4 : format.stride;
    const int64_t rowStep = std::llabs(stride);
    if (!reader || width < 1 || width > kMaxVideoSide || height < 1 || height > kMaxVideoSide || rowStep < width * 4) {
      error = kVideoUnsupported;
    } else {
      videoState_ = static_cast<int32_t>(VideoState::Playing);
      const size_t rowBytes = static_cast<size_t>(width) * 4;
      std::vector<uint8_t> frame(rowBytes * static_cast<size_t>(height));
      bool delivered = false;
      uint64_t lastDelivery = 0;
      bool anchored = false;
      int64_t anchorTimestamp = 0;
      uint64_t anchorMs = 0;
      bool sampleSinceSeek = false;

      while (!stopRequested_.load()) {
        if (delivered && Paused()) {
          SleepUnlessStopped(kPauseSleepMs);
          anchored = false;
          continue;
        }
        std::unique_ptr<VideoSample> sample;
        const VideoReadStatus read = reader->ReadSample(sample);
        if (read == VideoReadStatus::Failed) {
          error = kVideoDecodeFailed;
          break;
        }
        if (read == VideoReadStatus::EndOfStream) {
          // Loop forever; but an end straight after the seek means there is nothing to loop.
          if (!sampleSinceSeek || !reader->SeekToStart()) {
            error = kVideoDecodeFailed;
            break;
          }
          sampleSinceSeek = false;
          anchored = false;
          continue;
        }
        if (read == VideoReadStatus::StreamError) {
          error = kVideoDecodeFailed;
          break;
        }
        if (read == VideoReadStatus::NoSample || !sample) continue;
        sampleSinceSeek = true;

        const int64_t timestamp = sample->Timestamp();
        uint64_t now = clock.TickMs();
        if (!anchored) {
          anchored = true;
          anchorTimestamp = timestamp;
          anchorMs = now;
        } else {
          const int64_t ahead = timestamp - anchorTimestamp;
          const uint64_t due = ahead < kTicksPerMs ? anchorMs : anchorMs + static_cast<uint64_t>(ahead / kTicksPerMs);
          if (now < due) {
            SleepUnlessStopped(due - now);
            if (stopRequested_.load()) break;
            now = clock.TickMs();
          } else if (now - due > kLateReanchorMs) {
            anchorTimestamp = timestamp;  // late: drop the backlog rather than hurry through it
            anchorMs = now;
          }
        }
        if (delivered && now - lastDelivery < kMinFrameGapMs) continue;

        bool copied = false;
        sample->WithContiguousBuffer([&](const uint8_t* data, size_t length) {
          if (static_cast<uint64_t>(length) < static_cast<uint64_t>(height) * static_cast<uint64_t>(rowStep)) return;
          for (int64_t y = 0; y < height; ++y) {
            const int64_t memoryRow = stride > 0 ? y : height - 1 - y;
            std::memcpy(frame.data() + static_cast<size_t>(y) * rowBytes,
                        data + static_cast<size_t>(memoryRow) * static_cast<size_t>(rowStep), rowBytes);
          }
          copied = true;
        });
        if (!copied) continue;
        {
          std::lock_guard<std::mutex> lock(frameLock_);
          framePixels_.assign(frame.begin(), frame.end());
          frameWidth_ = static_cast<int32_t>(width);
          frameHeight_ = static_cast<int32_t>(height);
          ++frameSequence_;
        }
        newFrame_ = true;
        delivered = true;
        lastDelivery = clock.TickMs();
      }
    }
  }
  if (error) FailVideo(error);
  session.reset();
}

bool BackgroundMedia::AdvanceAnimation() {
  bool redraw = false;
  if (kind_ == MediaKind::AnimatedGif && settings_.bgMotion.load() && frameCount_ > 0) {
    const uint64_t now = services_.clock.TickMs();
    if (now >= nextFrameDue_) {
      currentFrame_ = (currentFrame_ + 1) % frameCount_;
      // A frame that cannot be selected or read leaves the previous one on screen.
      if (picture_->SelectFrame(currentFrame_)) MakePictureImage();
      nextFrameDue_ = now + delaysMs_[currentFrame_];
      redraw = true;
    }
  } else if (kind_ == MediaKind::Video) {
    redraw = newFrame_.exchange(false);
    // The layer's key follows frames only while the video moves in the main view, so the first
    // frame (the only one with motion off) and a failure that must take the last frame away
    // change the medium itself.
    const VideoState state = videoState();
    if ((redraw && !videoFrameTaken_) || (state == VideoState::Failed && seenVideoState_ != VideoState::Failed)) {
      ++mediaRevision_;
      redraw = true;
    }
    if (redraw) videoFrameTaken_ = true;
    seenVideoState_ = state;
  }
  if (redraw) ++videoFrameCounter_;
  return redraw;
}

bool BackgroundMedia::DrawBackgroundMedia(Canvas& canvas, float W, float H, bool darkPalette) {
  if (kind_ == MediaKind::None) return false;
  if (kind_ == MediaKind::Picture || kind_ == MediaKind::AnimatedGif) {
    if (pictureImage_ && pictureImage_->Width() > 0 && pictureImage_->Height() > 0) {
      canvas.DrawImage(*pictureImage_, CoverRect(static_cast<float>(pictureImage_->Width()),
                                                 static_cast<float>(pictureImage_->Height()), W, H));
    }
  } else if (kind_ == MediaKind::Video && videoState() == VideoState::Playing) {
    bool valid = false;
    std::vector<uint8_t> bytes;
    int32_t width = 0, height = 0;
    {
      std::lock_guard<std::mutex> lock(frameLock_);
      valid = frameWidth_ > 0 && frameHeight_ > 0 &&
              framePixels_.size() == static_cast<size_t>(frameWidth_) * static_cast<size_t>(frameHeight_) * 4;
      if (valid && frameSequence_ != videoImageSequence_) {
        bytes = framePixels_;
        width = frameWidth_;
        height = frameHeight_;
        videoImageSequence_ = frameSequence_;
      }
    }
    if (!bytes.empty()) {
      // 32-bit RGB with an ignored fourth byte: opaque, so already premultiplied.
      std::vector<uint32_t> pixels(bytes.size() / 4);
      for (size_t i = 0; i < pixels.size(); ++i) {
        const uint8_t* p = bytes.data() + i * 4;
        pixels[i] = 0xFF000000u | (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[1]) << 8) | p[0];
      }
      videoImage_ = services_.graphics.CreateImage(width, height, pixels);
    }
    if (valid && videoImage_) {
      canvas.DrawImage(*videoImage_, CoverRect(static_cast<float>(videoImage_->Width()),
                                               static_cast<float>(videoImage_->Height()), W, H));
    }
  }
  const uint32_t alpha = DimAlpha(settings_.bgDim);
  if (alpha > 0) {
    canvas.FillRectangle(Brush::Solid((alpha << 24) | (darkPalette ? 0x000000u : 0xFFFFFFu)), RectF{0, 0, W, H});
  }
  return true;
}

std::wstring BackgroundMedia::MediaStatusLine() const {
  if (settings_.bgPath.empty()) return {};
  if (kind_ == MediaKind::Video) {
    switch (videoState()) {
      case VideoState::Starting:
        return L"Video: starting...";
      case VideoState::Failed: {
        std::lock_guard<std::mutex> lock(frameLock_);
        return L"Video problem: " + frameError_;
      }
      default:
        return L"Video playing (muted; use the sound option below for audio)";
    }
  }
  if (kind_ == MediaKind::Picture || kind_ == MediaKind::AnimatedGif) return status_ + L" loaded";
  return status_.empty() ? L"Not loaded" : status_;
}

bool BackgroundMedia::LoadSplashImage() {
  splashImage_.reset();
  if (settings_.splashImage.empty()) return false;
  // Only the pixels are kept: the decoded file is closed again at once.
  std::unique_ptr<DecodedPicture> picture = services_.pictures.DecodePictureFile(settings_.splashImage);
  if (!picture || picture->Width() <= 0 || picture->Height() <= 0) return false;
  std::vector<uint32_t> pixels;
  if (!picture->Pixels(pixels)) return false;
  splashImage_ = services_.graphics.CreateImage(picture->Width(), picture->Height(), pixels);
  return splashImage_ != nullptr;
}

uint64_t BackgroundMedia::DeliveredFrames() const {
  std::lock_guard<std::mutex> lock(frameLock_);
  return frameSequence_;
}

BackgroundMedia::VideoFrame BackgroundMedia::CopyVideoFrame() const {
  std::lock_guard<std::mutex> lock(frameLock_);
  VideoFrame frame;
  frame.pixels = framePixels_;
  frame.width = frameWidth_;
  frame.height = frameHeight_;
  frame.error = frameError_;
  return frame;
}

}  // namespace tolvane
