// The second start's hand-over on Linux: the running instance listens on a Unix socket beside its
// single-instance lock file, and a second ordinary start that finds the lock taken connects, asks
// it to raise its window and exits.
//
// The protocol is one line each way: "raise\n" and "ok\n". The socket lives in the same private
// folder as the lock (the user's runtime folder), so only the same user can connect. The instance
// holding the lock owns the socket's name: a file left by one that crashed is replaced.
#pragma once

#include <functional>
#include <string>

namespace tolvane {

class RaiseServer {
 public:
  RaiseServer() = default;
  ~RaiseServer();
  RaiseServer(const RaiseServer&) = delete;
  RaiseServer& operator=(const RaiseServer&) = delete;

  // Listens at path and calls raise() on the main loop for every request; false when the socket
  // cannot be made (the program runs on without it).
  bool Start(const std::string& path, std::function<void()> raise);
  void Stop();

 private:
  static int OnReadable(int fd, unsigned condition, void* data);
  int listener_ = -1;
  unsigned source_ = 0;
  std::string path_;
  std::function<void()> raise_;
};

// Asks the instance listening at path to raise its window; true when it answered within
// timeoutMs. A first instance that is still starting or already closing does not answer.
bool AskToRaise(const std::string& path, int timeoutMs);

}  // namespace tolvane
