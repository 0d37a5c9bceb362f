// The Linux services that need no test network, on the real kernel: socket tables with owners from
// both kernel sources and the process list, the XDG folders with a settings round trip, the
// single-instance lock, the resolver. Only loopback sockets; only "localhost" is resolved.
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <memory>
#include <thread>
#include <tuple>

#include "kernel_test.h"
#include "platform/files.h"
#include "platform/linux/single_instance.h"
#include "platform/linux/socket_tables_linux.h"
#include "platform/name_resolution.h"
#include "platform/process_list.h"
#include "platform/utf8.h"
#include "settings/settings_file.h"

namespace tolvane {
namespace {

TEST(LinuxSocketTables, OwnSocketsFromBothSourcesWithTheirOwnerAndName) {
  SystemSocketTables().ReadUdp(SocketTableKind::Udp4);          // owners mapped before the sockets exist
  std::this_thread::sleep_for(std::chrono::milliseconds(250));  // past the rebuilds' minimum gap
  const Fd udp4{BoundSocket(SOCK_DGRAM, "127.0.0.1")}, udp6{BoundSocket(SOCK_DGRAM, "::1")};
  const Fd listener{BoundSocket(SOCK_STREAM, "127.0.0.1")}, client{BoundSocket(SOCK_STREAM, "127.0.0.1")};
  ASSERT_EQ(listen(listener.fd, 1), 0);
  sockaddr_in server{AF_INET, htons(LocalPort(listener.fd)), {htonl(INADDR_LOOPBACK)}, {}};
  ASSERT_EQ(connect(client.fd, reinterpret_cast<sockaddr*>(&server), sizeof server), 0);
  struct Case {
    SocketTableKind kind;
    int fd;
    uint32_t mibState;  // 0 for UDP
  };
  for (const Case& c : {Case{SocketTableKind::Udp4, udp4.fd, 0}, Case{SocketTableKind::Udp6, udp6.fd, 0},
                        Case{SocketTableKind::Tcp4, listener.fd, 2}, Case{SocketTableKind::Tcp4, client.fd, 5}}) {
    const uint16_t port = LocalPort(c.fd);
    SCOPED_TRACE(testing::Message() << "table " << static_cast<int>(c.kind) << ", port " << port);
    for (const KernelSocketSource source : {KernelSocketSource::Netlink, KernelSocketSource::ProcNet}) {
      std::vector<KernelSocket> all;
      ASSERT_TRUE(ReadKernelSockets(c.kind, source, all));
      EXPECT_EQ(std::count_if(all.begin(), all.end(),
                              [&](const KernelSocket& s) {
                                return s.localPort == port && s.inode != 0 &&
                                       s.localAddress[0] == (c.kind == SocketTableKind::Udp6 ? 0 : 127) &&
                                       (c.mibState == 0 || MibTcpState(s.state) == c.mibState);
                              }),
                1);
    }
    std::vector<uint32_t> owners;  // through the service, which places a new socket's owner at once
    for (const UdpEntry& e : c.mibState == 0 ? SystemSocketTables().ReadUdp(c.kind) : std::vector<UdpEntry>{}) {
      if (e.localPort == port) owners.push_back(e.pid);
    }
    for (const TcpEntry& e : c.mibState != 0 ? SystemSocketTables().ReadTcp(c.kind) : std::vector<TcpEntry>{}) {
      if (e.localPort == port && e.state == c.mibState) owners.push_back(e.pid);
    }
    EXPECT_EQ(owners, std::vector<uint32_t>{static_cast<uint32_t>(getpid())});
  }
  std::vector<ProcessEntry> processes;
  ASSERT_TRUE(SystemProcessList().Snapshot(processes));
  const auto self = std::find_if(processes.begin(), processes.end(),
                                 [](const ProcessEntry& p) { return p.pid == static_cast<uint32_t>(getpid()); });
  ASSERT_NE(self, processes.end());
  EXPECT_EQ(self->exeName, L"test_linux");
  EXPECT_GT(self->creationTime, 0u);
}

mode_t ModeOf(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 ? st.st_mode & 0777 : 0;
}

TEST(LinuxFiles, SettingsInTheXdgFoldersSurviveAReloadAndTheLockIsSingle) {
  char made[] = "/tmp/tolvane-xdg-XXXXXX";
  ASSERT_NE(mkdtemp(made), nullptr);
  const std::string root = made;
  // XDG_CONFIG_HOME counts only when absolute; the folder and its missing parents are made private.
  const std::string home = root + "/home";
  for (const auto& [config, folder, shown] :
       {std::tuple{std::string(), home + "/.config/tolvane", std::string("~/.config/tolvane/settings.ini")},
        std::tuple{std::string("relative"), home + "/.config/tolvane", std::string("~/.config/tolvane/settings.ini")},
        std::tuple{root + "/config", root + "/config/tolvane", root + "/config/tolvane/settings.ini"}}) {
    const EnvScope xdg("XDG_CONFIG_HOME", config.empty() ? nullptr : config.c_str()), homeVar("HOME", home.c_str());
    FileSystem& fs = SystemFileSystem();
    EXPECT_EQ(SettingsFilePath(fs), Utf8ToWide(folder + "/settings.ini"));
    EXPECT_EQ(fs.SettingsFileShown(), Utf8ToWide(shown));
    EXPECT_EQ(ModeOf(folder), 0700u) << folder;
    Settings s = MakeDefaultSettings(), back = MakeDefaultSettings();
    s.splashTitle = L"Caf\u00E9 " + Utf8ToWide(config);
    ASSERT_TRUE(SaveSettings(s, fs));
    CallPrefixList prefixes;
    LoadSettings(back, fs, prefixes);
    EXPECT_EQ(back.splashTitle, s.splashTitle);
  }
  {
    // Without a runtime folder (as under sudo) the lock lives in a private folder of the cache.
    const EnvScope runtime("XDG_RUNTIME_DIR", nullptr), cache("XDG_CACHE_HOME", nullptr), homeVar("HOME", home.c_str());
    const SingleInstanceLock first;
    EXPECT_EQ(first.result(), SingleInstanceLock::Result::Acquired);
    EXPECT_EQ(first.Folder(), home + "/.cache/tolvane/run");
    EXPECT_EQ(ModeOf(first.Folder()), 0700u);
    EXPECT_EQ(SingleInstanceLock().result(), SingleInstanceLock::Result::AlreadyRunning);
  }
  const EnvScope runtime("XDG_RUNTIME_DIR", root.c_str());
  const SingleInstanceLock again;  // the first lock went with its owner
  EXPECT_EQ(again.result(), SingleInstanceLock::Result::Acquired);
  EXPECT_EQ(again.Folder(), root);
  std::filesystem::remove_all(root);
}

TEST(LinuxNameResolution, LocalhostOnly) {
  const std::shared_ptr<NameResolver> resolver = CreateSystemNameResolver();
  EXPECT_EQ(resolver->ResolveIpv4(L"localhost"), L"127.0.0.1");
  EXPECT_EQ(resolver->ResolveIpv4(std::wstring(L"localhost\0.x", 12)), L"");
}

}  // namespace
}  // namespace tolvane
