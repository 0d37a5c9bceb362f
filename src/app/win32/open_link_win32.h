// Opening a link in the user's browser from an elevated process.
//
// The program runs elevated (packet capture needs it), and a browser started by ShellExecuteW would
// inherit that: an elevated browser, running web content with administrator rights. So an elevated
// process asks the desktop shell (explorer.exe, which runs with the user's normal rights) to open
// the link for it, through the shell window's automation object. Where that is not available (no
// shell running, another shell, a system without it) ShellExecuteW opens it as before. The calling
// thread must have COM initialised (apartment-threaded); the main thread has.
#pragma once

#include <windows.h>

#include <string>

namespace tolvane {

void OpenLinkUnelevated(HWND owner, const std::wstring& link);

}  // namespace tolvane
