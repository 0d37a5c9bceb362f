// The export's tables; see export_table.h.
//
// The column tables below are the one place that says which columns an export has and in which
// order: CSV, JSON and the clipboard's table all follow them.
#include "export/export_table.h"

#include <algorithm>
#include <span>
#include <unordered_map>

#include "capture/call_history.h"
#include "capture/call_servers.h"
#include "platform/clock.h"

#ifndef TOLVANE_VERSION_TEXT
#define TOLVANE_VERSION_TEXT "0.0.0"
#endif

namespace tolvane {
namespace {

struct ExportContext {
  const std::function<int32_t(const std::wstring&)>* latencyOf = nullptr;
  const std::function<std::wstring(const std::wstring&)>* placeOf = nullptr;
  bool packetCounters = true;
  Clock* clock = nullptr;  // the UTC offsets of the history's times
};

template <class Row>
struct ColumnOf {
  ExportColumn column;
  ExportCell (*value)(const Row& row, const ExportContext& context);
};

template <class Number>
ExportCell Decimal(Number n) {
  return std::to_wstring(n);
}

ExportCell Latency(int32_t latencyMs) {
  if (latencyMs < 0) return std::nullopt;
  return Decimal(latencyMs);
}

ExportCell TextOrNone(const std::wstring& text) {
  if (text.empty()) return std::nullopt;
  return text;
}

// One of a row's traffic figures (a rate or a total, bytes); none for a row that is not metered.
ExportCell Traffic(const ViewRow& row, uint64_t RowTraffic::*figure) {
  if (!row.traffic.metered) return std::nullopt;
  return Decimal(row.traffic.*figure);
}

ExportCell Time(int64_t unixMs, const ExportContext& x) {
  return IsoTime(unixMs, x.clock ? x.clock->UtcOffsetMinutes(unixMs) : 0);
}

constexpr ExportKind kText = ExportKind::Text;
constexpr ExportKind kNumber = ExportKind::Number;
constexpr ExportKind kFlag = ExportKind::Flag;

// A socket without a peer ("*", or a voice socket's "Voice UDP :port") has no remote address or port.
const ColumnOf<ViewRow> kConnectionColumns[] = {
    {{L"application", kText}, [](const ViewRow& r, const ExportContext&) -> ExportCell { return r.processName; }},
    {{L"pid", kNumber}, [](const ViewRow& r, const ExportContext&) { return Decimal(r.pid); }},
    {{L"protocol", kText}, [](const ViewRow& r, const ExportContext&) -> ExportCell { return r.protocol; }},
    {{L"localAddress", kText},
     [](const ViewRow& r, const ExportContext&) -> ExportCell {
       return std::wstring(AddressOfEndpoint(r.localEndpoint));
     }},
    {{L"localPort", kNumber}, [](const ViewRow& r, const ExportContext&) { return Decimal(r.localPort); }},
    {{L"remoteAddress", kText},
     [](const ViewRow& r, const ExportContext&) -> ExportCell {
       if (r.remoteAddress.empty() || r.remoteAddress == L"*") return std::nullopt;
       return r.remoteAddress;
     }},
    {{L"remotePort", kNumber},
     [](const ViewRow& r, const ExportContext&) -> ExportCell {
       if (r.remotePort <= 0) return std::nullopt;
       return Decimal(r.remotePort);
     }},
    {{L"state", kText}, [](const ViewRow& r, const ExportContext&) -> ExportCell { return r.state; }},
    {{L"category", kText}, [](const ViewRow& r, const ExportContext&) -> ExportCell { return r.category; }},
    {{L"role", kText}, [](const ViewRow& r, const ExportContext&) -> ExportCell { return r.role; }},
    {{L"latencyMs", kNumber}, [](const ViewRow& r, const ExportContext&) { return Latency(r.latencyMs); }},
};

// The traffic columns end the connection and the application tables alike.
const ColumnOf<ViewRow> kTrafficColumns[] = {
    {{L"receivedBytesPerSecond", kNumber},
     [](const ViewRow& r, const ExportContext&) { return Traffic(r, &RowTraffic::rateReceived); }},
    {{L"sentBytesPerSecond", kNumber},
     [](const ViewRow& r, const ExportContext&) { return Traffic(r, &RowTraffic::rateSent); }},
    {{L"receivedBytes", kNumber},
     [](const ViewRow& r, const ExportContext&) { return Traffic(r, &RowTraffic::totalReceived); }},
    {{L"sentBytes", kNumber},
     [](const ViewRow& r, const ExportContext&) { return Traffic(r, &RowTraffic::totalSent); }},
};

// An application row of the by-application view (see AppFold in monitor/view.h): its state and
// role are those of its busiest connection, its latency the best of them.
const ColumnOf<ViewRow> kApplicationColumns[] = {
    {{L"application", kText}, [](const ViewRow& r, const ExportContext&) -> ExportCell { return r.processName; }},
    {{L"processes", kNumber}, [](const ViewRow& r, const ExportContext&) { return Decimal(r.app.processes); }},
    {{L"protocols", kText}, [](const ViewRow& r, const ExportContext&) -> ExportCell { return r.protocol; }},
    {{L"connections", kNumber}, [](const ViewRow& r, const ExportContext&) { return Decimal(r.app.connections); }},
    {{L"addresses", kNumber}, [](const ViewRow& r, const ExportContext&) { return Decimal(r.app.addresses); }},
    {{L"state", kText}, [](const ViewRow& r, const ExportContext&) -> ExportCell { return r.state; }},
    {{L"category", kText}, [](const ViewRow& r, const ExportContext&) -> ExportCell { return r.category; }},
    {{L"role", kText}, [](const ViewRow& r, const ExportContext&) -> ExportCell { return r.role; }},
    {{L"latencyMs", kNumber}, [](const ViewRow& r, const ExportContext&) { return Latency(r.latencyMs); }},
};

const ColumnOf<CallEndpoint> kCallColumns[] = {
    {{L"address", kText}, [](const CallEndpoint& c, const ExportContext&) -> ExportCell { return c.address; }},
    {{L"port", kNumber}, [](const CallEndpoint& c, const ExportContext&) { return Decimal(c.remotePort); }},
    {{L"protocol", kText}, [](const CallEndpoint& c, const ExportContext&) -> ExportCell { return c.protocol; }},
    {{L"application", kText}, [](const CallEndpoint& c, const ExportContext&) -> ExportCell { return c.processName; }},
    {{L"pid", kNumber}, [](const CallEndpoint& c, const ExportContext&) { return Decimal(c.pid); }},
    {{L"live", kFlag},
     [](const CallEndpoint& c, const ExportContext& x) -> ExportCell {
       if (!x.packetCounters) return std::nullopt;
       return c.live ? L"true" : L"false";
     }},
    {{L"packets", kNumber},
     [](const CallEndpoint& c, const ExportContext& x) -> ExportCell {
       if (!x.packetCounters) return std::nullopt;
       return Decimal(c.packets);
     }},
    {{L"latencyMs", kNumber},
     [](const CallEndpoint& c, const ExportContext& x) -> ExportCell {
       return Latency(x.latencyOf && *x.latencyOf ? (*x.latencyOf)(c.address) : -2);
     }},
    {{L"place", kText},
     [](const CallEndpoint& c, const ExportContext& x) -> ExportCell {
       return x.placeOf && *x.placeOf ? TextOrNone((*x.placeOf)(c.address)) : std::nullopt;
     }},
};

// The rows of calls.csv (capture/call_history.h), with the export's conventions: no value is empty
// or null rather than -1 or "".
const ColumnOf<CallServerRecord> kHistoryColumns[] = {
    {{L"address", kText}, [](const CallServerRecord& r, const ExportContext&) -> ExportCell { return r.address; }},
    {{L"port", kNumber}, [](const CallServerRecord& r, const ExportContext&) { return Decimal(r.port); }},
    {{L"firstSeen", kText}, [](const CallServerRecord& r, const ExportContext& x) { return Time(r.firstSeenMs, x); }},
    {{L"lastSeen", kText}, [](const CallServerRecord& r, const ExportContext& x) { return Time(r.lastSeenMs, x); }},
    {{L"packets", kNumber}, [](const CallServerRecord& r, const ExportContext&) { return Decimal(r.packets); }},
    {{L"medianMs", kNumber}, [](const CallServerRecord& r, const ExportContext&) { return Latency(r.medianMs); }},
    {{L"place", kText}, [](const CallServerRecord& r, const ExportContext&) { return TextOrNone(r.place); }},
    {{L"country", kText}, [](const CallServerRecord& r, const ExportContext&) { return TextOrNone(r.country); }},
    {{L"owner", kText}, [](const CallServerRecord& r, const ExportContext&) { return TextOrNone(r.owner); }},
};

// The columns are the parts' columns one after another.
template <class Row>
ExportTable TableOf(std::string_view key, std::wstring_view fileSuffix,
                    std::initializer_list<std::span<const ColumnOf<Row>>> parts, const std::vector<Row>& rows,
                    const ExportContext& context) {
  ExportTable table{key, fileSuffix, {}, {}};
  for (std::span<const ColumnOf<Row>> part : parts)
    for (const ColumnOf<Row>& c : part) table.columns.push_back(c.column);
  table.rows.reserve(rows.size());
  for (const Row& row : rows) {
    std::vector<ExportCell>& cells = table.rows.emplace_back();
    cells.reserve(table.columns.size());
    for (std::span<const ColumnOf<Row>> part : parts)
      for (const ColumnOf<Row>& c : part) cells.push_back(c.value(row, context));
  }
  return table;
}

// The sockets of the by-application view in the order of its application rows (each
// application's sockets in snapshot order), as "Show sockets" would list them one after another.
std::vector<ViewRow> SocketsByApplication(const ConnectionView& view) {
  std::unordered_map<std::wstring_view, size_t> rank;
  for (const ViewRow& app : view.ViewRows()) rank.emplace(app.processName, rank.size());
  std::vector<ViewRow> sockets = view.ShownSockets();
  const auto rankOf = [&rank](const ViewRow& r) {
    const auto it = rank.find(r.processName);
    return it == rank.end() ? rank.size() : it->second;
  };
  std::stable_sort(sockets.begin(), sockets.end(),
                   [&rankOf](const ViewRow& a, const ViewRow& b) { return rankOf(a) < rankOf(b); });
  return sockets;
}

int64_t FloorDiv(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0)) ? 1 : 0); }

}  // namespace

