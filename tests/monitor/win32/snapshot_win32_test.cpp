// The snapshot against the real system tables (under Wine in the test run): a TCP connection that
// the test opens between two of its own sockets on 127.0.0.1, and a UDP socket it binds there, must
// appear with both ports and the right states, named after the process the table attributes them
// to. Wine 8 reports owning pid 0 for every socket (its tables do not attribute sockets to
// processes), so there the rows are named "System Idle" and need showSystem; on Windows they carry
// this program's pid and executable name. All traffic stays on loopback.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "monitor/snapshot.h"
#include "monitor/socket_table_reader.h"
#include "platform/win32/socket_tables_win32.h"
#include "platform/process_env.h"

namespace tolvane {
namespace {

class Winsock {
 public:
  Winsock() { ok_ = WSAStartup(MAKEWORD(2, 2), &data_) == 0; }
  ~Winsock() {
    if (ok_) WSACleanup();
  }
  bool ok() const { return ok_; }

 private:
  WSADATA data_{};
  bool ok_ = false;
};

class Socket {
 public:
  explicit Socket(SOCKET s = INVALID_SOCKET) : s_(s) {}
  ~Socket() {
    if (s_ != INVALID_SOCKET) closesocket(s_);
  }
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;
  SOCKET get() const { return s_; }

 private:
  SOCKET s_;
};

sockaddr_in Loopback(uint16_t port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return a;
}

int PortOf(SOCKET s) {
  sockaddr_in a{};
  int length = sizeof a;
  if (getsockname(s, reinterpret_cast<sockaddr*>(&a), &length) != 0) return -1;
  return ntohs(a.sin_port);
}

class Win32SnapshotTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(winsock.ok());
    settings.showLan = true;
    settings.showSystem = true;
  }

  // The name the snapshot must give a row of this program, by the pid the table reported.
  static std::wstring ExpectedName(uint32_t reportedPid) {
    if (reportedPid == 0) return L"System Idle";
    EXPECT_EQ(reportedPid, CurrentProcessId());
    return CurrentExecutableName();
  }
  Winsock winsock;
  Settings settings;
  CaptureTable capture;
};

