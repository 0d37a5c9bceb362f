// The two sounds: a loading sound played once while the loading screen opens, and a background
// sound that loops for as long as the program runs, each one MCI device under a fixed alias
// ("tlsplash", "tlbgm") steered by command texts.
//
// The command and error texts are built here and sent through SoundCommands, so they are tested as
// texts. MCI's "repeat" flag does not work for every device type, so the background sound is kept
// looping by asking its mode at most every 700 ms and starting it again once it has stopped.
// A muted background sound is not opened at all. Main thread only.
#pragma once

#include <cstdint>
#include <string>

#include "platform/clock.h"
#include "platform/files.h"
#include "platform/sound.h"
#include "settings/settings.h"

namespace tolvane {

// The MCI device type for a file: "waveaudio" for .wav, "sequencer" for .mid and .midi (any letter
// case), "mpegvideo" (the general media player device) for anything else or no extension.
std::wstring MciDeviceType(const std::wstring& path);

class Sounds {
 public:
  static constexpr uint64_t kLoopCheckMs = 700;

  Sounds(const Settings& settings, SoundCommands& mci, FileSystem& files, Clock& clock)
      : settings_(settings), mci_(mci), files_(files), clock_(clock) {}
  Sounds(const Sounds&) = delete;
  Sounds& operator=(const Sounds&) = delete;

  // Opens and plays splashSound once (closing an open one first). Empty when it plays or when no
  // sound is set, otherwise the error text; a failed start leaves the alias closed.
  std::wstring StartLoadingSound();
  // Stops and closes the loading sound; errors are ignored.
  void StopLoadingSound();
  // Opens bgSound at the set volume and plays it from the start (closing an open one first). A
  // muted sound or volume 0 opens nothing. Empty on success or when there is nothing to play.
  std::wstring StartBackgroundSound();
  void StopBackgroundSound();
  // Sends the current volume (0 when muted) to the open background sound.
  void ApplyBackgroundVolume();
  // The media tick's part: restarts the background sound once it has played to its end.
  void KeepBackgroundLooping();

  bool loadingOpen() const { return loadingOpen_; }
  bool backgroundOpen() const { return backgroundOpen_; }

 private:
  std::wstring ErrorText(uint32_t error);
  std::wstring VolumeCommand() const;

  const Settings& settings_;
  SoundCommands& mci_;
  FileSystem& files_;
  Clock& clock_;
  bool loadingOpen_ = false;
  bool backgroundOpen_ = false;
  uint64_t lastLoopCheck_ = 0;
};

}  // namespace tolvane
