// Known folders and whole-file operations on Win32.
#include <windows.h>
#include <shlobj.h>

#include <io.h>

#include <algorithm>
#include <cstdio>
#include <new>

#include "platform/files.h"

namespace tolvane {
namespace {

class Win32FileSystem final : public FileSystem {
 public:
  std::wstring RoamingAppDataFolder() override {
    wchar_t buffer[MAX_PATH] = {};
    if (SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, 0, buffer) != S_OK) return {};
    return buffer;
  }
  std::wstring TempFolder() override {
    wchar_t buffer[MAX_PATH + 1] = {};
    const DWORD n = GetTempPathW(MAX_PATH, buffer);
    if (n == 0 || n > MAX_PATH) return {};
    return std::wstring(buffer, n);
  }
  bool CreateFolder(const std::wstring& path) override { return CreateDirectoryW(path.c_str(), nullptr) != 0; }
  bool ReadAll(const std::wstring& path, std::string& bytes) override {
    bytes.clear();
    FILE* f = _wfopen(path.c_str(), L"rb");
    if (!f) return false;
    char chunk[16384];
    size_t n;
    while ((n = fread(chunk, 1, sizeof chunk, f)) > 0) bytes.append(chunk, n);
    const bool ok = ferror(f) == 0;
    fclose(f);
    return ok;
  }
  bool WriteDurable(const std::wstring& path, const std::string& bytes) override {
    FILE* f = _wfopen(path.c_str(), L"wb");
    if (!f) return false;
    bool ok = fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    ok = fflush(f) == 0 && ok;
    // fflush only hands the bytes to the system; FlushFileBuffers puts them on the disk, so a
    // power cut after the replacing move cannot leave an empty file behind.
    if (ok) {
      HANDLE h = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(f)));
      ok = h != INVALID_HANDLE_VALUE && FlushFileBuffers(h) != 0;
    }
    ok = fclose(f) == 0 && ok;
    return ok;
  }
  bool Append(const std::wstring& path, const std::string& bytes) override {
    FILE* f = _wfopen(path.c_str(), L"ab");
    if (!f) return false;
    bool ok = fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    ok = fclose(f) == 0 && ok;
    return ok;
  }
  bool MoveReplacing(const std::wstring& from, const std::wstring& to) override {
    return MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
  }
  bool Remove(const std::wstring& path) override { return DeleteFileW(path.c_str()) != 0; }
  bool Exists(const std::wstring& path) override {
    const DWORD a = GetFileAttributesW(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) == 0;
  }
  ReadResult ReadLimited(const std::wstring& path, uint64_t maxBytes, std::string& bytes) override {
    bytes.clear();
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return ReadResult::CannotOpen;
    LARGE_INTEGER size = {};
    if (!GetFileSizeEx(file, &size) || size.QuadPart < 1 || static_cast<uint64_t>(size.QuadPart) > maxBytes) {
      CloseHandle(file);
      return ReadResult::BadSize;
    }
    ReadResult result = ReadResult::Ok;
    try {
      bytes.resize(static_cast<size_t>(size.QuadPart));
    } catch (const std::bad_alloc&) {
      result = ReadResult::ReadFailed;
    }
    size_t done = 0;
    while (result == ReadResult::Ok && done < bytes.size()) {
      const DWORD want = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 24));
      DWORD got = 0;
      if (!ReadFile(file, bytes.data() + done, want, &got, nullptr) || got == 0) result = ReadResult::ReadFailed;
      done += got;
    }
    CloseHandle(file);
    if (result != ReadResult::Ok) bytes.clear();
    return result;
  }
};

}  // namespace

FileSystem& SystemFileSystem() {
  static Win32FileSystem fs;
  return fs;
}

}  // namespace tolvane
