// The sound commands on GStreamer: the few MCI command texts the program sends, each played by a
// playbin element under its alias.
//
//   open "<path>" type <any> alias <a>   a player for the file, prerolled, so a file GStreamer cannot
//                                        play fails here, as MCI's open does
//   play <a> [from 0]                    plays (from the start)
//   stop <a>, close <a>                  pauses; stops and frees the player
//   status <a> mode                      "playing", or "stopped" once paused or at its end
//   setaudio <a> volume to <0-1000>      the player's volume
//
// Error codes are MCI's numbers, so the portable code's handling stays the same; the texts say
// what went wrong here (GStreamer's own message for a file it cannot play). Without an audio
// device the sound plays into a silent sink that keeps its pace, so looping and the modes behave
// the same. Main thread only; GStreamer's threads only post to the player's bus, which status reads.
#include <gst/gst.h>

#include <cwctype>
#include <map>
#include <string>
#include <vector>

#include "platform/sound.h"
#include "platform/utf8.h"

namespace tolvane {
namespace {

constexpr uint32_t kErrInvalidDevice = 263;  // MCIERR_INVALID_DEVICE_NAME
constexpr uint32_t kErrUnrecognized = 261;   // MCIERR_UNRECOGNIZED_COMMAND
constexpr uint32_t kErrFileNotFound = 275;   // MCIERR_FILE_NOT_FOUND
constexpr uint32_t kErrCannotPlay = 277;     // MCIERR_INTERNAL: the player refused the file
constexpr uint32_t kErrNoSupport = 266;      // MCIERR_CANNOT_LOAD_DRIVER: no GStreamer
constexpr uint32_t kErrDuplicate = 289;      // MCIERR_DUPLICATE_ALIAS
constexpr GstClockTime kPrerollLimit = 5 * GST_SECOND;

// The words of a command; a double-quoted part is one word without its quotes.
std::vector<std::wstring> Words(const std::wstring& command) {
  std::vector<std::wstring> words;
  size_t i = 0;
  while (i < command.size()) {
    while (i < command.size() && command[i] == L' ') ++i;
    if (i >= command.size()) break;
    if (command[i] == L'"') {
      const size_t end = command.find(L'"', i + 1);
      words.push_back(command.substr(i + 1, end == std::wstring::npos ? std::wstring::npos : end - i - 1));
      i = end == std::wstring::npos ? command.size() : end + 1;
    } else {
      const size_t end = command.find(L' ', i);
      words.push_back(command.substr(i, end == std::wstring::npos ? std::wstring::npos : end - i));
      i = end == std::wstring::npos ? command.size() : end;
    }
  }
  for (size_t k = 0; k < words.size(); ++k) {
    if (k == 1 && words[0] == L"open") continue;  // a path keeps its letter case
    for (wchar_t& c : words[k]) c = static_cast<wchar_t>(std::towlower(c));
  }
  return words;
}

struct Player {
  GstElement* pipeline = nullptr;
  bool playing = false;
};

class GstSoundCommands final : public SoundCommands {
 public:
  ~GstSoundCommands() override {
    for (auto& [alias, player] : players_) Free(player);
  }

