// Host stand-in for the socket tables. The host build never runs the program; the tables exist so
// that code naming the system service links. Every table is empty, so a snapshot on the host lists
// only demonstration rows.
#include "platform/socket_tables.h"

namespace tolvane {
namespace {

class HostSocketTables final : public SocketTables {
 public:
  std::vector<TcpEntry> ReadTcp(SocketTableKind) override { return {}; }
  std::vector<UdpEntry> ReadUdp(SocketTableKind) override { return {}; }
};

}  // namespace

SocketTables& SystemSocketTables() {
  static HostSocketTables tables;
  return tables;
}

}  // namespace tolvane
