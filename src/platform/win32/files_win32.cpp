// Known folders and whole-file operations on Win32.
#include <windows.h>
#include <shlobj.h>

#include <io.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <new>
#include <vector>

#include "platform/files.h"

namespace tolvane {
namespace {

// FILETIME counts 100 ns steps since 1601-01-01; these are the steps up to 1970-01-01.
constexpr int64_t kUnixEpochIn100ns = 116444736000000000;
// Deep enough for every folder tree the program writes (the tile cache is four levels deep).
constexpr int kListDepthLimit = 8;
// 9999-12-31 23:59:59.999 UTC, the end of what the system's time conversions accept.
constexpr int64_t kLatestFileTimeMs = 253402300799999;

// GetLastError of the calling thread's last failed write or move (LastErrorText).
thread_local DWORD lastFileError = 0;
bool Failed() {
  lastFileError = GetLastError();
  return false;
}

int64_t FileTimeToUnixMs(const FILETIME& ft) {
  const int64_t steps = static_cast<int64_t>((static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime);
  return (steps - kUnixEpochIn100ns) / 10000;
}

void ListInto(const std::wstring& folder, int depth, std::vector<FileEntry>& files) {
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return;
  do {
    const std::wstring name = data.cFileName;
    if (name == L"." || name == L"..") continue;
    const std::wstring path = folder + L"\\" + name;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      // A junction or link could lead out of the tree or round in a circle.
      if (!(data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) && depth < kListDepthLimit) {
        ListInto(path, depth + 1, files);
      }
      continue;
    }
    FileEntry entry;
    entry.path = path;
    entry.size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    entry.modifiedMs = FileTimeToUnixMs(data.ftLastWriteTime);
    files.push_back(std::move(entry));
  } while (FindNextFileW(find, &data));
  FindClose(find);
}

// The program's folder inside one of the shell's known folders; empty when the shell names none.
std::wstring KnownFolder(int csidl) {
  wchar_t buffer[MAX_PATH] = {};
  if (SHGetFolderPathW(nullptr, csidl, nullptr, 0, buffer) != S_OK) return {};
  return std::wstring(buffer) + L"\\Tolvane";
}

class Win32FileSystem final : public FileSystem {
 public:
  std::wstring SettingsFolder() override { return KnownFolder(CSIDL_APPDATA); }
  std::wstring CacheFolder() override { return KnownFolder(CSIDL_LOCAL_APPDATA); }
  std::wstring SettingsFileShown() override { return L"%APPDATA%\\Tolvane\\settings.ini"; }
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
    if (!f) return Failed();
    bool ok = fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    ok = fflush(f) == 0 && ok;
    // fflush only hands the bytes to the system; FlushFileBuffers puts them on the disk, so a
    // power cut after the replacing move cannot leave an empty file behind.
    if (ok) {
      HANDLE h = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(f)));
      ok = h != INVALID_HANDLE_VALUE && FlushFileBuffers(h) != 0;
    }
    if (!ok) Failed();
    if (fclose(f) != 0) return ok ? Failed() : false;
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
    return MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != 0 || Failed();
  }
  std::wstring LastErrorText() override {
    if (lastFileError == 0) return {};
    wchar_t buffer[512] = {};
    DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, lastFileError, 0,
                             buffer, 511, nullptr);
    while (n > 0 &&
           (buffer[n - 1] == L'\r' || buffer[n - 1] == L'\n' || buffer[n - 1] == L' ' || buffer[n - 1] == L'.'))
      --n;
    if (n == 0) return L"system error " + std::to_wstring(lastFileError);
    return std::wstring(buffer, n);
  }
  bool Remove(const std::wstring& path) override { return DeleteFileW(path.c_str()) != 0; }
  bool Exists(const std::wstring& path) override {
    const DWORD a = GetFileAttributesW(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) == 0;
  }
  bool ListFiles(const std::wstring& folder, std::vector<FileEntry>& files) override {
    files.clear();
    const DWORD a = GetFileAttributesW(folder.c_str());
    if (a == INVALID_FILE_ATTRIBUTES || (a & FILE_ATTRIBUTE_DIRECTORY) == 0) return false;
    ListInto(folder, 0, files);
    return true;
  }
  bool SetModifiedTime(const std::wstring& path, int64_t modifiedMs) override {
    if (modifiedMs < 0 || modifiedMs > kLatestFileTimeMs) return false;
    const uint64_t steps = static_cast<uint64_t>(modifiedMs * 10000 + kUnixEpochIn100ns);
    FILETIME ft;
    ft.dwLowDateTime = static_cast<DWORD>(steps & 0xFFFFFFFFu);
    ft.dwHighDateTime = static_cast<DWORD>(steps >> 32);
    HANDLE h = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    const bool ok = SetFileTime(h, nullptr, nullptr, &ft) != 0;
    CloseHandle(h);
    return ok;
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
