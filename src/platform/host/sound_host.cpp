// The Linux host plays no sound: every command fails with MCI's "cannot find the device" code.
#include "platform/sound.h"

namespace tolvane {
namespace {

class NoSoundCommands final : public SoundCommands {
 public:
  uint32_t Send(const std::wstring&, std::wstring* reply, size_t) override {
    if (reply) reply->clear();
    return 263;
  }
  std::wstring ErrorText(uint32_t) override { return L"No sound device on this system."; }
};

}  // namespace

SoundCommands& SystemSoundCommands() {
  static NoSoundCommands commands;
  return commands;
}

void PlayNotificationSound() {}

}  // namespace tolvane
