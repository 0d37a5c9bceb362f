// Known folders and whole-file operations on Linux (POSIX calls and std::filesystem). The host build
// uses the same file system.
//
// Paths cross the interface as wide text and reach the system as UTF-8. The program's folders
// follow the XDG base-directory rules: $XDG_CONFIG_HOME/tolvane for the settings and
// $XDG_CACHE_HOME/tolvane for the tiles, each variable counting only when it holds an absolute path,
// else ~/.config and ~/.cache; the home folder is $HOME, else the account's entry in the password
// database. Folders the program makes are private (0700), as the rules ask.
//
// WriteDurable writes, fsyncs and closes; MoveReplacing renames and then fsyncs the folder, so a
// save followed by a power cut finds either the old file or the new one, never a torn one.
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/linux/linux_paths.h"
#include "platform/utf8.h"

namespace tolvane {
namespace {

constexpr int kListDepthLimit = 8;  // as deep as the tile cache goes, with room to spare

std::string Narrow(const std::wstring& w) { return WideToUtf8(w); }

// errno of the calling thread's last failed write or move (LastErrorText).
thread_local int lastFileError = 0;
bool Failed() {
  lastFileError = errno;
  return false;
}

bool WriteAllTo(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

class LinuxFileSystem final : public FileSystem {
 public:
  std::wstring SettingsFolder() override { return Utf8ToWide(ProgramFolder(XdgKind::Config)); }
  std::wstring CacheFolder() override { return Utf8ToWide(ProgramFolder(XdgKind::Cache)); }
  std::wstring SettingsFileShown() override {
    const std::string file = ProgramFolder(XdgKind::Config) + "/settings.ini";
    const std::string home = HomeFolder();
    if (!home.empty() && home != "/" && file.compare(0, home.size() + 1, home + "/") == 0) {
      return L"~" + Utf8ToWide(file.substr(home.size()));
    }
    return Utf8ToWide(file);
  }
  std::wstring TempFolder() override {
    std::error_code ec;
    const auto p = std::filesystem::temp_directory_path(ec);
    return ec ? std::wstring() : Utf8ToWide(p.string() + "/");
  }
  bool CreateFolder(const std::wstring& path) override { return MakeFolders(Narrow(path)); }
  bool ReadAll(const std::wstring& path, std::string& bytes) override {
    bytes.clear();
    const int fd = open(Narrow(path).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    char chunk[16384];
    bool ok = true;
    for (;;) {
      const ssize_t n = read(fd, chunk, sizeof chunk);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) ok = false;
      if (n <= 0) break;
      bytes.append(chunk, static_cast<size_t>(n));
    }
    close(fd);
    return ok;
  }
  bool WriteDurable(const std::wstring& path, const std::string& bytes) override {
    const int fd = open(Narrow(path).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) return Failed();
    if (!WriteAllTo(fd, bytes) || fsync(fd) != 0) {
      Failed();
      close(fd);
      return false;
    }
    return close(fd) == 0 || Failed();
  }
  bool Append(const std::wstring& path, const std::string& bytes) override {
    const int fd = open(Narrow(path).c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    bool ok = WriteAllTo(fd, bytes);
    ok = close(fd) == 0 && ok;
    return ok;
  }
  bool MoveReplacing(const std::wstring& from, const std::wstring& to) override {
    const std::string target = Narrow(to);
    if (std::rename(Narrow(from).c_str(), target.c_str()) != 0) return Failed();
    // The rename itself lives in the folder: without this it may not survive a power cut.
    const size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : target.substr(0, slash);
    const int dir = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
      fsync(dir);
      close(dir);
    }
    return true;
  }
  std::wstring LastErrorText() override {
    if (lastFileError == 0) return {};
    char buffer[256];
    return Utf8ToWide(strerror_r(lastFileError, buffer, sizeof buffer));  // the GNU form: it returns the text
  }
  bool Remove(const std::wstring& path) override { return unlink(Narrow(path).c_str()) == 0; }
  bool Exists(const std::wstring& path) override {
    struct stat st;
    return stat(Narrow(path).c_str(), &st) == 0 && S_ISREG(st.st_mode);
  }
  bool ListFiles(const std::wstring& folder, std::vector<FileEntry>& files) override {
    namespace fs = std::filesystem;
    files.clear();
    std::error_code ec;
    const std::string root = Narrow(folder);
    fs::recursive_directory_iterator it(root, ec), end;  // links to folders are not followed
    if (ec) return false;
    for (; it != end; it.increment(ec)) {
      if (ec) break;
      if (it.depth() >= kListDepthLimit) it.disable_recursion_pending();
      if (!it->is_regular_file(ec) || it->is_symlink(ec)) continue;
      FileEntry entry;
      entry.path = Utf8ToWide(root + "/" + fs::relative(it->path(), root, ec).string());
      entry.size = it->file_size(ec);
      const auto written = std::chrono::file_clock::to_sys(it->last_write_time(ec));
      entry.modifiedMs = std::chrono::duration_cast<std::chrono::milliseconds>(written.time_since_epoch()).count();
      files.push_back(std::move(entry));
    }
    return true;
  }
  bool SetModifiedTime(const std::wstring& path, int64_t modifiedMs) override {
    namespace fs = std::filesystem;
    const std::chrono::sys_time<std::chrono::milliseconds> when{std::chrono::milliseconds(modifiedMs)};
    std::error_code ec;
    fs::last_write_time(Narrow(path), std::chrono::file_clock::from_sys(when), ec);
    return !ec;
  }
};

}  // namespace

std::string HomeFolder() {
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] == '/') return home;
  std::vector<char> buffer(16384);
  passwd entry{};
  passwd* found = nullptr;
  if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr &&
      found->pw_dir != nullptr && found->pw_dir[0] == '/') {
    return found->pw_dir;
  }
  return {};
}

std::string ProgramFolder(XdgKind kind) {
  const char* variable = std::getenv(kind == XdgKind::Config ? "XDG_CONFIG_HOME" : "XDG_CACHE_HOME");
  if (variable != nullptr && variable[0] == '/') return std::string(variable) + "/tolvane";
  const std::string home = HomeFolder();
  if (home.empty()) return {};
  return home + (kind == XdgKind::Config ? "/.config/tolvane" : "/.cache/tolvane");
}

bool MakeFolders(const std::string& path) {
  if (path.empty()) return false;
  for (size_t at = path.find('/', 1); at != std::string::npos; at = path.find('/', at + 1)) {
    mkdir(path.substr(0, at).c_str(), 0700);  // an existing parent fails here, which is fine
  }
  return mkdir(path.c_str(), 0700) == 0;
}

FileSystem& SystemFileSystem() {
  static LinuxFileSystem fs;
  return fs;
}

}  // namespace tolvane
