// Sound through the Media Control Interface: command strings and their error texts.
//
// The program opens each sound as one MCI device under a fixed alias and steers it with command
// texts ("open ... alias x", "play x", "status x mode"), so the whole service is two calls: send a
// command (mciSendStringW, synchronous) and turn an error code into its text (mciGetErrorStringW).
// The command texts themselves are built by the caller, which keeps them testable. Main thread only.
#pragma once

#include <cstdint>
#include <string>

namespace tolvane {

class SoundCommands {
 public:
  virtual ~SoundCommands() = default;
  // Sends one command. 0 on success, otherwise the MCI error code. When reply is given, the
  // device's answer is written into it: at most replyCapacity - 1 characters (the call's buffer
  // holds replyCapacity characters with the terminating zero); it is left empty on an error.
  virtual uint32_t Send(const std::wstring& command, std::wstring* reply = nullptr, size_t replyCapacity = 0) = 0;
  // The text of an error code, read into a zeroed buffer of 256 characters (at most 255 used);
  // empty when the system knows no text for it.
  virtual std::wstring ErrorText(uint32_t error) = 0;
};

// The process's MCI. On the Linux host, which plays nothing, every command fails.
SoundCommands& SystemSoundCommands();

// Starts the system's notification sound (the one the user chose for notifications) and returns at
// once; nothing when the system has none or cannot play. Main thread only.
void PlayNotificationSound();

}  // namespace tolvane