std::wstring_view ProgramVersion() { return L"" TOLVANE_VERSION_TEXT; }

std::wstring IsoTime(int64_t utcMs, int32_t offsetMinutes) {
  const std::string text = FormatLocalTime(utcMs, offsetMinutes);  // ASCII only
  return std::wstring(text.begin(), text.end());
}

std::wstring_view AddressOfEndpoint(std::wstring_view endpoint) {
  if (!endpoint.empty() && endpoint.front() == L'[') {
    const size_t close = endpoint.find(L']');
    return close == std::wstring_view::npos ? endpoint.substr(1) : endpoint.substr(1, close - 1);
  }
  const size_t colon = endpoint.rfind(L':');
  return colon == std::wstring_view::npos ? endpoint : endpoint.substr(0, colon);
}

bool PacketCountersKnown(CaptureStatus status, bool demoMode) { return demoMode || status == CaptureStatus::Capturing; }

ExportTable ConnectionTable(const std::vector<ViewRow>& rows) {
  return TableOf<ViewRow>("connections", L"", {kConnectionColumns, kTrafficColumns}, rows, ExportContext{});
}

ExportTable ApplicationTable(const std::vector<ViewRow>& rows) {
  return TableOf<ViewRow>("applications", L"-applications", {kApplicationColumns, kTrafficColumns}, rows,
                          ExportContext{});
}

