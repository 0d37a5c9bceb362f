// The background medium: loading, the GIF frame clock, the video thread and drawing.
//
// Faults that the plain reading loop would have are closed here: a reader whose end of stream
// comes straight after the seek to the start (a video without frames, or a seek that does not
// work) would spin through read and seek at full speed forever, so it ends the thread as a decode
// failure; a reader that keeps answering without a usable sample is read again only after a short
// nap; every wait sleeps in short slices that look at the stop request, so a timestamp far in the
// future never keeps StopVideo (and the window's shutdown) waiting; timestamps are hostile input,
// so their differences are taken without signed overflow; and an allocation that fails on the
// thread ends the video with its decode error instead of the process.
#include "appearance/media.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <exception>
#include <new>

namespace tolvane {
namespace {

constexpr uint64_t kPauseSleepMs = 80;
constexpr uint64_t kLateReanchorMs = 300;
constexpr uint64_t kMinFrameGapMs = 30;
constexpr uint64_t kSleepSliceMs = 50;
constexpr uint64_t kEmptyReadSleepMs = 10;
constexpr uint64_t kTicksPerMs = 10000;  // timestamps are in units of 100 ns

const wchar_t* const kVideoExtensions[] = {L".mp4", L".m4v",  L".mov", L".wmv", L".avi",
                                           L".mkv", L".webm", L".asf", L".mpg", L".mpeg"};

bool TooManyPixels(int32_t width, int32_t height) {
  return static_cast<uint64_t>(width) * static_cast<uint64_t>(height) > kMaxPicturePixels;
}

// The frame layout of a reader's output type, checked: both sides 1 to 8192 and rows at least
// width * 4 bytes apart (a stride of 0 means exactly that, top-down).
struct FrameLayout {
  int64_t width = 0;
  int64_t height = 0;
  int64_t stride = 0;    // negative: rows lie bottom-up
  uint64_t rowStep = 0;  // |stride|

  bool Take(const VideoFormat& f) {
    const int64_t w = f.width, h = f.height;
    const int64_t s = f.stride == 0 ? w * 4 : f.stride;
    const uint64_t step = static_cast<uint64_t>(s < 0 ? -s : s);
    if (w < 1 || w > BackgroundMedia::kMaxVideoSide || h < 1 || h > BackgroundMedia::kMaxVideoSide ||
        step < static_cast<uint64_t>(w) * 4) {
      return false;
    }
    width = w;
    height = h;
    stride = s;
    rowStep = step;
    return true;
  }
  size_t RowBytes() const { return static_cast<size_t>(width) * 4; }
  size_t FrameBytes() const { return RowBytes() * static_cast<size_t>(height); }
};

// Copies a frame out of a reader's buffer into out (FrameBytes() long), rows in display order;
// false when the buffer is too short for the layout.
bool CopyFrameRows(const FrameLayout& layout, const uint8_t* data, size_t length, uint8_t* out) {
  if (!data || static_cast<uint64_t>(length) / layout.rowStep < static_cast<uint64_t>(layout.height)) return false;
  const size_t rowBytes = layout.RowBytes();
  for (int64_t y = 0; y < layout.height; ++y) {
    const int64_t memoryRow = layout.stride > 0 ? y : layout.height - 1 - y;
    std::memcpy(out + static_cast<size_t>(y) * rowBytes, data + static_cast<size_t>(memoryRow) * layout.rowStep,
                rowBytes);
  }
  return true;
}

// The image scaled once to fit a square of boxPixels device pixels, proportions kept, drawn as the
// window draws (bilinear); the image itself where no surface can be had (the host build).
std::unique_ptr<CanvasImage> FitImage(GraphicsFactory& graphics, std::unique_ptr<CanvasImage> image, float boxPixels) {
  const float w = static_cast<float>(image->Width());
  const float h = static_cast<float>(image->Height());
  const float s = std::min(boxPixels / w, boxPixels / h);
  if (!(s > 0)) return image;
  const auto fw = static_cast<int32_t>(std::max(1L, std::lround(w * s)));
  const auto fh = static_cast<int32_t>(std::max(1L, std::lround(h * s)));
  if (fw == image->Width() && fh == image->Height()) return image;
  std::unique_ptr<Surface> surface = graphics.CreateSurface(fw, fh);
  if (!surface) return image;
  surface->NewCanvas().DrawImage(*image, RectF{0, 0, static_cast<float>(fw), static_cast<float>(fh)});
  std::unique_ptr<CanvasImage> fitted = graphics.CreateImage(fw, fh, surface->ReadPixels());
  return fitted ? std::move(fitted) : std::move(image);
}

// When a frame of this timestamp is due, given the anchor: the anchor's time plus the whole
// milliseconds it lies after the anchor's timestamp (none when it lies before). Any two 64-bit
// timestamps give a difference without overflow, and the sum saturates.
uint64_t DueMs(uint64_t anchorMs, int64_t anchorTimestamp, int64_t timestamp) {
  if (timestamp <= anchorTimestamp) return anchorMs;
  const uint64_t ahead = (static_cast<uint64_t>(timestamp) - static_cast<uint64_t>(anchorTimestamp)) / kTicksPerMs;
  return ahead > UINT64_MAX - anchorMs ? UINT64_MAX : anchorMs + ahead;
}

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
    } catch (const std::exception&) {  // no thread (system_error) or no memory for one
      FailVideo(kVideoUnavailable);
    }
    return;
  }
  if (!LoadPicture(path)) {
    UnloadPicture();
    kind_ = MediaKind::None;
  }
}

