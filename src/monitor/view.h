// The connection view: the filtered, searched and sorted rows that the connection table draws.
//
// ConnectionView::RebuildView runs on the main thread. It copies the published snapshot once (the
// rows lock is held only for that copy), rebuilds the call list from the same copy, filters and
// sorts it into ViewRows with each row's latency and first-seen time, finds the selected row again
// by its key, keeps the scroll position in range and reports through change bits whether the
// table, only its latencies, the call panel or only its cards' latency lines need a repaint. The locks it takes (rows,
// prefix list, latency book) are taken one at a time, never nested.
//
// With the setting byApp on, the filtered and searched socket rows are folded into one row per
// application (process name) before the sort, so the filters and the search choose the sockets an
// application row sums up, and the sort orders the application rows.
//
// The window owns ViewInputs (the user's search, filters and sort, and the selection / scroll /
// fade outputs) and passes it to every rebuild. Everything else here is read by the painters on the
// main thread without locks.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "capture/call_list.h"
#include "capture/call_prefix.h"
#include "latency/latency_book.h"
#include "monitor/connection_row.h"
#include "monitor/published_rows.h"
#include "platform/clock.h"
#include "settings/settings.h"

namespace tolvane {

// What an application row of the by-application view sums up; connections is 0 for a socket row.
struct AppFold {
  uint32_t connections = 0;
  uint32_t addresses = 0;  // distinct remote addresses
  uint32_t processes = 0;  // distinct process ids
  int32_t signalMs = -2;   // the latency of its most active connection, for the signal column
  bool operator==(const AppFold&) const = default;
};

// A shown row: the socket row, then its latency at the time of the rebuild (negative without a
// value) and the tick at which a row with its key first appeared (0 = part of the first view).
// An application row (app.connections > 0) is a ConnectionRow too: the name, category, state,
// remote address and port of its most active connection, "TCP4", "UDP" or "TCP/UDP" as protocol,
// "12 connections" and "7 addresses" as endpoints, the summed traffic and its best latency.
struct ViewRow : ConnectionRow {
  int32_t latencyMs = -2;
  uint64_t firstSeen = 0;
  AppFold app;
};

// A view row's identity across rebuilds: RowKey of a socket row, "app|" + name of an application row.
std::wstring ViewRowKey(const ViewRow& row);

struct ViewInputs {
  std::wstring searchText;     // at most 60 characters
  int32_t categoryFilter = 0;  // 0 all, 1 discord, 2 browser, 3 social, 4 game, 5 media, 6 dev
  int32_t protocolFilter = 0;  // 0 all, 1 TCP, 2 UDP
  int32_t sortKey = 0;         // 0 APPLICATION, 1 REMOTE IP : PORT, 2 LATENCY, 3 STATE, 4 TRAFFIC
  bool sortAscending = true;
  // Outputs of RebuildView.
  int32_t selectedRow = -1;
  int32_t scrollRow = 0;
  uint64_t animateUntil = 0;
};

// -2 when ping measurement is off, the address is empty or "*"; -3 for an IPv6 address (holds
// ":"); otherwise the book's latest sample, or -2 when it has none. Takes the book's lock.
int32_t LatencyOf(const LatencyBook& book, const Settings& settings, const std::wstring& address);

// The table order: true when a is drawn before b for this sort column and direction.
bool ViewCompare(const ViewRow& a, const ViewRow& b, int32_t sortKey, bool sortAscending);

// Median latency of the shown rows (the stat card): see the latency grading functions.
int32_t MedianLatency(const std::vector<ViewRow>& viewRows, bool enablePing);

class ConnectionView {
 public:
  static constexpr uint32_t kRowsChanged = 1;   // repaint everything
  static constexpr uint32_t kCallsChanged = 2;  // repaint the call panel
  // Only the latencies or the traffic of the same rows in the same order changed: repaint the rows,
  // the selected row's route and the median (never together with kRowsChanged).
  static constexpr uint32_t kMetersChanged = 4;
  // Only the latency and packet lines of the same call cards changed (never with kCallsChanged).
  static constexpr uint32_t kCallLinesChanged = 8;
  static constexpr uint64_t kFadeMs = 700;

  ConnectionView(PublishedRows& published, CallList& calls, const LatencyBook& book, const Settings& settings,
                 const CallPrefixList& prefixes, Clock& clock);

  // Rebuilds the view from the latest snapshot; returns the k...Changed bits.
  uint32_t RebuildView(ViewInputs& inputs);

  int32_t LatencyOf(const std::wstring& address) const;

  const RowList& AllRows() const { return allRows_; }
  const std::vector<ViewRow>& ViewRows() const { return viewRows_; }
  // ViewRows are application rows (the by-application view).
  bool Folded() const { return folded_; }
  // The socket rows that passed the filters and the search: ViewRows, or in the by-application
  // view the rows folded into its application rows (in snapshot order).
  const std::vector<ViewRow>& ShownSockets() const { return folded_ ? socketRows_ : viewRows_; }
  // The sockets an application row folds (just the row itself for a socket row).
  std::vector<const ViewRow*> SocketsOf(const ViewRow& row) const;
  // Its distinct remote addresses (not "*"), in the order of its sockets.
  std::vector<std::wstring> RemoteAddressesOf(const ViewRow& row) const;
  // RowFirstSeen: first-seen times of the rows of the current ViewRows, and of nothing else.
  size_t RowFirstSeenCount() const { return rowFirstSeen_.size(); }
  // The stored first-seen time of a row key; nullopt for a key not in the current view.
  std::optional<uint64_t> RowFirstSeen(const std::wstring& key) const;
  bool viewShownBefore() const { return viewShownBefore_; }

  const std::wstring& SelectedRowKey() const { return selectedRowKey_; }
  void SetSelectedRowKey(const std::wstring& key) { selectedRowKey_ = key; }

 private:
  bool Passes(const ConnectionRow& row, const ViewInputs& inputs, const std::wstring& needle, bool callOnly,
              bool discordFocus);
  // Folds sockets into one row per process name, into apps (overwritten in place, resized).
  void Fold(const std::vector<ViewRow>& sockets, std::vector<ViewRow>& apps);
  struct CallPrints {
    uint32_t cards = 0;  // what the call cards are and show, but their latency and packet lines
    uint32_t lines = 0;  // those lines
  };
  CallPrints CallFingerprint() const;

  PublishedRows& published_;
  CallList& calls_;
  const LatencyBook& book_;
  const Settings& settings_;
  const CallPrefixList& prefixes_;
  Clock& clock_;

  RowList allRows_;
  std::vector<ViewRow> viewRows_;
  struct Seen {
    uint64_t firstSeen;
    uint64_t generation;  // the rebuild that last found the key; older entries are dropped
  };
  std::unordered_map<std::wstring, Seen> rowFirstSeen_;
  uint64_t generation_ = 0;
  std::vector<ViewRow> spareRows_;   // the previous-but-one view, refilled so its strings keep their storage
  std::vector<uint32_t> order_;      // sort permutation, reused
  bool folded_ = false;              // viewRows_ are application rows
  std::vector<ViewRow> socketRows_;  // what they fold
  std::vector<std::pair<uint32_t, uint32_t>> foldPairs_;  // (application, pid or address index), reused
  bool viewShownBefore_ = false;
  std::wstring selectedRowKey_;
  uint32_t rowsFingerprint_ = 0;
  uint32_t latencyFingerprint_ = 0;
  CallPrints callFingerprint_;
  std::wstring haystack_;  // reused search buffer, so a rebuild does not allocate one per row
};

}  // namespace tolvane
