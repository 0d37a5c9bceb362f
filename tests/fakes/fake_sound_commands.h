// An MCI that remembers every command text and answers from tables: commands that fail (by their
// first words), replies (by the whole command) and error texts made from the code. Single-threaded.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/sound.h"

namespace tolvane {

class FakeSoundCommands final : public SoundCommands {
 public:
  uint32_t Send(const std::wstring& command, std::wstring* reply, size_t replyCapacity) override {
    sent.push_back(command);
    replyCapacities.push_back(reply ? replyCapacity : 0);
    if (reply) reply->clear();
    for (const auto& [prefix, code] : failures) {
      if (command.compare(0, prefix.size(), prefix) == 0) return code;
    }
    auto it = replies.find(command);
    if (reply && it != replies.end() && replyCapacity > 0) *reply = it->second.substr(0, replyCapacity - 1);
    return 0;
  }
  std::wstring ErrorText(uint32_t error) override { return L"MCI says " + std::to_wstring(error); }

  // A command starting with the key fails with its code.
  std::map<std::wstring, uint32_t> failures;
  std::map<std::wstring, std::wstring> replies;
  std::vector<std::wstring> sent;
  std::vector<size_t> replyCapacities;  // per command; 0 when no reply was asked for
};

}  // namespace tolvane
