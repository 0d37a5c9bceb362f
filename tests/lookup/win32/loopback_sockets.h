// Winsock under the names the loopback test server uses (tests/lookup/linux/ has the POSIX form).
#pragma once

#include <winsock2.h>
#include <ws2tcpip.h>

namespace tolvane::loopback {

using Socket = SOCKET;
using SocketLength = int;
inline constexpr Socket kNoSocket = INVALID_SOCKET;
inline constexpr int kSendFlags = 0;
inline bool StartSockets() {
  WSADATA wsa;
  return WSAStartup(MAKEWORD(2, 2), &wsa) == 0;
}
inline void StopSockets() { WSACleanup(); }
inline int SelectWidth(Socket) { return 0; }  // ignored by Winsock
inline void MakeNonBlocking(Socket s) {
  u_long on = 1;
  ioctlsocket(s, FIONBIO, &on);
}
inline bool SendWouldBlock() { return WSAGetLastError() == WSAEWOULDBLOCK; }
inline void ShutdownSend(Socket s) { shutdown(s, SD_SEND); }
inline void CloseSocket(Socket s) { closesocket(s); }

}  // namespace tolvane::loopback
