// POSIX sockets under the names the loopback test server uses (tests/lookup/win32/ has Winsock's).
#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <sys/select.h>
#include <unistd.h>

#include <cerrno>

namespace tolvane::loopback {

using Socket = int;
using SocketLength = socklen_t;
inline constexpr Socket kNoSocket = -1;
inline constexpr int kSendFlags = MSG_NOSIGNAL;  // a client that hung up must not end the test
inline bool StartSockets() { return true; }
inline void StopSockets() {}
inline int SelectWidth(Socket s) { return s + 1; }
inline void MakeNonBlocking(Socket s) { fcntl(s, F_SETFL, fcntl(s, F_GETFL) | O_NONBLOCK); }
inline bool SendWouldBlock() { return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR; }
inline void ShutdownSend(Socket s) { shutdown(s, SHUT_WR); }
inline void CloseSocket(Socket s) { close(s); }

}  // namespace tolvane::loopback
