// The background medium behind every screen: a still picture, an animated GIF or a looping video
// named by the setting bgPath, drawn over the theme gradient and dimmed by bgDim.
//
// Pictures and GIFs live on the main thread: the decoded picture stays open so that AdvanceAnimation
// can select the GIF's next frame when its delay has passed. A video is decoded on a thread of its
// own (VideoDecodeThread), which paces the frames by their timestamps, never hands over more than one
// frame per 30 ms and leaves each under the frame lock with a new-frame flag that the window's media
// tick exchanges. The thread pauses while the window is minimised or motion is off, once it has
// shown a first frame. Time and sleep go through the injected Clock, so tests drive the thread's
// pacing without real time passing.
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

  // The loading screen's picture from splashImage (replacing an earlier one); true when there is
  // one now. Empty splashImage or an undecodable file leaves none.
  bool LoadSplashImage();
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

  // A copy of the shared video frame (for tests and diagnostics).
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
  bool MakePictureImage();
  void FailVideo(const wchar_t* error);
  bool Paused() const;
  // Sleeps ms in slices, returning early when a stop is requested.
  void SleepUnlessStopped(uint64_t ms);

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
  mutable std::mutex frameLock_;  // guards the four fields below
  std::vector<uint8_t> framePixels_;
  int32_t frameWidth_ = 0;
  int32_t frameHeight_ = 0;
  std::wstring frameError_;
  uint64_t frameSequence_ = 0;  // bumped with every delivered frame (under the frame lock)
  // What the media tick has seen of the video since the load (main thread).
  bool videoFrameTaken_ = false;
  VideoState seenVideoState_ = VideoState::Off;
  // The image made from the shared frame by the last draw (main thread), and its sequence.
  std::unique_ptr<CanvasImage> videoImage_;
  uint64_t videoImageSequence_ = 0;
};

}  // namespace tolvane
