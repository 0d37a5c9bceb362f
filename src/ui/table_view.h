// The connection table: the card below the toolbar with one line per view row (application, pid,
// protocol, endpoints, traffic, latency, a signal column with a sparkline of the recent samples,
// state), the scroll bar and the details pane of the selected row (with the row's traffic totals
// and a sparkline of its last minute). Application rows of the by-application view are drawn in
// the same columns.
//
// The table keeps no state of its own. It reads the view rows, the sort and selection of ViewInputs
// and the mouse of AppState, and writes back what depends on the window's height: pageRows, the
// clamped scrollRow and the two column edges the click handler uses. During a partial repaint
// (DrawContext::cullOn) rows that do not meet the repaint rectangle are skipped whole, and the
// sparkline, the costliest item, is skipped by its own test before its samples are fetched.
// Main thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "appearance/draw.h"
#include "latency/latency_book.h"
#include "monitor/traffic.h"
#include "monitor/view.h"
#include "ui/app_state.h"

namespace tolvane {

inline constexpr int32_t kTableRowPitch = 28;
inline constexpr int32_t kTableAreaTop = 372;

// Table rows that fit in a rows area of the given height: height / 28, or 1 for 55 or less.
int32_t TablePageRows(int32_t areaHeight);

// The badge dot and badge fill of a category word; anything not one of the six words is neutral.
struct CategoryColours {
  uint32_t colour = 0;
  uint32_t badge = 0;
};
CategoryColours CategoryColoursOf(std::wstring_view category, const ThemePalette& palette);

// The table card, the plain column labels and the details pane's fill: what depends only on the
// window size and the palette (drawn with the main view's chrome).
void PaintTableChrome(DrawContext& dc, int32_t W, int32_t H);

// What a row's pixels depend on besides the chrome under it and the palette: rows of equal looks
// at one place draw the same pixels. samples: the sparkline's (at most the last 24), empty without one.
struct RowLook {
  std::wstring processName, protocol, localEndpoint, remoteEndpoint, remoteAddress, state, category;
  uint32_t pid = 0;
  int32_t latencyMs = 0;
  bool metered = false;
  uint64_t shownReceived = 0, shownSent = 0;  // ShownAmount of the rates
  AppFold app;
  bool selected = false;
  bool hovered = false;
  uint32_t fade = 0;  // the fade-in tint's alpha
  bool enablePing = true;
  int32_t W = 0;
  std::vector<int32_t> samples;
  bool operator==(const RowLook&) const = default;
};
RowLook LookOf(const ViewRow& row, const LatencyBook& book, bool selected, bool hovered, uint32_t fade, bool enablePing,
               int32_t W);
// New samples and traffic change a row only between these two x (logical): its traffic, latency,
// signal bars and sparkline. Nothing else of the row is drawn within 3 pixels of them, but its background.
// The traffic cell ends and the latency's cells begin at LatencyCellsLeft, with 4 pixels either side.
inline float MeterCellsLeft(int32_t W) { return static_cast<float>(W - 467); }
inline float LatencyCellsLeft(int32_t W) { return static_cast<float>(W - 364); }
inline float MeterCellsRight(int32_t W) { return static_cast<float>(W - 144); }
// Looks that differ at most in the latency, the samples and the traffic.
bool SameButMeters(const RowLook& a, const RowLook& b);
// For two such looks, the x span (logical) of the cells that differ: the traffic cell, the latency's
// cells, or both.
std::pair<float, float> ChangedMeterCells(const RowLook& a, const RowLook& b);

// Rows drawn before and kept with their looks (the compositor's row layer). Text is the costliest
// thing a software canvas draws and a table row is mostly text, while between two paints most rows
// look the same: the layer copies those instead of drawing them again.
class RowLayer {
 public:
  virtual ~RowLayer() = default;
  // Puts the row at screen position index, top y, onto the surface being painted: copied from the
  // layer when the look kept there is look, else first drawn into the layer (over the chrome) by
  // draw, which paints the row on the context it is given; a kept row that differs only by new
  // samples or traffic has just its meter cells drawn again (draw with the context clipped to them).
  virtual void PlaceRow(int32_t index, int32_t y, const RowLook& look,
                        const std::function<void(DrawContext&)>& draw) = 0;
};

// The last minute of a row's traffic for the details pane: received plus sent per second, oldest
// first (TrafficMeter::RateHistory of the row's sockets).
using RateHistoryFn = std::function<std::vector<uint64_t>(const ViewRow&)>;

// Everything below the toolbar down to the details pane, over the chrome. With a layer, rows are
// placed through it (except in a window too low for one whole row, where they are drawn clipped).
// Without history the details pane's traffic sparkline is a flat line.
void PaintTable(DrawContext& dc, AppState& state, ViewInputs& inputs, const std::vector<ViewRow>& rows,
                const LatencyBook& book, int32_t W, int32_t H, RowLayer* layer = nullptr,
                const RateHistoryFn& history = {});

// One sortable header: its slot (x - 4, 347)-(x + width, 364), the label, "▲"/"▼" on the sorted one.
void PaintSortHeader(DrawContext& dc, AppState& state, const ViewInputs& inputs, int32_t slot, std::wstring_view label,
                     int32_t x, int32_t width, int32_t key);

// The signal column of a row whose top is y: bars, then a word or the sparkline of the last 24
// samples of the remote address.
void PaintSignalColumn(DrawContext& dc, const ViewRow& row, const LatencyBook& book, int32_t W, int32_t y);

// The sparkline of samples (oldest first) in the box (x, top, 80, 14); rowBottom is where its fill ends.
void PaintSparkline(DrawContext& dc, const std::vector<int32_t>& samples, float x, float top, float rowBottom);

}  // namespace tolvane
