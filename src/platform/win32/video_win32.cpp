// Video decoding with the Media Foundation source reader, asked for RGB32 frames.
//
// Every COM pointer is held by a small owner that releases it, and a reader's pointers are
// released before its session shuts Media Foundation down (the other order crashes under Wine).
// Wine without GStreamer's plugins fails to create the reader, and with them it cannot convert to
// RGB32; both come back as a null reader, which the caller reports. The output type can change
// under way (a stream whose frame size changes); the reader then reads the new size and stride
// before it hands over the sample that came with the change.
#include <windows.h>
#include <mfapi.h>
#include <mfidl.h>
#include <mferror.h>
#include <mfreadwrite.h>
#include <propidl.h>

#include <memory>
#include <new>

#include "platform/video.h"

namespace tolvane {
namespace {

template <typename T>
class ComPtr {
 public:
  ComPtr() = default;
  ~ComPtr() { Reset(); }
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  T** Out() {
    Reset();
    return &p_;
  }
  T* get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  void Reset() {
    if (p_) p_->Release();
    p_ = nullptr;
  }

 private:
  T* p_ = nullptr;
};

constexpr DWORD kFirstVideo = static_cast<DWORD>(MF_SOURCE_READER_FIRST_VIDEO_STREAM);
constexpr DWORD kAllStreams = static_cast<DWORD>(MF_SOURCE_READER_ALL_STREAMS);

// The frame size and stride of the first video stream's current output type.
bool ReadFormat(IMFSourceReader* reader, VideoFormat& format) {
  ComPtr<IMFMediaType> current;
  if (FAILED(reader->GetCurrentMediaType(kFirstVideo, current.Out())) || !current) return false;
  UINT32 width = 0, height = 0;
  if (FAILED(MFGetAttributeSize(current.get(), MF_MT_FRAME_SIZE, &width, &height))) return false;
  UINT32 stride = 0;
  if (FAILED(current->GetUINT32(MF_MT_DEFAULT_STRIDE, &stride))) stride = 0;
  format.width = width > 0x7FFFFFFF ? 0 : static_cast<int32_t>(width);
  format.height = height > 0x7FFFFFFF ? 0 : static_cast<int32_t>(height);
  format.stride = static_cast<int32_t>(stride);  // the attribute holds a signed value
  return true;
}

class MfSample final : public VideoSample {
 public:
  MfSample(IMFSample* sample, int64_t timestamp) : sample_(sample), timestamp_(timestamp) {}
  ~MfSample() override { sample_->Release(); }
  int64_t Timestamp() const override { return timestamp_; }
  bool WithContiguousBuffer(const std::function<void(const uint8_t*, size_t)>& use) override {
    ComPtr<IMFMediaBuffer> buffer;
    if (FAILED(sample_->ConvertToContiguousBuffer(buffer.Out())) || !buffer) return false;
    BYTE* data = nullptr;
    DWORD maxLength = 0, length = 0;
    if (FAILED(buffer->Lock(&data, &maxLength, &length)) || !data) return false;
    use(data, length);
    buffer->Unlock();
    return true;
  }

 private:
  IMFSample* sample_;
  int64_t timestamp_;
};

class MfReader final : public VideoReader {
 public:
  MfReader(IMFSourceReader* reader, VideoFormat format) : reader_(reader), format_(format) {}
  ~MfReader() override { reader_->Release(); }
  VideoFormat Format() const override { return format_; }

  VideoReadStatus ReadSample(std::unique_ptr<VideoSample>& sample) override {
    sample.reset();
    DWORD stream = 0, flags = 0;
    LONGLONG timestamp = 0;
    IMFSample* raw = nullptr;
    const HRESULT hr = reader_->ReadSample(kFirstVideo, 0, &stream, &flags, &timestamp, &raw);
    if (FAILED(hr)) {
      if (raw) raw->Release();
      return VideoReadStatus::Failed;
    }
    if (flags & (MF_SOURCE_READERF_ENDOFSTREAM | MF_SOURCE_READERF_ERROR)) {
      if (raw) raw->Release();
      return (flags & MF_SOURCE_READERF_ENDOFSTREAM) ? VideoReadStatus::EndOfStream : VideoReadStatus::StreamError;
    }
    // A new output type (the stream's size changed, say) comes with the first sample made in it.
    const bool changed = (flags & MF_SOURCE_READERF_CURRENTMEDIATYPECHANGED) != 0;
    if (changed && !ReadFormat(reader_, format_)) {
      if (raw) raw->Release();
      return VideoReadStatus::Failed;
    }
    if (raw) {
      auto* wrapped = new (std::nothrow) MfSample(raw, timestamp);
      if (!wrapped) {
        raw->Release();
        return VideoReadStatus::Failed;
      }
      sample.reset(wrapped);
    }
    if (changed) return VideoReadStatus::FormatChanged;
    return raw ? VideoReadStatus::Sample : VideoReadStatus::NoSample;
  }

  bool SeekToStart() override {
    PROPVARIANT position;
    PropVariantInit(&position);
    position.vt = VT_I8;
    position.hVal.QuadPart = 0;
    return SUCCEEDED(reader_->SetCurrentPosition(GUID_NULL, position));
  }

 private:
  IMFSourceReader* reader_;
  VideoFormat format_;
};

class MfSession final : public VideoSession {
 public:
  explicit MfSession(bool comStarted) : comStarted_(comStarted) {}
  ~MfSession() override {
    MFShutdown();
    if (comStarted_) CoUninitialize();
  }

  std::unique_ptr<VideoReader> OpenReader(const std::wstring& path) override {
    ComPtr<IMFAttributes> attributes;
    if (FAILED(MFCreateAttributes(attributes.Out(), 1))) return nullptr;
    if (FAILED(attributes->SetUINT32(MF_SOURCE_READER_ENABLE_VIDEO_PROCESSING, TRUE))) return nullptr;
    ComPtr<IMFSourceReader> reader;
    if (FAILED(MFCreateSourceReaderFromURL(path.c_str(), attributes.get(), reader.Out())) || !reader) return nullptr;
    if (FAILED(reader->SetStreamSelection(kAllStreams, FALSE))) return nullptr;
    if (FAILED(reader->SetStreamSelection(kFirstVideo, TRUE))) return nullptr;

    ComPtr<IMFMediaType> wanted;
    if (FAILED(MFCreateMediaType(wanted.Out()))) return nullptr;
    if (FAILED(wanted->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Video))) return nullptr;
    if (FAILED(wanted->SetGUID(MF_MT_SUBTYPE, MFVideoFormat_RGB32))) return nullptr;
    if (FAILED(reader->SetCurrentMediaType(kFirstVideo, nullptr, wanted.get()))) return nullptr;

    VideoFormat format;
    if (!ReadFormat(reader.get(), format)) return nullptr;
    IMFSourceReader* kept = reader.get();
    kept->AddRef();
    return std::make_unique<MfReader>(kept, format);
  }

 private:
  bool comStarted_;
};

class MfVideoDecoding final : public VideoDecoding {
 public:
  std::unique_ptr<VideoSession> StartThread() override {
    const bool comStarted = SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED));
    if (FAILED(MFStartup(MF_VERSION, MFSTARTUP_LITE))) {
      if (comStarted) CoUninitialize();
      return nullptr;
    }
    return std::make_unique<MfSession>(comStarted);
  }
};

}  // namespace

VideoDecoding& SystemVideoDecoding() {
  static MfVideoDecoding decoding;
  return decoding;
}

}  // namespace tolvane
