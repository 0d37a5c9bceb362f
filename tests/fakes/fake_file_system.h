// An in-memory FileSystem for tests: files are byte strings keyed by their path, folders a set.
//
// Failures are injected per operation (a roaming folder that cannot be had, a write, a move, an
// open or a read that fails), and a failed WriteDurable leaves half of the bytes behind, as a full disk
// would, so a test can prove that the caller cleans up. Every call is counted. Single-threaded.
#pragma once

#include <map>
#include <set>
#include <string>

#include "platform/files.h"

namespace tolvane {

class FakeFileSystem final : public FileSystem {
 public:
  std::wstring RoamingAppDataFolder() override { return roaming; }
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
    return true;
  }
  bool MoveReplacing(const std::wstring& from, const std::wstring& to) override {
    ++moveCalls;
    auto it = files.find(from);
    if (failMove || it == files.end()) return false;
    std::string bytes = std::move(it->second);
    files.erase(it);
    files[to] = std::move(bytes);
    return true;
  }
  bool Remove(const std::wstring& path) override {
    ++removeCalls;
    return files.erase(path) != 0;
  }
  bool Exists(const std::wstring& path) override { return files.count(path) != 0; }
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

  std::wstring roaming = L"C:\\Users\\tester\\AppData\\Roaming";
  std::wstring temp = L"C:\\Users\\tester\\AppData\\Local\\Temp\\";
  std::map<std::wstring, std::string> files;
  std::set<std::wstring> folders;
  // ReadLimited sees these sizes instead of the stored bytes' (a huge file without the memory).
  std::map<std::wstring, uint64_t> claimedSizes;
  bool failOpen = false;  // ReadLimited cannot open any file
  bool failCreateFolder = false;
  bool failRead = false;
  bool failWrite = false;
  bool failMove = false;
  int createFolderCalls = 0;
  int readCalls = 0;
  int writeCalls = 0;
  int moveCalls = 0;
  int removeCalls = 0;
};

}  // namespace tolvane
