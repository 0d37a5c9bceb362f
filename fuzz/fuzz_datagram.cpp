// Fuzz target for datagram handling: any bytes, cut into datagrams of any length, must be handled
// without a crash or a read outside the datagram, neither flow table (UDP, TCP) grows past its
// limit, and every counted datagram is counted in exactly one direction.
//
// Input layout: byte 0 picks how time moves between datagrams and, when a multiple of 8, starts
// from a table already at its limit (flows of various ages), so that the purge and the drop of new
// flows are reached; then records of a 2-byte length
// (little-endian) followed by that many bytes (the last record takes what is left). Each datagram is
// copied into a heap buffer of exactly its size, so AddressSanitizer sees any over-read. The local
// addresses are fixed private ones, so seeds can be real outgoing and incoming packets.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <memory>

#include "capture/capture_datagram.h"
#include "monitor/capture_table.h"
#include "platform/clock.h"

namespace {

class StepClock final : public tolvane::Clock {
 public:
  uint64_t TickMs() override { return now; }
  int64_t SystemNs() override { return 0; }
  int64_t MonotonicNs() override { return 0; }
  void SleepMs(uint32_t ms) override { now += ms; }
  uint64_t now = 10000000;
};

bool Counted(tolvane::DatagramResult r) {
  return r == tolvane::DatagramResult::Updated || r == tolvane::DatagramResult::Inserted;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using tolvane::DatagramResult;
  static const tolvane::LocalAddressList local({0xC0A80117u /* 192.168.1.23 */, 0x0A000005u /* 10.0.0.5 */});
  tolvane::CaptureTable table;
  StepClock clock;
  if (size == 0) return 0;
  const uint32_t step = data[0] * 97u;  // up to about 25 s between datagrams: purges happen
  if (data[0] % 8 == 0) {
    for (uint32_t i = 0; i <= tolvane::CaptureTable::kMaxFlows; ++i) {
      table.Count(40000, 0x2D000000u + i, 1, 100, clock.now - (i % 4) * step * 16);
    }
  }
  size_t at = 1;
  while (at < size) {
    size_t length = size - at;
    if (length >= 2) {
      const size_t declared = static_cast<size_t>(data[at]) | static_cast<size_t>(data[at + 1]) << 8;
      at += 2;
      length = std::min(declared, size - at);
    } else {
      at = size;
      length = 0;
    }
    std::unique_ptr<uint8_t[]> exact(new uint8_t[length > 0 ? length : 1]);
    if (length > 0) std::memcpy(exact.get(), data + at, length);
    at += length;
    const size_t before = table.Size() + table.Tcp().Size();
    const DatagramResult r = tolvane::HandleDatagram(length > 0 ? exact.get() : nullptr, length, local, table, clock);
    if (length < 28 && r != DatagramResult::TooShort) std::abort();
    if (r == DatagramResult::Accepted) std::abort();  // only the parser answers that
    if (!Counted(r) && r != DatagramResult::TableFull && table.Size() + table.Tcp().Size() != before) std::abort();
    if (table.Size() > tolvane::CaptureTable::kMaxFlows + 1) std::abort();
    if (table.Tcp().Size() > tolvane::CaptureTable::kMaxFlows + 1) std::abort();
    clock.SleepMs(step);
  }
  for (const tolvane::FlowTable* flows : {static_cast<tolvane::FlowTable*>(&table), &table.Tcp()}) {
    for (const tolvane::CaptureFlow& f : flows->Copy()) {
      const uint32_t first = static_cast<uint32_t>(std::wcstoul(f.remoteAddress.c_str(), nullptr, 10));
      if (first == 0 || first == 127 || first >= 224) std::abort();
      if (f.packets == 0 || f.bytes > f.packets * 65535u) std::abort();
      // Every datagram went one way or the other.
      if (f.packetsReceived + f.packetsSent != f.packets || f.bytesReceived + f.bytesSent != f.bytes) std::abort();
    }
  }
  return 0;
}
