// An in-memory FileSystem for tests: files are byte strings keyed by their path, folders a set.
//
// Failures are injected per operation (a settings folder that cannot be had, a write, a move, an
// open or a read that fails), and a failed WriteDurable leaves half of the bytes behind, as a full disk
// would, so a test can prove that the caller cleans up. Every call is counted. A file written or
// appended to gets nowMs as its last-write time; a move carries the time along. Single-threaded.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/files.h"

namespace tolvane {

class FakeFileSystem : public FileSystem {
 public:
  std::wstring SettingsFolder() override { return settingsFolder; }
  std::wstring CacheFolder() override { return cacheFolder; }
  std::wstring SettingsFileShown() override { return L"%APPDATA%\\Tolvane\\settings.ini"; }
  std::wstring TempFolder() override { return temp; }
  bool CreateFolder(const std::wstring& path) override {
    ++createFolderCalls;
    if (failCreateFolder) return false;
    return folders.insert(path).second;
  }
  bool ReadAll(const std::wstring& path, std::string& bytes) override {
    bytes.clear();
    ++readCalls;
    auto it = files.find(path);
    if (failRead || it == files.end()) return false;
    bytes = it->second;
    return true;
  }
  bool WriteDurable(const std::wstring& path, const std::string& bytes) override {
    ++writeCalls;
    modified[path] = nowMs;
    if (failWrite) {
      files[path] = bytes.substr(0, bytes.size() / 2);
      return false;
    }
    files[path] = bytes;
    return true;
  }
  bool Append(const std::wstring& path, const std::string& bytes) override {
    if (failWrite) return false;
    files[path] += bytes;
    modified[path] = nowMs;
    return true;
  }
  bool MoveReplacing(const std::wstring& from, const std::wstring& to) override {
    ++moveCalls;
    auto it = files.find(from);
    if (failMove || it == files.end()) return false;
    std::string bytes = std::move(it->second);
    files.erase(it);
    files[to] = std::move(bytes);
    modified[to] = modified[from];
    modified.erase(from);
    return true;
  }
  std::wstring LastErrorText() override { return errorText; }
  bool Remove(const std::wstring& path) override {
    ++removeCalls;
    modified.erase(path);
    return files.erase(path) != 0;
  }
  bool Exists(const std::wstring& path) override { return files.count(path) != 0; }
  bool ListFiles(const std::wstring& folder, std::vector<FileEntry>& out) override {
    ++listCalls;
    out.clear();
    if (failList) return false;
    for (const auto& [path, bytes] : files) {
      if (path.size() > folder.size() + 1 && path.compare(0, folder.size(), folder) == 0 &&
          (path[folder.size()] == L'\\' || path[folder.size()] == L'/')) {
        out.push_back(FileEntry{path, bytes.size(), modified.count(path) ? modified.at(path) : 0});
      }
    }
    return true;
  }
  bool SetModifiedTime(const std::wstring& path, int64_t modifiedMs) override {
    if (failSetModified || files.count(path) == 0) return false;
    modified[path] = modifiedMs;
    return true;
  }
  ReadResult ReadLimited(const std::wstring& path, uint64_t maxBytes, std::string& bytes) override {
    bytes.clear();
    ++readCalls;
    auto it = files.find(path);
    if (failOpen || it == files.end()) return ReadResult::CannotOpen;
    auto claimed = claimedSizes.find(path);
    const uint64_t size = claimed != claimedSizes.end() ? claimed->second : it->second.size();
    if (size == 0 || size > maxBytes) return ReadResult::BadSize;
    if (failRead) return ReadResult::ReadFailed;
    bytes = it->second;
    return ReadResult::Ok;
  }

  std::wstring settingsFolder = L"C:\\Users\\tester\\AppData\\Roaming\\Tolvane";
  std::wstring cacheFolder = L"C:\\Users\\tester\\AppData\\Local\\Tolvane";
  std::wstring temp = L"C:\\Users\\tester\\AppData\\Local\\Temp\\";
  std::map<std::wstring, std::string> files;
  std::map<std::wstring, int64_t> modified;  // last-write times, ms since 1970
  int64_t nowMs = 0;                         // the last-write time of the next write
  std::set<std::wstring> folders;
  // ReadLimited sees these sizes instead of the stored bytes' (a huge file without the memory).
  std::map<std::wstring, uint64_t> claimedSizes;
  bool failOpen = false;  // ReadLimited cannot open any file
  bool failCreateFolder = false;
  bool failRead = false;
  bool failWrite = false;
  bool failMove = false;
  bool failList = false;
  bool failSetModified = false;
  std::wstring errorText;  // LastErrorText's answer
  int createFolderCalls = 0;
  int readCalls = 0;
  int writeCalls = 0;
  int moveCalls = 0;
  int removeCalls = 0;
  int listCalls = 0;
};

}  // namespace tolvane