bool BackgroundMedia::LoadPicture(const std::wstring& path) {
  std::string bytes;
  FileSystem::ReadResult read = FileSystem::ReadResult::ReadFailed;
  try {
    read = services_.files.ReadLimited(path, kMaxPictureBytes, bytes);
  } catch (const std::bad_alloc&) {  // up to 200 MiB in one piece
    read = FileSystem::ReadResult::ReadFailed;
  }
  switch (read) {
    case FileSystem::ReadResult::Ok:
      break;
    case FileSystem::ReadResult::CannotOpen:
      status_ = kMediaCannotOpen;
      return false;
    case FileSystem::ReadResult::BadSize:
      status_ = kMediaBadSize;
      return false;
    case FileSystem::ReadResult::ReadFailed:
      status_ = kMediaCannotRead;
      return false;
  }
  picture_ = services_.pictures.DecodePicture(bytes);
  bytes.clear();
  bytes.shrink_to_fit();  // up to 200 MiB; the decoder has its own copy
  if (!picture_ || picture_->Width() <= 0 || picture_->Height() <= 0) {
    status_ = kMediaNotPicture;
    return false;
  }
  if (TooManyPixels(picture_->Width(), picture_->Height())) {
    status_ = kMediaTooLarge;
    return false;
  }
  bool made = false;
  try {
    made = MakePictureImage();
  } catch (const std::bad_alloc&) {  // the pixel copy, up to 256 MiB
    made = false;
  }
  if (!made) {
    status_ = kMediaNotPicture;
    return false;
  }
  kind_ = MediaKind::Picture;
  status_ = L"Picture";

  const uint32_t frames = picture_->TimeFrameCount();
  if (frames < 2 || frames > kMaxGifFrames) {
    picture_.reset();  // a still picture needs only its image: the decoded picture and its bytes go
    return true;
  }
  frameCount_ = frames;
  delaysMs_ = GifDelaysMs(picture_->FrameDelays(), frames);
  kind_ = MediaKind::AnimatedGif;
  status_ = L"Animated GIF";
  currentFrame_ = 0;
  nextFrameDue_ = services_.clock.TickMs() + delaysMs_[0];
  return true;
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
  videoImage_.reset();  // before the buffer it may borrow
  shown_ = FrameBuffer{};
  shownSequence_ = 0;
  std::lock_guard<std::mutex> lock(frameLock_);
  handedOver_ = FrameBuffer{};
  frameError_ = nullptr;
  frameSequence_ = 0;
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
  Clock& clock = services_.clock;
  const uint64_t start = clock.TickMs();
  for (uint64_t slept = 0; slept < ms && !stopRequested_.load(); slept = clock.TickMs() - start) {
    clock.SleepMs(static_cast<uint32_t>(std::min(ms - slept, kSleepSliceMs)));
  }
}

