// The single-instance lock of the Linux program: an exclusive flock on "tolvane.lock" in the
// user's runtime folder ($XDG_RUNTIME_DIR; when unset, as under sudo, a private 0700 folder "run" in
// the program's cache folder). The kernel drops the lock when the process ends, however it ends, so
// a crashed instance never blocks the next start.
//
// The entry point takes it once at start: Acquired, go on; AlreadyRunning, hand over to the first
// instance and exit; Unavailable (the folder cannot be made or the file opened), start normally, as
// the Windows program does when its mutex cannot be created. The first instance keeps the object
// alive until exit. Folder() is where a socket to reach the first instance belongs, beside the lock.
#pragma once

#include <string>

namespace tolvane {

class SingleInstanceLock {
 public:
  enum class Result { Acquired, AlreadyRunning, Unavailable };

  SingleInstanceLock();  // takes the lock
  ~SingleInstanceLock();
  SingleInstanceLock(const SingleInstanceLock&) = delete;
  SingleInstanceLock& operator=(const SingleInstanceLock&) = delete;

  Result result() const { return result_; }
  // The folder holding the lock file (UTF-8, no trailing "/"); empty when none could be had.
  const std::string& Folder() const { return folder_; }

 private:
  Result result_ = Result::Unavailable;
  std::string folder_;
  int fd_ = -1;
};

}  // namespace tolvane
