// Opening links through the desktop shell; see open_link_win32.h.
//
// The way in: IShellWindows::FindWindowSW(SWC_DESKTOP) gives the desktop window's dispatch object;
// its top-level browser's active view gives, through GetItemObject(SVGIO_BACKGROUND), the view's
// IShellFolderViewDual, whose Application is the shell's IShellDispatch2 - living in the shell's
// process, so its ShellExecute starts the browser with the shell's rights.
#include "app/win32/open_link_win32.h"

#include <exdisp.h>
#include <oleauto.h>
#include <shellapi.h>
#include <shldisp.h>
#include <shlguid.h>
#include <shobjidl.h>

namespace tolvane {
namespace {

template <class T>
class ComRef {
 public:
  ComRef() = default;
  ~ComRef() {
    if (p_) p_->Release();
  }
  ComRef(const ComRef&) = delete;
  ComRef& operator=(const ComRef&) = delete;
  T* operator->() const { return p_; }
  T* get() const { return p_; }
  T** put() { return &p_; }
  void** put_void() { return reinterpret_cast<void**>(&p_); }

 private:
  T* p_ = nullptr;
};

bool RunsElevated() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
  TOKEN_ELEVATION elevation{};
  DWORD size = 0;
  const bool known = GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size) != FALSE;
  CloseHandle(token);
  return known && elevation.TokenIsElevated != 0;
}

// The shell's IShellDispatch2, or null when the desktop shell does not offer it.
bool DesktopShell(ComRef<IShellDispatch2>& shell) {
  ComRef<IShellWindows> windows;
  if (FAILED(
          CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_LOCAL_SERVER, IID_IShellWindows, windows.put_void()))) {
    return false;
  }
  VARIANT none;
  VariantInit(&none);
  long desktopWindow = 0;
  ComRef<IDispatch> desktop;
  if (windows->FindWindowSW(&none, &none, SWC_DESKTOP, &desktopWindow, SWFO_NEEDDISPATCH, desktop.put()) != S_OK ||
      !desktop.get()) {
    return false;
  }
  ComRef<IServiceProvider> services;
  ComRef<IShellBrowser> browser;
  ComRef<IShellView> view;
  ComRef<IDispatch> background;
  ComRef<IShellFolderViewDual> folderView;
  ComRef<IDispatch> application;
  return SUCCEEDED(desktop->QueryInterface(IID_IServiceProvider, services.put_void())) &&
         SUCCEEDED(services->QueryService(SID_STopLevelBrowser, IID_IShellBrowser, browser.put_void())) &&
         SUCCEEDED(browser->QueryActiveShellView(view.put())) && view.get() &&
         SUCCEEDED(view->GetItemObject(SVGIO_BACKGROUND, IID_IDispatch, background.put_void())) &&
         SUCCEEDED(background->QueryInterface(IID_IShellFolderViewDual, folderView.put_void())) &&
         SUCCEEDED(folderView->get_Application(application.put())) && application.get() &&
         SUCCEEDED(application->QueryInterface(IID_IShellDispatch2, shell.put_void()));
}

bool OpenThroughDesktopShell(const std::wstring& link) {
  ComRef<IShellDispatch2> shell;
  if (!DesktopShell(shell)) return false;
  BSTR file = SysAllocStringLen(link.data(), static_cast<UINT>(link.size()));
  if (!file) return false;
  VARIANT none;
  VariantInit(&none);
  VARIANT show;
  VariantInit(&show);
  show.vt = VT_I4;
  show.lVal = SW_SHOWNORMAL;
  const HRESULT hr = shell->ShellExecute(file, none, none, none, show);
  SysFreeString(file);
  return SUCCEEDED(hr);
}

}  // namespace

void OpenLinkUnelevated(HWND owner, const std::wstring& link) {
  if (RunsElevated() && OpenThroughDesktopShell(link)) return;
  ShellExecuteW(owner, L"open", link.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

}  // namespace tolvane
