// Packet capture thread: the outer loop (settings, adapters, opening sockets, status) and the
// inner loop (select, one recv per readable socket, the periodic adapter check).
//
// Caveat: a select that fails at once (a socket gone bad under us) would turn the inner loop into
// a busy spin; such a pass waits one 50 ms step instead, which keeps the stop and settings checks
// as prompt as a select time-out would.
#include "capture/packet_capture.h"

#include <algorithm>
#include <system_error>

namespace tolvane {
namespace {

constexpr uint32_t kLoopbackInterfaceType = 24;

uint32_t FromBytes(const Ipv4Bytes& b) {
  return static_cast<uint32_t>(b[0]) << 24 | static_cast<uint32_t>(b[1]) << 16 | static_cast<uint32_t>(b[2]) << 8 |
         b[3];
}

Ipv4Bytes ToBytes(uint32_t a) {
  return Ipv4Bytes{static_cast<uint8_t>(a >> 24), static_cast<uint8_t>(a >> 16), static_cast<uint8_t>(a >> 8),
                   static_cast<uint8_t>(a)};
}

bool IsUsableLocal(const Ipv4Bytes& b) { return b[0] != 0 && b[0] != 127 && !(b[0] == 169 && b[1] == 254); }

}  // namespace

LocalAddressList LocalIPv4FromAdapters(const std::vector<CaptureAdapter>& adapters) {
  std::vector<uint32_t> addresses;
  for (const CaptureAdapter& adapter : adapters) {
    if (!adapter.operUp || adapter.interfaceType == kLoopbackInterfaceType) continue;
    for (const Ipv4Bytes& b : adapter.ipv4Unicast) {
      if (IsUsableLocal(b)) addresses.push_back(FromBytes(b));
    }
  }
  return LocalAddressList(std::move(addresses));
}

LocalAddressList ListLocalIPv4(RawCapture& raw) { return LocalIPv4FromAdapters(raw.Adapters()); }

PacketCapture::PacketCapture(const Settings& settings, CaptureTable& table, RawCapture& raw, Clock& clock,
                             const std::atomic<bool>& appRunning)
    : settings_(settings), table_(table), raw_(raw), clock_(clock), appRunning_(appRunning) {}

PacketCapture::~PacketCapture() { Join(); }

void PacketCapture::Start() {
  if (thread_.joinable()) return;
  try {
    thread_ = std::thread([this] { CaptureThread(); });
  } catch (const std::system_error&) {
    // The system could not start a thread: the program goes on without this service.
  }
}

void PacketCapture::Join() {
  if (thread_.joinable()) thread_.join();
}

void PacketCapture::Wait(int steps) {
  for (int i = 0; i < steps && Running(); ++i) clock_.SleepMs(kWaitStepMs);
}

void PacketCapture::CaptureThread() {
  std::vector<uint8_t> packet(kPacketBufferBytes);
  std::vector<RawSocketHandle> sockets;
  sockets.reserve(kMaxSockets);
  while (Running()) {
    if (!settings_.packetCapture) {
      SetStatus(CaptureStatus::Off);
      Wait(kOffWaitSteps);
      continue;
    }
    const LocalAddressList addresses = ListLocalIPv4(raw_);
    if (addresses.empty()) {
      SetStatus(CaptureStatus::NoAdapter);
      Wait(kNoAdapterWaitSteps);
      continue;
    }
    int32_t lastError = 0;
    for (uint32_t address : addresses.values()) {
      if (sockets.size() >= kMaxSockets) break;
      const RawOpenResult opened = raw_.Open(ToBytes(address));
      if (opened.ok) {
        sockets.push_back(opened.socket);
      } else {
        lastError = opened.error;
      }
    }
    if (sockets.empty()) {
      SetStatus(lastError == RawCapture::kErrorAccessDenied ? CaptureStatus::NeedsAdmin : CaptureStatus::Error);
      Wait(kOpenFailedWaitSteps);
      continue;
    }
    SetStatus(CaptureStatus::Capturing);
    CaptureOn(addresses, sockets, packet);
    for (RawSocketHandle s : sockets) raw_.Close(s);
    sockets.clear();
  }
  SetStatus(CaptureStatus::Off);
}

void PacketCapture::CaptureOn(const LocalAddressList& addresses, const std::vector<RawSocketHandle>& sockets,
                              std::vector<uint8_t>& packet) {
  std::vector<bool> readable(sockets.size(), false);
  uint64_t lastCheck = clock_.TickMs();
  while (Running() && settings_.packetCapture) {
    const int32_t ready = raw_.WaitReadable(sockets, kSelectTimeoutMs, readable);
    if (ready > 0) {
      for (size_t i = 0; i < sockets.size() && i < readable.size(); ++i) {
        if (!readable[i]) continue;
        const int32_t n = raw_.Receive(sockets[i], packet.data(), packet.size());
        if (n > 0) {
          HandleDatagram(packet.data(), std::min(static_cast<size_t>(n), packet.size()), addresses, table_, clock_);
        }
      }
    } else if (ready < 0) {
      clock_.SleepMs(kWaitStepMs);
    }
    const uint64_t now = clock_.TickMs();
    if (now > lastCheck && now - lastCheck > kAdapterCheckMs) {
      if (ListLocalIPv4(raw_) != addresses) return;
      lastCheck = now;
    }
  }
}

}  // namespace tolvane
