// Host stand-in for the socket tables. The host build never runs the program; the tables exist so
// that code naming the system service links. Every query fails, so a snapshot on the host lists
// only demonstration rows.
#include "platform/socket_tables.h"

namespace tolvane {
namespace {

constexpr uint32_t kErrorNotSupported = 50;

class HostSocketTables final : public SocketTables {
 public:
  uint32_t Query(SocketTableKind, std::vector<std::byte>&, uint32_t& size) override {
    size = 0;
    return kErrorNotSupported;
  }
  std::vector<TcpEntry> DecodeTcp(SocketTableKind, const std::vector<std::byte>&) override { return {}; }
  std::vector<UdpEntry> DecodeUdp(SocketTableKind, const std::vector<std::byte>&) override { return {}; }
};

}  // namespace

SocketTables& SystemSocketTables() {
  static HostSocketTables tables;
  return tables;
}

}  // namespace tolvane
