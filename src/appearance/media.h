// The background medium behind every screen: a still picture, an animated GIF or a looping video
// named by the setting bgPath, drawn over the theme gradient and dimmed by bgDim.
//
// Pictures and GIFs live on the main thread. A still picture keeps only its screen image; a GIF
// keeps its decoded picture open so that AdvanceAnimation can select the next frame when its delay
// has passed. A video is decoded on a thread of its own (VideoDecodeThread), which paces the frames
// by their timestamps, never hands over more than one frame per 30 ms, and pauses while the window
// is minimised or motion is off, once it has shown a first frame. Time and sleep go through the
// injected Clock, so tests drive the thread's pacing without real time passing.
//
// A video frame is copied once, by the decoding thread, out of the reader's buffer into a buffer of
// its own. Hand-over is a swap of buffers under the frame lock: the thread swaps its filled buffer
// with the shared one and raises the new-frame flag; the window swaps the shared one with the
// buffer its screen image was made over (dropping that image first) and wraps the new frame's
// pixels in an image without copying them where the graphics allow. So the lock is only ever held
// for a swap, and three buffers at most exist: the one being filled, the shared one and the shown one.
//
// Every allocation a medium makes (a file's bytes, a picture's pixels, the frame buffers, an image)
// may fail; that medium then ends with its error text and the program goes on.
//
// MediaRevision (bumped by every load and by changes of dim or motion) and VideoFrameCounter (bumped
// when a new frame is taken) are part of the cache key of the window's background layer.
// Main thread only, except VideoDecodeThread and what it touches under the frame lock or atomically.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/canvas.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/image_decoding.h"
#include "platform/video.h"
#include "settings/settings.h"

namespace tolvane {

enum class MediaKind : int32_t { None = 0, Picture = 1, AnimatedGif = 2, Video = 3 };
enum class VideoState : int32_t { Off = 0, Starting = 1, Playing = 2, Failed = 3 };

// The operating-system services the medium needs.
struct MediaServices {
  Clock& clock;
  FileSystem& files;
  PictureDecoder& pictures;
  VideoDecoding& video;
  GraphicsFactory& graphics;
};

// The exact status and error texts.
inline constexpr const wchar_t* kMediaFileNotFound = L"File not found";
inline constexpr const wchar_t* kMediaCannotOpen = L"Cannot open this file";
inline constexpr const wchar_t* kMediaBadSize = L"File is empty or too large";
inline constexpr const wchar_t* kMediaCannotRead = L"Cannot read this file";
inline constexpr const wchar_t* kMediaNotPicture = L"This file is not a supported picture";
inline constexpr const wchar_t* kMediaTooLarge = L"The picture is too large (over 8192 \u00d7 8192 pixels)";
inline constexpr const wchar_t* kVideoUnavailable = L"Video support is not available";
inline constexpr const wchar_t* kVideoUnsupported =
    L"This video format is not supported by Windows (try MP4 with H.264)";
inline constexpr const wchar_t* kVideoDecodeFailed = L"The video could not be decoded";

// True for the video extensions (.mp4, .m4v, .mov, .wmv, .avi, .mkv, .webm, .asf, .mpg, .mpeg) in
// any letter case.
bool IsVideoPath(const std::wstring& path);
// The text from the last "." of the path to its end, lower-cased (ASCII letters); empty without a ".".
std::wstring LowerExtension(const std::wstring& path);
// The GIF frame delays in milliseconds from the raw property values (hundredths of a second):
// exactly frameCount of them, missing ones 100 ms, each clamped to 40..2000 ms.
std::vector<uint32_t> GifDelaysMs(const std::vector<uint32_t>& rawHundredths, uint32_t frameCount);
// The veil's alpha for bgDim: bgDim * 255 / 100, at most 235; 0 when bgDim is below 1.
uint32_t DimAlpha(int32_t bgDim);
// The destination that makes an image of w × h cover W × H, centred, cropped on the long side.
RectF CoverRect(float imageW, float imageH, float W, float H);

class BackgroundMedia {
 public:
  static constexpr uint64_t kMaxPictureBytes = 209'715'200;  // 200 MiB
  static constexpr int32_t kMaxVideoSide = 8192;
  static constexpr uint32_t kMaxGifFrames = 3999;

  // windowVisible is the window's "not minimised" flag, read by the video thread.
  BackgroundMedia(const Settings& settings, const std::atomic<bool>& windowVisible, const MediaServices& services);
  ~BackgroundMedia();  // stops the video thread
  BackgroundMedia(const BackgroundMedia&) = delete;
  BackgroundMedia& operator=(const BackgroundMedia&) = delete;

