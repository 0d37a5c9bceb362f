// Known folders and whole-file operations.
//
// Paths are wide strings in the platform's own form (backslashes on Windows). Every operation
// reports failure through its result; none throws. WriteDurable writes the bytes, flushes them
// to the disk and closes the file, and reports false (leaving no guarantee about the file's
// content) when any of those steps fails. Times of files are wall-clock milliseconds since
// 1970-01-01 UTC, the scale of Clock::SystemNs / 1000000.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tolvane {

struct FileEntry {
  std::wstring path;  // the listed folder's path, a separator, and the file's path below it
  uint64_t size = 0;
  int64_t modifiedMs = 0;  // last write
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;
  // The program's own folder for its settings file, without a trailing separator: %APPDATA%\Tolvane
  // on Windows, $XDG_CONFIG_HOME/tolvane on Linux. It may not exist yet; empty when the system names
  // no such folder.
  virtual std::wstring SettingsFolder() = 0;
  // The program's own folder for data it can fetch again (map tiles), kept out of a roaming profile:
  // %LOCALAPPDATA%\Tolvane on Windows, $XDG_CACHE_HOME/tolvane on Linux. May not exist yet; empty
  // when the system names no such folder.
  virtual std::wstring CacheFolder() = 0;
  // The settings file as the settings panel names it to the user ("%APPDATA%\Tolvane\settings.ini").
  virtual std::wstring SettingsFileShown() = 0;
  // The user's temporary folder, with its trailing separator (as GetTempPathW gives it).
  virtual std::wstring TempFolder() = 0;
  // Creates one folder; false when it could not be created (also when it exists already). On Linux
  // missing parents are made too (0700), since the XDG base folders need not exist on a new account.
  virtual bool CreateFolder(const std::wstring& path) = 0;
  // Reads a whole file; false when it cannot be opened or read.
  virtual bool ReadAll(const std::wstring& path, std::string& bytes) = 0;
  virtual bool WriteDurable(const std::wstring& path, const std::string& bytes) = 0;
  // Appends bytes to a file, creating it when missing.
  virtual bool Append(const std::wstring& path, const std::string& bytes) = 0;
  // Moves from over to, replacing an existing file.
  virtual bool MoveReplacing(const std::wstring& from, const std::wstring& to) = 0;
  // Why the calling thread's last failed WriteDurable or MoveReplacing failed, in the system's
  // words ("Access is denied"); empty when the system said nothing.
  virtual std::wstring LastErrorText() { return {}; }
  virtual bool Remove(const std::wstring& path) = 0;
  virtual bool Exists(const std::wstring& path) = 0;
  // Every file below folder, at any depth (folders themselves are not listed, links are not
  // followed); false, with files empty, when folder cannot be read.
  virtual bool ListFiles(const std::wstring& folder, std::vector<FileEntry>& files) = 0;
  // Sets a file's last-write time.
  virtual bool SetModifiedTime(const std::wstring& path, int64_t modifiedMs) = 0;

  enum class ReadResult { Ok, CannotOpen, BadSize, ReadFailed };
  // Reads a whole file of 1 to maxBytes bytes: CannotOpen when it cannot be opened for reading
  // (other programs may go on reading and writing it), BadSize when it is empty or larger than
  // maxBytes (nothing is read), ReadFailed when a read fails or comes up short. bytes is empty
  // unless Ok. This default goes through ReadAll, so it reads a file of any size before checking.
  virtual ReadResult ReadLimited(const std::wstring& path, uint64_t maxBytes, std::string& bytes) {
    if (!ReadAll(path, bytes)) return ReadResult::CannotOpen;
    if (bytes.empty() || bytes.size() > maxBytes) {
      bytes.clear();
      return ReadResult::BadSize;
    }
    return ReadResult::Ok;
  }
};

// The process's real file system.
FileSystem& SystemFileSystem();

}  // namespace tolvane
