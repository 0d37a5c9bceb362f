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
  // The user's roaming application-data folder, without a trailing separator; empty on failure.
  virtual std::wstring RoamingAppDataFolder() = 0;
  // The user's local (not roaming) application-data folder, for data that must not travel with a
  // roaming profile, such as caches; without a trailing separator; empty on failure.
  virtual std::wstring LocalAppDataFolder() = 0;
  // The user's temporary folder, with its trailing separator (as GetTempPathW gives it).
  virtual std::wstring TempFolder() = 0;
  // Creates one folder; false when it could not be created (also when it exists already).
  virtual bool CreateFolder(const std::wstring& path) = 0;
  // Reads a whole file; false when it cannot be opened or read.
  virtual bool ReadAll(const std::wstring& path, std::string& bytes) = 0;
  virtual bool WriteDurable(const std::wstring& path, const std::string& bytes) = 0;
  // Appends bytes to a file, creating it when missing.
  virtual bool Append(const std::wstring& path, const std::string& bytes) = 0;
  // Moves from over to, replacing an existing file.
  virtual bool MoveReplacing(const std::wstring& from, const std::wstring& to) = 0;
  virtual bool Remove(const std::wstring& path) = 0;
  virtual bool Exists(const std::wstring& path) = 0;
  // Every file below folder, at any depth (folders themselves are not listed, links are not
  // followed); false, with files empty, when folder cannot be read.
  virtual bool ListFiles(const std::wstring& folder, std::vector<FileEntry>& files) = 0;
  // Sets a file's last-write time.
  virtual bool SetModifiedTime(const std::wstring& path, int64_t modifiedMs) = 0;
};

// The process's real file system.
FileSystem& SystemFileSystem();

}  // namespace tolvane