ExportTable CallTable(const std::vector<CallEndpoint>& calls,
                      const std::function<int32_t(const std::wstring&)>& latencyOf,
                      const std::function<std::wstring(const std::wstring&)>& placeOf, bool packetCounters) {
  return TableOf<CallEndpoint>("calls", L"-calls", {kCallColumns}, calls,
                               ExportContext{&latencyOf, &placeOf, packetCounters});
}

ExportTable HistoryTable(std::vector<CallServerRecord> records, Clock& clock) {
  std::stable_sort(records.begin(), records.end(),
                   [](const CallServerRecord& a, const CallServerRecord& b) { return a.lastSeenMs > b.lastSeenMs; });
  ExportContext context;
  context.clock = &clock;
  return TableOf<CallServerRecord>("history", L"-history", {kHistoryColumns}, records, context);
}

ExportDocument CollectExport(const ConnectionView& view, const CallList& calls, const CallServers& servers,
                             bool packetCounters, Clock& clock) {
  const int64_t utcMs = FloorDiv(clock.SystemNs(), 1000000);
  ExportDocument doc;
  doc.version = ProgramVersion();
  doc.time = IsoTime(utcMs, clock.UtcOffsetMinutes(utcMs));
  doc.tables.push_back(view.Folded() ? ConnectionTable(SocketsByApplication(view)) : ConnectionTable(view.ViewRows()));
  doc.tables.push_back(CallTable(
      calls.Entries(), [&view](const std::wstring& address) { return view.LatencyOf(address); },
      [&servers](const std::wstring& address) { return servers.PlaceOf(address); }, packetCounters));
  doc.tables.push_back(HistoryTable(servers.History(), clock));
  if (view.Folded()) doc.tables.push_back(ApplicationTable(view.ViewRows()));
  return doc;
}

}  // namespace tolvane
