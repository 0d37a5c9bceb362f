// The process list through a Toolhelp snapshot (CreateToolhelp32Snapshot, Process32FirstW /
// Process32NextW). szExeFile is already a bare file name; it is read up to its terminator but never
// past the array, in case a name fills it.
#include <windows.h>
#include <tlhelp32.h>

#include "platform/process_list.h"

namespace tolvane {
namespace {

class Win32ProcessList final : public ProcessList {
 public:
  bool Snapshot(std::vector<ProcessEntry>& out) override {
    out.clear();
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return false;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
      size_t length = 0;
      while (length < MAX_PATH && entry.szExeFile[length] != L'\0') ++length;
      out.push_back(ProcessEntry{entry.th32ProcessID, std::wstring(entry.szExeFile, length)});
    }
    CloseHandle(snapshot);
    return true;
  }
};

}  // namespace

ProcessList& SystemProcessList() {
  static Win32ProcessList list;  // stateless
  return list;
}

}  // namespace tolvane
