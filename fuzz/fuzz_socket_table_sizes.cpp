// Fuzz target for socket table reading against a system that reports arbitrary results and sizes:
// the reader must never offer a buffer beyond the size limit plus slack, never call more than the
// size query and three attempts, and report success only when the system did.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "monitor/socket_table_reader.h"

namespace {

class ScriptedTables final : public tolvane::SocketTableQuery {
 public:
  ScriptedTables(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  uint32_t Query(tolvane::SocketTableKind, std::vector<std::byte>& buffer, uint32_t& size) override {
    ++calls;
    if (buffer.size() > static_cast<size_t>(tolvane::kSocketTableMaxBytes) + tolvane::kSocketTableSlackBytes)
      std::abort();
    const uint32_t result = Next() % 4 == 0 ? 0 : (Next() % 2 == 0 ? tolvane::kErrorInsufficientBuffer : 87u);
    // Sizes mostly small, so the reader allocates, sometimes anything at all.
    uint32_t reported = Next();
    if (Next() % 8 != 0) reported %= 4096;
    size = reported;
    lastResult = result;
    return result;
  }
  std::vector<tolvane::TcpEntry> DecodeTcp(tolvane::SocketTableKind, const std::vector<std::byte>&) override {
    return {};
  }
  std::vector<tolvane::UdpEntry> DecodeUdp(tolvane::SocketTableKind, const std::vector<std::byte>&) override {
    return {};
  }
  int calls = 0;
  uint32_t lastResult = 0;

 private:
  uint32_t Next() {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v = (v << 8) | (offset_ < size_ ? data_[offset_++] : 0);
    return v;
  }
  const uint8_t* data_;
  size_t size_;
  size_t offset_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ScriptedTables tables(data, size);
  std::vector<std::byte> buffer;
  const bool read = tolvane::ReadSocketTableBuffer(tables, tolvane::SocketTableKind::Udp4, buffer);
  if (tables.calls < 1 || tables.calls > 1 + tolvane::kSocketTableAttempts) std::abort();
  if (read && (tables.lastResult != 0 || tables.calls < 2 || buffer.empty())) std::abort();
  if (!read && !buffer.empty()) std::abort();
  return 0;
}