void BackgroundMedia::VideoDecodeThread(const std::wstring& path) {
  const wchar_t* error = nullptr;
  try {
    error = DecodeVideo(path);
  } catch (const std::bad_alloc&) {  // a frame buffer, a sample, anything the reader needed
    error = kVideoDecodeFailed;
  }
  if (error) FailVideo(error);
}

const wchar_t* BackgroundMedia::DecodeVideo(const std::wstring& path) {
  // The reader is declared after the session, so it is released first, also when unwinding.
  std::unique_ptr<VideoSession> session = services_.video.StartThread();
  if (!session) return kVideoUnavailable;
  std::unique_ptr<VideoReader> reader = session->OpenReader(path);
  FrameLayout layout;
  if (!reader || !layout.Take(reader->Format())) return kVideoUnsupported;
  videoState_ = static_cast<int32_t>(VideoState::Playing);

  Clock& clock = services_.clock;
  FrameBuffer filling;  // swapped with the shared buffer on every delivery
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
    if (read == VideoReadStatus::Failed || read == VideoReadStatus::StreamError) return kVideoDecodeFailed;
    if (read == VideoReadStatus::EndOfStream) {
      // Loop forever; but an end straight after the seek means there is nothing to loop.
      if (!sampleSinceSeek || !reader->SeekToStart()) return kVideoDecodeFailed;
      sampleSinceSeek = false;
      anchored = false;
      continue;
    }
    if (read == VideoReadStatus::FormatChanged && !layout.Take(reader->Format())) return kVideoDecodeFailed;
    if (!sample) {  // a gap in the stream, or a reader with nothing to give: not at full speed
      SleepUnlessStopped(kEmptyReadSleepMs);
      continue;
    }
    sampleSinceSeek = true;

    const int64_t timestamp = sample->Timestamp();
    uint64_t now = clock.TickMs();
    if (!anchored) {
      anchored = true;
      anchorTimestamp = timestamp;
      anchorMs = now;
    } else {
      const uint64_t due = DueMs(anchorMs, anchorTimestamp, timestamp);
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

    filling.pixels.resize(layout.FrameBytes());
    bool copied = false;
    sample->WithContiguousBuffer([&](const uint8_t* data, size_t length) {
      copied = CopyFrameRows(layout, data, length, filling.pixels.data());
    });
    if (!copied) {
      SleepUnlessStopped(kEmptyReadSleepMs);
      continue;
    }
    filling.width = static_cast<int32_t>(layout.width);
    filling.height = static_cast<int32_t>(layout.height);
    {
      std::lock_guard<std::mutex> lock(frameLock_);
      std::swap(filling, handedOver_);
      ++frameSequence_;
    }
    newFrame_ = true;
    delivered = true;
    lastDelivery = clock.TickMs();
  }
  return nullptr;
}

bool BackgroundMedia::Animating() const {
  if (kind_ == MediaKind::AnimatedGif) return settings_.bgMotion.load() && frameCount_ > 0;
  if (kind_ != MediaKind::Video) return false;
  switch (videoState()) {
    case VideoState::Starting:
      return true;
    case VideoState::Playing:
      return settings_.bgMotion.load() || !videoFrameTaken_;
    case VideoState::Failed:
      return seenVideoState_ != VideoState::Failed;
    default:
      return false;
  }
}

