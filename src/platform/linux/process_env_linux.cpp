// Facts about the running process on Linux (the host build uses the same).
#include <unistd.h>

#include <climits>

#include "platform/linux/linux_paths.h"
#include "platform/process_env.h"
#include "platform/utf8.h"

namespace tolvane {

uint32_t CurrentProcessId() { return static_cast<uint32_t>(getpid()); }

std::string ExecutablePath() {
  char buffer[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer);
  return n > 0 && static_cast<size_t>(n) < sizeof buffer ? std::string(buffer, static_cast<size_t>(n)) : std::string();
}

std::wstring CurrentExecutableName() {
  const std::string path = ExecutablePath();
  return Utf8ToWide(path.substr(path.rfind('/') + 1));
}

}  // namespace tolvane
