#include "monitor/connection_row.h"

namespace tolvane {

std::wstring RowKey(const ConnectionRow& row) {
  std::wstring key = std::to_wstring(row.pid);
  key.reserve(key.size() + row.protocol.size() + row.localEndpoint.size() + row.remoteEndpoint.size() + 3);
  key += L'|';
  key += row.protocol;
  key += L'|';
  key += row.localEndpoint;
  key += L'|';
  key += row.remoteEndpoint;
  return key;
}

}  // namespace tolvane
