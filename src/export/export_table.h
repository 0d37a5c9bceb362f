// What an export holds: the connection view as the user sees it (its filters, search and sort, every
// row, not only those on screen) and the call list, as tables of plain values, plus the program's
// version and the time of the export. The writers (export/export_writer.h) turn one document into
// CSV files, one JSON document or the tab-separated text of the clipboard, so every form has the
// same columns in the same order.
//
// Each table's columns come from one column table per row type (export_table.cpp): a name and a
// kind per column and a function that gives the row's value. A new column is one line there; a new
// list (the application rows of a "by application" view, a call history) is one more ExportTable in
// CollectExport. Values are texts; an empty optional is "no value" (an empty CSV field, JSON null).
// Numbers are written by the program itself, never through the locale, so "." is always the
// decimal separator.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "capture/call_list.h"
#include "capture/packet_capture.h"
#include "monitor/view.h"

namespace tolvane {

enum class ExportKind { Text, Number, Flag };

struct ExportColumn {
  std::wstring_view name;  // the CSV header, the JSON member name and the clipboard header
  ExportKind kind;
};

using ExportCell = std::optional<std::wstring>;

struct ExportTable {
  std::string_view key;          // JSON member of the document: "connections", "calls"
  std::wstring_view fileSuffix;  // CSV: written to the chosen file's name + suffix ("" for the first)
  std::vector<ExportColumn> columns;
  std::vector<std::vector<ExportCell>> rows;  // one cell per column
};

struct ExportDocument {
  std::wstring version;             // the program's version, "1.1.0"
  std::wstring time;                // ISO 8601 local time with its UTC offset
  std::vector<ExportTable> tables;  // the connections first
};

// The program's version as the export writes it.
std::wstring_view ProgramVersion();

// "2024-05-01T14:03:07+02:00": the local time of utcMs (ms since 1970 UTC) at offsetMinutes east of
// UTC, whole seconds.
std::wstring IsoTime(int64_t utcMs, int32_t offsetMinutes);

// The address part of an endpoint text: "a.b.c.d" of "a.b.c.d:port", "v6" of "[v6]:port".
std::wstring_view AddressOfEndpoint(std::wstring_view endpoint);

// Packet counts are only worth writing while they are counted: capture runs, or demonstration rows
// bring their own. Otherwise the call list's packets and live columns are left empty.
bool PacketCountersKnown(CaptureStatus status, bool demoMode);

ExportTable ConnectionTable(const std::vector<ViewRow>& rows);
// latencyOf: the latest latency of an address (negative without a value), as the call panel shows it.
ExportTable CallTable(const std::vector<CallEndpoint>& calls,
                      const std::function<int32_t(const std::wstring&)>& latencyOf, bool packetCounters);

// The whole export: the view's rows in view order, then the call list; time from the clock (the
// wall clock and the local offset of that moment).
ExportDocument CollectExport(const ConnectionView& view, const CallList& calls, bool packetCounters, Clock& clock);

}  // namespace tolvane
