// The loading and background sounds as MCI command texts.
#include "appearance/sounds.h"

#include "appearance/media.h"

namespace tolvane {
namespace {

constexpr size_t kModeReplyChars = 64;

std::wstring OpenCommand(const std::wstring& path, const wchar_t* alias) {
  return L"open \"" + path + L"\" type " + MciDeviceType(path) + L" alias " + alias;
}

}  // namespace

std::wstring MciDeviceType(const std::wstring& path) {
  const std::wstring ext = LowerExtension(path);
  if (ext == L".wav") return L"waveaudio";
  if (ext == L".mid" || ext == L".midi") return L"sequencer";
  return L"mpegvideo";
}

std::wstring Sounds::ErrorText(uint32_t error) { return mci_.ErrorText(error); }

std::wstring Sounds::VolumeCommand() const {
  const int32_t volume = settings_.bgMute ? 0 : settings_.bgVol * 10;
  return L"setaudio tlbgm volume to " + std::to_wstring(volume);
}

std::wstring Sounds::StartLoadingSound() {
  if (loadingOpen_) StopLoadingSound();
  const std::wstring& path = settings_.splashSound;
  if (path.empty()) return {};
  if (path.find(L'"') != std::wstring::npos) return L"Sound path contains a quote character";
  if (!files_.Exists(path)) return L"Sound file not found";
  if (const uint32_t e = mci_.Send(OpenCommand(path, L"tlsplash"))) return L"Cannot play this file: " + ErrorText(e);
  loadingOpen_ = true;
  if (const uint32_t e = mci_.Send(L"play tlsplash")) {
    StopLoadingSound();
    return L"Cannot play this file: " + ErrorText(e);
  }
  return {};
}

void Sounds::StopLoadingSound() {
  mci_.Send(L"stop tlsplash");
  mci_.Send(L"close tlsplash");
  loadingOpen_ = false;
}

std::wstring Sounds::StartBackgroundSound() {
  if (backgroundOpen_) StopBackgroundSound();
  const std::wstring& path = settings_.bgSound;
  if (path.empty() || settings_.bgMute || settings_.bgVol <= 0) return {};
  if (path.find(L'"') != std::wstring::npos) return L"Sound path contains a quote character";
  if (!files_.Exists(path)) return L"Background sound file not found";
  if (const uint32_t e = mci_.Send(OpenCommand(path, L"tlbgm"))) return L"Cannot play this sound: " + ErrorText(e);
  backgroundOpen_ = true;
  mci_.Send(VolumeCommand());  // a device without volume control still plays
  if (const uint32_t e = mci_.Send(L"play tlbgm from 0")) {
    StopBackgroundSound();
    return L"Cannot play this sound: " + ErrorText(e);
  }
  return {};
}

void Sounds::StopBackgroundSound() {
  mci_.Send(L"stop tlbgm");
  mci_.Send(L"close tlbgm");
  backgroundOpen_ = false;
}

void Sounds::ApplyBackgroundVolume() { mci_.Send(VolumeCommand()); }

void Sounds::KeepBackgroundLooping() {
  if (!backgroundOpen_) return;
  const uint64_t now = clock_.TickMs();
  if (now - lastLoopCheck_ < kLoopCheckMs) return;
  lastLoopCheck_ = now;
  std::wstring mode;
  if (mci_.Send(L"status tlbgm mode", &mode, kModeReplyChars) == 0 && mode == L"stopped") {
    mci_.Send(L"play tlbgm from 0");
  }
}

}  // namespace tolvane
