// Whole-file operations on the Linux host (std::filesystem and stdio). Wide paths are narrowed
// code unit by code unit, which is enough for the ASCII paths that host tests and tools use.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "platform/files.h"
#include "platform/process_env.h"

namespace tolvane {
namespace {

std::string Narrow(const std::wstring& w) {
  std::string s;
  s.reserve(w.size());
  for (wchar_t c : w) s.push_back(static_cast<char>(c));
  return s;
}

std::wstring Widen(const std::string& s) { return std::wstring(s.begin(), s.end()); }

class HostFileSystem final : public FileSystem {
 public:
  std::wstring RoamingAppDataFolder() override {
    const char* home = std::getenv("HOME");
    return home ? Widen(std::string(home) + "/.config") : std::wstring();
  }
  std::wstring LocalAppDataFolder() override {
    const char* home = std::getenv("HOME");
    return home ? Widen(std::string(home) + "/.cache") : std::wstring();
  }
  std::wstring TempFolder() override {
    std::error_code ec;
    auto p = std::filesystem::temp_directory_path(ec);
    return ec ? std::wstring() : Widen(p.string() + "/");
  }
  bool CreateFolder(const std::wstring& path) override {
    std::error_code ec;
    return std::filesystem::create_directory(Narrow(path), ec);
  }
  bool ReadAll(const std::wstring& path, std::string& bytes) override {
    bytes.clear();
    FILE* f = std::fopen(Narrow(path).c_str(), "rb");
    if (!f) return false;
    char chunk[16384];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) bytes.append(chunk, n);
    const bool ok = std::ferror(f) == 0;
    std::fclose(f);
    return ok;
  }
  bool WriteDurable(const std::wstring& path, const std::string& bytes) override {
    FILE* f = std::fopen(Narrow(path).c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    ok = std::fflush(f) == 0 && ok;
    ok = ok && fsync(fileno(f)) == 0;
    ok = std::fclose(f) == 0 && ok;
    return ok;
  }
  bool Append(const std::wstring& path, const std::string& bytes) override {
    FILE* f = std::fopen(Narrow(path).c_str(), "ab");
    if (!f) return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    ok = std::fclose(f) == 0 && ok;
    return ok;
  }
  bool MoveReplacing(const std::wstring& from, const std::wstring& to) override {
    return std::rename(Narrow(from).c_str(), Narrow(to).c_str()) == 0;
  }
  bool Remove(const std::wstring& path) override { return std::remove(Narrow(path).c_str()) == 0; }
  bool Exists(const std::wstring& path) override {
    std::error_code ec;
    return std::filesystem::is_regular_file(Narrow(path), ec);
  }
  bool ListFiles(const std::wstring& folder, std::vector<FileEntry>& files) override {
    namespace fs = std::filesystem;
    files.clear();
    std::error_code ec;
    const std::string root = Narrow(folder);
    fs::recursive_directory_iterator it(root, ec), end;
    if (ec) return false;
    for (; it != end; it.increment(ec)) {
      if (ec) break;
      if (!it->is_regular_file(ec)) continue;
      FileEntry entry;
      entry.path = Widen(root + "/" + fs::relative(it->path(), root, ec).string());
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

FileSystem& SystemFileSystem() {
  static HostFileSystem fs;
  return fs;
}

uint32_t CurrentProcessId() { return static_cast<uint32_t>(getpid()); }

std::wstring CurrentExecutableName() {
  std::error_code ec;
  auto p = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::wstring() : Widen(p.filename().string());
}

}  // namespace tolvane
