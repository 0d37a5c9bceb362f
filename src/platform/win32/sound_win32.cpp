// MCI command strings on Win32 (winmm). The reply buffer is sized by the caller; mciSendStringW
// writes at most its length minus one characters and the terminating zero.
#include <windows.h>
#include <mmsystem.h>

#include <vector>

#include "platform/sound.h"

namespace tolvane {
namespace {

class MciSoundCommands final : public SoundCommands {
 public:
  uint32_t Send(const std::wstring& command, std::wstring* reply, size_t replyCapacity) override {
    if (!reply || replyCapacity == 0) return mciSendStringW(command.c_str(), nullptr, 0, nullptr);
    std::vector<wchar_t> buffer(replyCapacity, L'\0');
    const MCIERROR error = mciSendStringW(command.c_str(), buffer.data(), static_cast<UINT>(buffer.size()), nullptr);
    buffer.back() = L'\0';
    if (error == 0) {
      reply->assign(buffer.data());
    } else {
      reply->clear();
    }
    return error;
  }

  std::wstring ErrorText(uint32_t error) override {
    wchar_t buffer[256] = {};
    if (!mciGetErrorStringW(error, buffer, 255)) return {};
    buffer[255] = L'\0';
    return buffer;
  }
};

}  // namespace

SoundCommands& SystemSoundCommands() {
  static MciSoundCommands commands;
  return commands;
}

void PlayNotificationSound() {
  // The sound event of notifications (Windows 8 and later); without it, the information beep.
  if (!PlaySoundW(L"Notification.Default", nullptr, SND_ALIAS | SND_ASYNC | SND_NODEFAULT))
    MessageBeep(MB_ICONASTERISK);
}

}  // namespace tolvane