  // Loads bgPath from scratch (stops a video, drops a picture, bumps MediaRevision first).
  void LoadBackgroundMedia();
  // Drops the picture or GIF and its frames.
  void UnloadPicture();
  // Stops and joins the video thread (if any) and empties the shared frame.
  void StopVideo();
  // The body of the video thread; public so tests can run it on their own thread.
  void VideoDecodeThread(const std::wstring& path);
  // True while the media tick has work here: an animated GIF with motion on, or a video that may
  // still hand over a frame or has failed unnoticed (a video paused by motion off, its first frame
  // taken, waits for motion). The window's visibility is the caller's part.
  bool Animating() const;
  // The media tick (only while the window is visible): a due GIF frame or a delivered video frame
  // is taken; true (and VideoFrameCounter bumped) when the background layer must be redrawn. A
  // video's first frame and its failure also bump MediaRevision: they change the layer even where
  // its key does not follow the frames (motion off, a panel open).
  bool AdvanceAnimation();
  // Draws the medium over the gradient already on the canvas, W × H logical units, and the veil
  // (black on a dark palette, white on a light one). False, drawing nothing, when no medium is loaded.
  bool DrawBackgroundMedia(Canvas& canvas, float W, float H, bool darkPalette);
  // The settings panel's line about the medium.
  std::wstring MediaStatusLine() const;

  // The loading screen's picture from splashImage (replacing an earlier one), scaled once to fit a
  // square of boxPixels device pixels, so the loading screen draws it at its own size; true when
  // there is one now. Empty splashImage, an undecodable or too large file leaves none.
  bool LoadSplashImage(float boxPixels);
  const CanvasImage* SplashImage() const { return splashImage_.get(); }

  uint64_t MediaRevision() const { return mediaRevision_; }
  void BumpMediaRevision() { ++mediaRevision_; }
  uint64_t VideoFrameCounter() const { return videoFrameCounter_; }

  MediaKind kind() const { return kind_; }
  const std::wstring& status() const { return status_; }
  VideoState videoState() const { return static_cast<VideoState>(videoState_.load()); }
  // The GIF's frames (0 unless an animated GIF is loaded), current frame and delays in ms.
  uint32_t frameCount() const { return frameCount_; }
  uint32_t currentFrame() const { return currentFrame_; }
  const std::vector<uint32_t>& delaysMs() const { return delaysMs_; }
  uint64_t nextFrameDue() const { return nextFrameDue_; }
  // The image drawn for a picture or GIF (its current frame); null otherwise.
  const CanvasImage* PictureImage() const { return pictureImage_.get(); }

  // A copy of the newest video frame handed over (for tests and diagnostics; main thread).
  struct VideoFrame {
    std::vector<uint8_t> pixels;  // width * height * 4 bytes, rows top to bottom
    int32_t width = 0;
    int32_t height = 0;
    std::wstring error;
  };
  VideoFrame CopyVideoFrame() const;
  // How many frames the video thread has handed over since the last StopVideo.
  uint64_t DeliveredFrames() const;
  bool NewVideoFrame() const { return newFrame_.load(); }
  bool VideoThreadRunning() const { return video_.joinable(); }

 private:
  // A video frame: pixels rows top to bottom, width * 4 bytes each.
  struct FrameBuffer {
    std::vector<uint8_t> pixels;
    int32_t width = 0;
    int32_t height = 0;
  };

  bool LoadPicture(const std::wstring& path);
  bool MakePictureImage();
  // The video thread's work; the error that ended it, or null after a stop.
  const wchar_t* DecodeVideo(const std::wstring& path);
  void FailVideo(const wchar_t* error);
  bool Paused() const;
  // Sleeps until ms have passed on the clock, in slices, returning early when a stop is requested.
  void SleepUnlessStopped(uint64_t ms);
  // Takes the newest handed-over frame, if it is new, and makes the screen image over it.
  void TakeVideoFrame();

  const Settings& settings_;
  const std::atomic<bool>& windowVisible_;
  MediaServices services_;

  MediaKind kind_ = MediaKind::None;
  std::wstring status_;
  uint64_t mediaRevision_ = 0;
  uint64_t videoFrameCounter_ = 0;

  // Picture and GIF (main thread).
  std::unique_ptr<DecodedPicture> picture_;
  std::unique_ptr<CanvasImage> pictureImage_;
  uint32_t frameCount_ = 0;
  uint32_t currentFrame_ = 0;
  std::vector<uint32_t> delaysMs_;
  uint64_t nextFrameDue_ = 0;

  std::unique_ptr<CanvasImage> splashImage_;

  // Video.
  std::thread video_;
  std::atomic<int32_t> videoState_{static_cast<int32_t>(VideoState::Off)};
  std::atomic<bool> stopRequested_{false};
  std::atomic<bool> newFrame_{false};
  mutable std::mutex frameLock_;  // guards the three fields below
  FrameBuffer handedOver_;        // the newest frame, or once taken the buffer handed back
  uint64_t frameSequence_ = 0;    // bumped with every delivered frame
  const wchar_t* frameError_ = nullptr;
  // What the media tick has seen of the video since the load (main thread).
  bool videoFrameTaken_ = false;
  VideoState seenVideoState_ = VideoState::Off;
  // The frame on screen, the sequence it had and the image over its pixels (main thread). The
  // image is declared after the buffer it may borrow from, so it goes first.
  FrameBuffer shown_;
  uint64_t shownSequence_ = 0;
  std::unique_ptr<CanvasImage> videoImage_;
};

}  // namespace tolvane