bool BackgroundMedia::AdvanceAnimation() {
  bool redraw = false;
  if (kind_ == MediaKind::AnimatedGif && settings_.bgMotion.load() && frameCount_ > 0) {
    const uint64_t now = services_.clock.TickMs();
    if (now >= nextFrameDue_) {
      currentFrame_ = (currentFrame_ + 1) % frameCount_;
      nextFrameDue_ = now + delaysMs_[currentFrame_];
      redraw = true;
      try {
        // A frame that cannot be selected or read leaves the previous one on screen.
        if (picture_->SelectFrame(currentFrame_)) MakePictureImage();
      } catch (const std::bad_alloc&) {  // no memory for the frame: the animation ends
        UnloadPicture();
        kind_ = MediaKind::None;
        status_ = kMediaNotPicture;
        ++mediaRevision_;
      }
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

void BackgroundMedia::TakeVideoFrame() {
  {
    std::lock_guard<std::mutex> lock(frameLock_);
    if (frameSequence_ == shownSequence_) return;
  }
  videoImage_.reset();  // it may draw from the buffer that is handed back now
  {
    std::lock_guard<std::mutex> lock(frameLock_);
    std::swap(shown_, handedOver_);
    shownSequence_ = frameSequence_;
  }
  if (shown_.width < 1 || shown_.height < 1 ||
      shown_.pixels.size() != static_cast<size_t>(shown_.width) * static_cast<size_t>(shown_.height) * 4) {
    return;
  }
  try {
    videoImage_ = services_.graphics.WrapRgb32(shown_.width, shown_.height, shown_.pixels.data());
  } catch (const std::bad_alloc&) {  // a graphics layer that has to copy found no memory
    stopRequested_ = true;           // StopVideo or the next load joins the thread
    FailVideo(kVideoDecodeFailed);
  }
}

bool BackgroundMedia::DrawBackgroundMedia(Canvas& canvas, float W, float H, bool darkPalette) {
  if (kind_ == MediaKind::None) return false;
  if (kind_ == MediaKind::Picture || kind_ == MediaKind::AnimatedGif) {
    if (pictureImage_ && pictureImage_->Width() > 0 && pictureImage_->Height() > 0) {
      canvas.DrawImage(*pictureImage_, CoverRect(static_cast<float>(pictureImage_->Width()),
                                                 static_cast<float>(pictureImage_->Height()), W, H));
    }
  } else if (kind_ == MediaKind::Video && videoState() == VideoState::Playing) {
    TakeVideoFrame();
    if (videoImage_ && videoState() == VideoState::Playing) {
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
        return std::wstring(L"Video problem: ") + (frameError_ ? frameError_ : L"");
      }
      default:
        return L"Video playing (muted; use the sound option below for audio)";
    }
  }
  if (kind_ == MediaKind::Picture || kind_ == MediaKind::AnimatedGif) return status_ + L" loaded";
  return status_.empty() ? L"Not loaded" : status_;
}

bool BackgroundMedia::LoadSplashImage(float boxPixels) {
  splashImage_.reset();
  if (settings_.splashImage.empty()) return false;
  try {
    std::unique_ptr<CanvasImage> full;
    {
      // The decoded file is closed again as soon as its pixels are out.
      std::unique_ptr<DecodedPicture> picture = services_.pictures.DecodePictureFile(settings_.splashImage);
      if (!picture || picture->Width() <= 0 || picture->Height() <= 0) return false;
      if (TooManyPixels(picture->Width(), picture->Height())) return false;
      std::vector<uint32_t> pixels;
      if (!picture->Pixels(pixels)) return false;
      full = services_.graphics.CreateImage(picture->Width(), picture->Height(), pixels);
    }
    if (!full) return false;
    splashImage_ = FitImage(services_.graphics, std::move(full), boxPixels);
  } catch (const std::bad_alloc&) {
    splashImage_.reset();
  }
  return splashImage_ != nullptr;
}

uint64_t BackgroundMedia::DeliveredFrames() const {
  std::lock_guard<std::mutex> lock(frameLock_);
  return frameSequence_;
}

BackgroundMedia::VideoFrame BackgroundMedia::CopyVideoFrame() const {
  std::lock_guard<std::mutex> lock(frameLock_);
  const FrameBuffer& newest = frameSequence_ == shownSequence_ ? shown_ : handedOver_;
  VideoFrame frame;
  frame.pixels = newest.pixels;
  frame.width = newest.width;
  frame.height = newest.height;
  frame.error = frameError_ ? frameError_ : L"";
  return frame;
}

}  // namespace tolvane
