// Known folders and whole-file operations.
//
// Paths are wide strings in the platform's own form (backslashes on Windows). Every operation
// reports failure through its result; none throws. WriteDurable writes the bytes, flushes them
// to the disk and closes the file, and reports false (leaving no guarantee about the file's
// content) when any of those steps fails.
#pragma once

#include <cstdint>
#include <string>

namespace tolvane {

class FileSystem {
 public:
  virtual ~FileSystem() = default;
  // The user's roaming application-data folder, without a trailing separator; empty on failure.
  virtual std::wstring RoamingAppDataFolder() = 0;
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