TEST_F(Win32SnapshotTest, FindsItsOwnLoopbackConnection) {
  Socket listener(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
  ASSERT_NE(listener.get(), INVALID_SOCKET);
  sockaddr_in any = Loopback(0);
  ASSERT_EQ(bind(listener.get(), reinterpret_cast<sockaddr*>(&any), sizeof any), 0);
  ASSERT_EQ(listen(listener.get(), 1), 0);
  const int serverPort = PortOf(listener.get());
  ASSERT_GT(serverPort, 0);

  Socket client(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
  sockaddr_in target = Loopback(static_cast<uint16_t>(serverPort));
  ASSERT_EQ(connect(client.get(), reinterpret_cast<sockaddr*>(&target), sizeof target), 0);
  Socket accepted(accept(listener.get(), nullptr, nullptr));
  ASSERT_NE(accepted.get(), INVALID_SOCKET);
  const int clientPort = PortOf(client.get());
  ASSERT_GT(clientPort, 0);

  Snapshotter snapshotter(settings, capture, SystemSocketTables(), SystemProcessList(), SystemClock(), false);
  RowList rows;
  snapshotter.TakeSnapshot(rows);

  EXPECT_EQ(snapshotter.processNames().at(CurrentProcessId()), CurrentExecutableName());
  const std::wstring clientSide = L"127.0.0.1:" + std::to_wstring(clientPort);
  const std::wstring serverSide = L"127.0.0.1:" + std::to_wstring(serverPort);
  const auto find = [&](const std::wstring& local, const std::wstring& remote) {
    return std::find_if(rows.begin(), rows.end(), [&](const ConnectionRow& r) {
      return r.protocol == L"TCP4" && r.localEndpoint == local && r.remoteEndpoint == remote;
    });
  };
  for (const auto& [local, remote, localPort, remotePort] :
       {std::tuple{clientSide, serverSide, clientPort, serverPort},
        std::tuple{serverSide, clientSide, serverPort, clientPort}}) {
    SCOPED_TRACE(testing::Message() << "local port " << localPort);
    const auto row = find(local, remote);
    ASSERT_NE(row, rows.end());
    EXPECT_EQ(row->processName, ExpectedName(row->pid));
    EXPECT_EQ(row->state, L"ACTIVE");
    EXPECT_EQ(row->localPort, localPort);
    EXPECT_EQ(row->remotePort, remotePort);
    EXPECT_EQ(row->remoteAddress, L"127.0.0.1");
    EXPECT_EQ(row->packets, 0u);
    EXPECT_EQ(row->ageMs, -1);
  }
  // The listening socket is no connection.
  for (const ConnectionRow& r : rows) EXPECT_FALSE(r.localEndpoint == serverSide && r.remoteEndpoint == L"*");

  // Without showLan a loopback peer is not listed.
  settings.showLan = false;
  snapshotter.TakeSnapshot(rows);
  EXPECT_EQ(find(clientSide, serverSide), rows.end());
}

TEST_F(Win32SnapshotTest, FindsItsOwnLoopbackUdpSocket) {
  Socket udp(socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP));
  ASSERT_NE(udp.get(), INVALID_SOCKET);
  sockaddr_in any = Loopback(0);
  ASSERT_EQ(bind(udp.get(), reinterpret_cast<sockaddr*>(&any), sizeof any), 0);
  const int port = PortOf(udp.get());
  ASSERT_GT(port, 0);

  const std::vector<UdpEntry> entries = SystemSocketTables().ReadUdp(SocketTableKind::Udp4);
  const auto entry = std::find_if(entries.begin(), entries.end(), [&](const UdpEntry& e) {
    return e.localPort == port && e.localAddress[0] == 127 && e.localAddress[3] == 1;
  });
  ASSERT_NE(entry, entries.end());

  Snapshotter snapshotter(settings, capture, SystemSocketTables(), SystemProcessList(), SystemClock(), false);
  RowList rows;
  snapshotter.TakeSnapshot(rows);
  const std::wstring local = L"127.0.0.1:" + std::to_wstring(port);
  const auto row = std::find_if(rows.begin(), rows.end(), [&](const ConnectionRow& r) {
    return r.protocol == L"UDP4" && r.localEndpoint == local;
  });
  ASSERT_NE(row, rows.end());
  EXPECT_EQ(row->state, L"OPEN");
  EXPECT_EQ(row->remoteEndpoint, L"*");
  EXPECT_EQ(row->pid, entry->pid);
  EXPECT_EQ(row->processName, ExpectedName(row->pid));
}

TEST(Win32ProcessList, ListsThisProcess) {
  std::vector<ProcessEntry> processes;
  ASSERT_TRUE(SystemProcessList().Snapshot(processes));
  const auto self = std::find_if(processes.begin(), processes.end(),
                                 [](const ProcessEntry& p) { return p.pid == CurrentProcessId(); });
  ASSERT_NE(self, processes.end());
  EXPECT_EQ(self->exeName, CurrentExecutableName());
}

TEST(Win32SocketTables, DecodingNeverReadsPastTheBuffer) {
  // A table whose count claims more rows than the buffer holds yields only the rows that fit.
  std::vector<std::byte> buffer(4 + 24 * 2, std::byte{0});
  const uint32_t claimed = 1000;
  std::memcpy(buffer.data(), &claimed, 4);
  EXPECT_EQ(SystemSocketTableQuery().DecodeTcp(SocketTableKind::Tcp4, buffer).size(), 2u);
  EXPECT_TRUE(SystemSocketTableQuery().DecodeUdp(SocketTableKind::Udp6, std::vector<std::byte>(3)).empty());
  std::vector<std::byte> udp(4 + 12 * 3 + 5, std::byte{0});
  std::memcpy(udp.data(), &claimed, 4);
  EXPECT_EQ(SystemSocketTableQuery().DecodeUdp(SocketTableKind::Udp4, udp).size(), 3u);
}

}  // namespace
}  // namespace tolvane
