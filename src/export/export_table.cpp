// The export's tables; see export_table.h.
//
// The column tables below are the one place that says which columns an export has and in which
// order: CSV, JSON and the clipboard's table all follow them.
#include "export/export_table.h"

#include "capture/call_history.h"
#include "platform/clock.h"

#ifndef TOLVANE_VERSION_TEXT
#define TOLVANE_VERSION_TEXT "0.0.0"
#endif

namespace tolvane {
namespace {

struct ExportContext {
  const std::function<int32_t(const std::wstring&)>* latencyOf = nullptr;
  bool packetCounters = true;
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
};

template <class Row, size_t N>
ExportTable TableOf(std::string_view key, std::wstring_view fileSuffix, const ColumnOf<Row> (&columns)[N],
                    const std::vector<Row>& rows, const ExportContext& context) {
  ExportTable table{key, fileSuffix, {}, {}};
  table.columns.reserve(N);
  for (const ColumnOf<Row>& c : columns) table.columns.push_back(c.column);
  table.rows.reserve(rows.size());
  for (const Row& row : rows) {
    std::vector<ExportCell>& cells = table.rows.emplace_back();
    cells.reserve(N);
    for (const ColumnOf<Row>& c : columns) cells.push_back(c.value(row, context));
  }
  return table;
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
  return TableOf("connections", L"", kConnectionColumns, rows, ExportContext{});
}

ExportTable CallTable(const std::vector<CallEndpoint>& calls,
                      const std::function<int32_t(const std::wstring&)>& latencyOf, bool packetCounters) {
  return TableOf("calls", L"-calls", kCallColumns, calls, ExportContext{&latencyOf, packetCounters});
}

ExportDocument CollectExport(const ConnectionView& view, const CallList& calls, bool packetCounters, Clock& clock) {
  const int64_t utcMs = FloorDiv(clock.SystemNs(), 1000000);
  ExportDocument doc;
  doc.version = ProgramVersion();
  doc.time = IsoTime(utcMs, clock.UtcOffsetMinutes(utcMs));
  doc.tables.push_back(ConnectionTable(view.ViewRows()));
  doc.tables.push_back(CallTable(
      calls.Entries(), [&view](const std::wstring& address) { return view.LatencyOf(address); }, packetCounters));
  return doc;
}

}  // namespace tolvane
