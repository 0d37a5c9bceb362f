// The single-instance lock: flock on a file in the runtime folder.
#include "platform/linux/single_instance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/linux/linux_paths.h"

namespace tolvane {
namespace {

// The runtime folder, made when missing; empty when it cannot be had or is not this user's own.
std::string RuntimeFolder() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime != nullptr && runtime[0] == '/') return runtime;
  const std::string cache = ProgramFolder(XdgKind::Cache);
  if (cache.empty()) return {};
  const std::string folder = cache + "/run";
  MakeFolders(folder);
  struct stat st;
  // Another user's folder, or one others may write, could hold a lock meant to keep us out.
  if (lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != getuid() || (st.st_mode & 0077) != 0) {
    return {};
  }
  return folder;
}

}  // namespace

SingleInstanceLock::SingleInstanceLock() : folder_(RuntimeFolder()) {
  if (folder_.empty()) return;
  fd_ = open((folder_ + "/tolvane.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd_ < 0) return;
  if (flock(fd_, LOCK_EX | LOCK_NB) == 0) {
    result_ = Result::Acquired;
  } else if (errno == EWOULDBLOCK) {
    result_ = Result::AlreadyRunning;
  }
}

SingleInstanceLock::~SingleInstanceLock() {
  if (fd_ >= 0) close(fd_);
}

}  // namespace tolvane
