// Facts about the running process on Win32.
#include <windows.h>

#include "platform/process_env.h"

namespace tolvane {

uint32_t CurrentProcessId() { return GetCurrentProcessId(); }

std::wstring CurrentExecutableName() {
  wchar_t buffer[MAX_PATH] = {};
  const DWORD n = GetModuleFileNameW(nullptr, buffer, MAX_PATH);
  std::wstring path(buffer, n);
  const size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

}  // namespace tolvane
