// Video decoding on GStreamer: a playbin that decodes the file's video only and hands 32-bit BGRx
// frames (the byte order of the canvas's 0xFFRRGGBB words) to an application sink that the reader
// pulls from. The sink does not pace by the clock and keeps at most two frames, so decoding runs
// as fast as the video thread reads, which paces the frames by their timestamps itself.
//
// A reader is made, used and dropped on the video thread; GStreamer's own threads only feed the
// sink and the bus. Opening waits at most kOpenLimit for the first frame; a file GStreamer cannot
// play (no plugin for its format) fails there as soon as the bus says so.
#include <gst/app/gstappsink.h>
#include <gst/gst.h>
#include <gst/video/video.h>

#include <memory>
#include <string>

#include "platform/utf8.h"
#include "platform/video.h"

namespace tolvane {
namespace {

constexpr GstClockTime kOpenLimit = 10 * GST_SECOND;
constexpr GstClockTime kReadLimit = 5 * GST_SECOND;

class GstVideoSample final : public VideoSample {
 public:
  explicit GstVideoSample(GstSample* sample) : sample_(sample) {}
  ~GstVideoSample() override { gst_sample_unref(sample_); }
  int64_t Timestamp() const override {
    GstBuffer* buffer = gst_sample_get_buffer(sample_);
    const GstClockTime pts = buffer ? GST_BUFFER_PTS(buffer) : GST_CLOCK_TIME_NONE;
    return GST_CLOCK_TIME_IS_VALID(pts) ? static_cast<int64_t>(pts / 100) : 0;
  }
  bool WithContiguousBuffer(const std::function<void(const uint8_t* data, size_t length)>& use) override {
    GstBuffer* buffer = gst_sample_get_buffer(sample_);
    GstMapInfo map;
    if (!buffer || !gst_buffer_map(buffer, &map, GST_MAP_READ)) return false;
    use(map.data, map.size);
    gst_buffer_unmap(buffer, &map);
    return true;
  }

 private:
  GstSample* sample_;
};

class GstVideoReader final : public VideoReader {
 public:
  GstVideoReader(GstElement* pipeline, GstAppSink* sink, VideoFormat format)
      : pipeline_(pipeline), sink_(sink), format_(format) {}
  ~GstVideoReader() override {
    gst_element_set_state(pipeline_, GST_STATE_NULL);
    gst_object_unref(sink_);
    gst_object_unref(pipeline_);
  }

  VideoFormat Format() const override { return format_; }

  VideoReadStatus ReadSample(std::unique_ptr<VideoSample>& sample) override {
    sample.reset();
    if (Failed()) return VideoReadStatus::StreamError;
    if (GstSample* s = gst_app_sink_try_pull_sample(sink_, kReadLimit)) {
      sample = std::make_unique<GstVideoSample>(s);
      return VideoReadStatus::Sample;
    }
    if (gst_app_sink_is_eos(sink_)) return VideoReadStatus::EndOfStream;
    return Failed() ? VideoReadStatus::StreamError : VideoReadStatus::Failed;
  }

  bool SeekToStart() override {
    return gst_element_seek_simple(pipeline_, GST_FORMAT_TIME,
                                   static_cast<GstSeekFlags>(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_KEY_UNIT), 0);
  }

 private:
  bool Failed() {
    GstBus* bus = gst_element_get_bus(pipeline_);
    GstMessage* m = gst_bus_pop_filtered(bus, GST_MESSAGE_ERROR);
    gst_object_unref(bus);
    if (m) {
      gst_message_unref(m);
      failed_ = true;
    }
    return failed_;
  }

  GstElement* pipeline_;
  GstAppSink* sink_;
  VideoFormat format_;
  bool failed_ = false;
};

class GstVideoSession final : public VideoSession {
 public:
  std::unique_ptr<VideoReader> OpenReader(const std::wstring& path) override {
    const std::string name = WideToUtf8(path);
    gchar* uri = name.empty() ? nullptr : g_filename_to_uri(name.c_str(), nullptr, nullptr);
    if (!uri) return nullptr;
    GstElement* pipeline = gst_element_factory_make("playbin", nullptr);
    GstElement* sink = gst_element_factory_make("appsink", nullptr);
    if (!pipeline || !sink) {
      g_free(uri);
      if (pipeline) gst_object_unref(pipeline);
      if (sink) gst_object_unref(sink);
      return nullptr;
    }
    GstCaps* caps = gst_caps_from_string("video/x-raw,format=BGRx");
    g_object_set(sink, "caps", caps, "sync", FALSE, "max-buffers", 2u, "drop", FALSE, nullptr);
    gst_caps_unref(caps);
    gst_object_ref(sink);  // the reader keeps its own reference to pull from
    g_object_set(pipeline, "uri", uri, "video-sink", sink, "flags", 0x1 /* video only */, nullptr);
    g_free(uri);

    VideoFormat format;
    GstSample* preroll = nullptr;
    if (gst_element_set_state(pipeline, GST_STATE_PAUSED) != GST_STATE_CHANGE_FAILURE) {
      // Ready, or refused (no plugin for the format, not a video): whichever the bus says first.
      GstBus* bus = gst_element_get_bus(pipeline);
      GstMessage* m = gst_bus_timed_pop_filtered(
          bus, kOpenLimit, static_cast<GstMessageType>(GST_MESSAGE_ASYNC_DONE | GST_MESSAGE_ERROR));
      gst_object_unref(bus);
      if (m && GST_MESSAGE_TYPE(m) == GST_MESSAGE_ASYNC_DONE)
        preroll = gst_app_sink_try_pull_preroll(GST_APP_SINK(sink), 0);
      if (m) gst_message_unref(m);
    }
    GstVideoInfo info;
    if (preroll && gst_video_info_from_caps(&info, gst_sample_get_caps(preroll))) {
      format.width = GST_VIDEO_INFO_WIDTH(&info);
      format.height = GST_VIDEO_INFO_HEIGHT(&info);
      format.stride = GST_VIDEO_INFO_PLANE_STRIDE(&info, 0);
    }
    if (preroll) gst_sample_unref(preroll);
    if (format.width < 1 || format.height < 1 ||
        gst_element_set_state(pipeline, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
      gst_element_set_state(pipeline, GST_STATE_NULL);
      gst_object_unref(sink);
      gst_object_unref(pipeline);
      return nullptr;
    }
    return std::make_unique<GstVideoReader>(pipeline, GST_APP_SINK(sink), format);
  }
};

class GstVideoDecoding final : public VideoDecoding {
 public:
  std::unique_ptr<VideoSession> StartThread() override {
    if (!gst_init_check(nullptr, nullptr, nullptr)) return nullptr;
    return std::make_unique<GstVideoSession>();
  }
};

}  // namespace

VideoDecoding& SystemVideoDecoding() {
  static GstVideoDecoding decoding;
  return decoding;
}

}  // namespace tolvane
