// Video decoding through a source reader that turns a file into 32-bit RGB frames.
//
// On Windows this is Media Foundation. A decoding thread starts a session (COM for the thread,
// then Media Foundation), opens one reader, reads samples until it is done, drops the reader and
// then the session. The order matters: Media Foundation shut down under a live reader crashes.
// Sessions, readers and samples are used by the thread that made them only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace tolvane {

// One decoded frame as the reader delivered it.
class VideoSample {
 public:
  virtual ~VideoSample() = default;
  // Presentation time in units of 100 ns.
  virtual int64_t Timestamp() const = 0;
  // Makes the sample one contiguous buffer, locks it for the duration of use(data, length) and
  // unlocks it. False (and use not called) when no buffer could be had or locked.
  virtual bool WithContiguousBuffer(const std::function<void(const uint8_t* data, size_t length)>& use) = 0;
};

enum class VideoReadStatus {
  Sample,         // a sample was read (sample is set)
  NoSample,       // the call succeeded without a sample and without a flag (a gap): read again
  FormatChanged,  // the output type changed: Format() gives the new one; sample is set when the
                  // read also brought one (the first of the new type)
  EndOfStream,    // the end of the stream was reached
  StreamError,    // the reader raised its stream-error flag
  Failed,         // the read call itself failed
};

// The output type the reader settled on for the first video stream.
struct VideoFormat {
  int32_t width = 0;
  int32_t height = 0;
  // Bytes from one row to the next in display order; negative when the rows lie bottom-up; 0 when
  // the type does not say (then rows are width * 4 bytes, top-down).
  int32_t stride = 0;
};

class VideoReader {
 public:
  virtual ~VideoReader() = default;
  // The current output type: the one negotiated at the start, or the last one announced by
  // FormatChanged.
  virtual VideoFormat Format() const = 0;
  // Reads the next sample of the first video stream, synchronously.
  virtual VideoReadStatus ReadSample(std::unique_ptr<VideoSample>& sample) = 0;
  // Seeks back to position 0.
  virtual bool SeekToStart() = 0;
};

// Video support for one thread: COM (multithreaded) and Media Foundation in lite mode, started by
// VideoDecoding::StartThread and shut down when the session is destroyed. Readers opened through
// it must be destroyed before it.
class VideoSession {
 public:
  virtual ~VideoSession() = default;
  // A reader for the file with video processing on, only its first video stream selected and
  // asked for RGB32 output, and the format read back from the current type. Null when any step
  // fails. The format's size is not checked here.
  virtual std::unique_ptr<VideoReader> OpenReader(const std::wstring& path) = 0;
};

class VideoDecoding {
 public:
  virtual ~VideoDecoding() = default;
  // Starts video support on the calling thread; null when Media Foundation cannot start (COM is
  // then released again).
  virtual std::unique_ptr<VideoSession> StartThread() = 0;
};

// The process's video decoding; it keeps no state of its own, so any thread may start a session.
// On the Linux host StartThread always fails.
VideoDecoding& SystemVideoDecoding();

}  // namespace tolvane