  uint32_t Send(const std::wstring& command, std::wstring* reply, size_t replyCapacity) override {
    if (reply) reply->clear();
    const std::vector<std::wstring> w = Words(command);
    if (w.empty()) return kErrUnrecognized;
    if (w[0] == L"open") return Open(w);
    if (w.size() < 2) return kErrUnrecognized;
    auto it = players_.find(w[1]);
    if (it == players_.end()) return kErrInvalidDevice;
    Player& p = it->second;
    if (w[0] == L"play") {
      if (w.size() >= 4 && w[2] == L"from") {
        gst_element_seek_simple(p.pipeline, GST_FORMAT_TIME,
                                static_cast<GstSeekFlags>(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE), 0);
      }
      if (gst_element_set_state(p.pipeline, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) return kErrCannotPlay;
      p.playing = true;
      return 0;
    }
    if (w[0] == L"stop") {
      gst_element_set_state(p.pipeline, GST_STATE_PAUSED);
      p.playing = false;
      return 0;
    }
    if (w[0] == L"close") {
      Free(p);
      players_.erase(it);
      return 0;
    }
    if (w[0] == L"status" && w.size() >= 3 && w[2] == L"mode") {
      Poll(p);
      if (reply && replyCapacity > 0) {
        *reply = p.playing ? L"playing" : L"stopped";
        if (reply->size() > replyCapacity - 1) reply->resize(replyCapacity - 1);
      }
      return 0;
    }
    if (w[0] == L"setaudio" && w.size() >= 5 && w[2] == L"volume" && w[3] == L"to") {
      const double volume = std::wcstod(w[4].c_str(), nullptr) / 1000.0;
      g_object_set(p.pipeline, "volume", volume < 0 ? 0.0 : volume > 1 ? 1.0 : volume, nullptr);
      return 0;
    }
    return kErrUnrecognized;
  }

  std::wstring ErrorText(uint32_t error) override {
    switch (error) {
      case kErrInvalidDevice:
        return L"The specified device is not open or is not recognized.";
      case kErrUnrecognized:
        return L"The command is not recognized.";
      case kErrFileNotFound:
        return L"The specified file cannot be found.";
      case kErrNoSupport:
        return L"Sound support (GStreamer) is not available.";
      case kErrDuplicate:
        return L"The alias is already in use.";
      case kErrCannotPlay:
        return lastError_.empty() ? L"The file cannot be played." : lastError_;
      default:
        return {};
    }
  }

 private:
  uint32_t Open(const std::vector<std::wstring>& w) {
    // open "<path>" type <type> alias <alias>
    if (w.size() < 6 || w[2] != L"type" || w[4] != L"alias") return kErrUnrecognized;
    if (players_.count(w[5])) return kErrDuplicate;
    if (!gst_init_check(nullptr, nullptr, nullptr)) return kErrNoSupport;
    const std::string path = WideToUtf8(w[1]);
    if (path.empty() || !g_file_test(path.c_str(), G_FILE_TEST_IS_REGULAR)) return kErrFileNotFound;
    gchar* uri = g_filename_to_uri(path.c_str(), nullptr, nullptr);
    GstElement* pipeline = uri ? gst_element_factory_make("playbin", nullptr) : nullptr;
    if (!pipeline) {
      g_free(uri);
      return kErrNoSupport;
    }
    g_object_set(pipeline, "uri", uri, nullptr);
    g_free(uri);
    // Sound only; a machine without an audio device plays into a silent sink at the same pace.
    g_object_set(pipeline, "flags", 0x2 /* audio */, nullptr);
    if (GstElement* device = gst_element_factory_make("autoaudiosink", nullptr)) {
      if (gst_element_set_state(device, GST_STATE_READY) != GST_STATE_CHANGE_FAILURE) {
        gst_element_set_state(device, GST_STATE_NULL);
        g_object_set(pipeline, "audio-sink", device, nullptr);
      } else {
        gst_object_unref(device);
        g_object_set(pipeline, "audio-sink", gst_element_factory_make("fakesink", nullptr), nullptr);
      }
    }
    Player p{pipeline, false};
    if (!Preroll(p)) {
      Free(p);
      return kErrCannotPlay;
    }
    players_.emplace(w[5], p);
    return 0;
  }

  // Pauses the new player and waits for it to be ready or to fail; false (with lastError_) on failure.
  bool Preroll(Player& p) {
    if (gst_element_set_state(p.pipeline, GST_STATE_PAUSED) == GST_STATE_CHANGE_FAILURE) {
      lastError_ = L"The file cannot be played.";
      Poll(p);
      return false;
    }
    GstBus* bus = gst_element_get_bus(p.pipeline);
    GstMessage* m = gst_bus_timed_pop_filtered(bus, kPrerollLimit,
                                               static_cast<GstMessageType>(GST_MESSAGE_ASYNC_DONE | GST_MESSAGE_ERROR));
    gst_object_unref(bus);
    const bool ok = m && GST_MESSAGE_TYPE(m) == GST_MESSAGE_ASYNC_DONE;
    if (!ok) lastError_ = m ? ErrorOf(m) : L"The file did not open in time.";
    if (m) gst_message_unref(m);
    return ok;
  }

  // Reads the bus: the end of the stream or an error stops the sound.
  void Poll(Player& p) {
    GstBus* bus = gst_element_get_bus(p.pipeline);
    while (GstMessage* m =
               gst_bus_pop_filtered(bus, static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR))) {
      if (GST_MESSAGE_TYPE(m) == GST_MESSAGE_ERROR) lastError_ = ErrorOf(m);
      p.playing = false;
      gst_message_unref(m);
    }
    gst_object_unref(bus);
  }

  static std::wstring ErrorOf(GstMessage* m) {
    GError* error = nullptr;
    gst_message_parse_error(m, &error, nullptr);
    std::wstring text = Utf8ToWide(error && error->message ? error->message : "The file cannot be played.");
    if (error) g_error_free(error);
    return text;
  }

  static void Free(Player& p) {
    if (!p.pipeline) return;
    gst_element_set_state(p.pipeline, GST_STATE_NULL);
    gst_object_unref(p.pipeline);
    p.pipeline = nullptr;
  }

  std::map<std::wstring, Player> players_;
  std::wstring lastError_;
};

}  // namespace

SoundCommands& SystemSoundCommands() {
  static GstSoundCommands commands;
  return commands;
}

void PlayNotificationSound() {
  // The desktop's sound theme names the event "message-new-instant"; the freedesktop theme ships it.
  // A new event restarts the sound; without the file or a player nothing plays.
  static const wchar_t* const kFiles[] = {L"/usr/share/sounds/freedesktop/stereo/message-new-instant.oga",
                                          L"/usr/share/sounds/freedesktop/stereo/message.oga"};
  SoundCommands& sound = SystemSoundCommands();
  sound.Send(L"close notification");
  for (const wchar_t* file : kFiles) {
    if (sound.Send(std::wstring(L"open \"") + file + L"\" type mpegvideo alias notification") != 0) continue;
    sound.Send(L"play notification from 0");
    return;
  }
}

}  // namespace tolvane
