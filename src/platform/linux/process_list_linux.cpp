// The process list on Linux: every numeric folder of /proc.
//
// A process's name is the base name of its executable (/proc/<pid>/exe), so a program is named
// after its file as on Windows ("Discord", "steam", "firefox"); a process whose executable cannot
// be read (another user's, when not running as root) is named after the first word of its command
// line, and a kernel thread, which has neither, after its comm. A process that ends while it is
// read is left out. The creation time is field 22 of /proc/<pid>/stat (clock ticks after boot).
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <string>
#include <string_view>

#include "platform/linux/linux_parse.h"
#include "platform/process_list.h"
#include "platform/utf8.h"

namespace tolvane {
namespace {

// The first bytes (up to capacity) of a small /proc file; empty when it cannot be read.
std::string ReadSmall(const char* path, size_t capacity) {
  const int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return {};
  std::string text(capacity, '\0');
  const ssize_t n = read(fd, text.data(), text.size());
  close(fd);
  text.resize(n > 0 ? static_cast<size_t>(n) : 0);
  return text;
}

std::string_view BaseName(std::string_view path) {
  const size_t slash = path.rfind('/');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

std::string NameOf(uint32_t pid) {
  char path[48];
  std::snprintf(path, sizeof path, "/proc/%u/exe", pid);
  char target[PATH_MAX];
  const ssize_t n = readlink(path, target, sizeof target);
  if (n > 0 && static_cast<size_t>(n) < sizeof target) {
    std::string_view exe(target, static_cast<size_t>(n));
    constexpr std::string_view kDeleted = " (deleted)";  // the file was replaced while running
    if (exe.size() > kDeleted.size() && exe.substr(exe.size() - kDeleted.size()) == kDeleted) {
      exe.remove_suffix(kDeleted.size());
    }
    if (!BaseName(exe).empty()) return std::string(BaseName(exe));
  }
  std::snprintf(path, sizeof path, "/proc/%u/cmdline", pid);
  const std::string command = ReadSmall(path, 4096);
  const std::string_view first = std::string_view(command).substr(0, command.find_first_of(std::string_view(" \0", 2)));
  if (!BaseName(first).empty()) return std::string(BaseName(first));
  std::snprintf(path, sizeof path, "/proc/%u/comm", pid);
  std::string comm = ReadSmall(path, 64);
  while (!comm.empty() && comm.back() == '\n') comm.pop_back();
  return comm;
}

class LinuxProcessList final : public ProcessList {
 public:
  bool Snapshot(std::vector<ProcessEntry>& out) override {
    out.clear();
    DIR* proc = opendir("/proc");
    if (proc == nullptr) return false;
    while (const dirent* e = readdir(proc)) {
      ProcessEntry entry;
      if (!ParseProcessId(e->d_name, entry.pid)) continue;
      char path[48];
      std::snprintf(path, sizeof path, "/proc/%u/stat", entry.pid);
      const std::string stat = ReadSmall(path, 1024);
      if (stat.empty()) continue;  // ended meanwhile
      entry.creationTime = StatStartTime(stat);
      entry.exeName = Utf8ToWide(NameOf(entry.pid));
      out.push_back(std::move(entry));
    }
    closedir(proc);
    return true;
  }
};

}  // namespace

ProcessList& SystemProcessList() {
  static LinuxProcessList list;
  return list;
}

}  // namespace tolvane
