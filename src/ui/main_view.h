// The main view: the title band, the call panel with up to four call cards, the four stat cards,
// the toolbar, the connection table (ui/table_view.h), the status line and the toast.
//
// Painters are functions of (DrawContext, AppState, the data they show, W, H) in logical pixels.
// They register the clickable rectangles they draw in AppState::hits (widgets record theirs even
// when culling skips the drawing, so a partial repaint never loses a click target), never call the
// operating system and take no lock of their own: only the short locks inside what they read (the
// latency book, the prefix list). Main thread only.
//
// Everything a painter reads from the application comes in through MainViewSources, a handful of
// references built for each paint (MainViewSourcesOf), so tests paint with hand-made parts.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "appearance/draw.h"
#include "appearance/theme.h"
#include "capture/call_list.h"
#include "capture/call_prefix.h"
#include "capture/call_servers.h"
#include "capture/packet_capture.h"
#include "clipboard/copy_feedback.h"
#include "latency/latency_book.h"
#include "monitor/published_rows.h"
#include "monitor/traffic.h"
#include "monitor/view.h"
#include "platform/clock.h"
#include "settings/settings.h"
#include "ui/app_state.h"
#include "ui/table_view.h"

namespace tolvane {

class Application;

struct MainViewSources {
  const Settings& settings;
  const ThemeEngine& themes;
  const ConnectionView& view;  // ViewRows, AllRows, LatencyOf
  ViewInputs& inputs;          // search, filters, sort, selection; the table clamps scrollRow
  const CallList& calls;
  const LatencyBook& latency;
  CopyFeedback& copyFeedback;  // the copied marker and the toast
  const PublishedRows& published;
  const CallPrefixList& prefixes;
  Clock& clock;
  CaptureStatus captureStatus = CaptureStatus::Off;
  bool lookupOpen = false;                // the lookup panel is open (its header button is drawn active)
  const TrafficMeter* traffic = nullptr;  // the machine's rate and the rows' last minute; none without
  const CallServers* servers = nullptr;   // the call cards' places; none without it
};

// The parts of a running application, with the capture status and the lookup panel's flag read now.
MainViewSources MainViewSourcesOf(Application& app);

// The per-paint inputs of the primitives for the main window: palette of the active theme, mouse
// from AppState, now and enablePing from the sources, the hit table's text-field records.
DrawContext MakeDrawContext(Canvas& canvas, const UiFonts& fonts, TextWidthCache& widths, AppState& state,
                            const MainViewSources& sources);

struct ViewStats {
  int32_t socketCount = 0;     // view rows
  int32_t callIpCount = 0;     // entries of the call list
  int32_t liveNodeCount = 0;   // live entries of the call list
  int32_t appCount = 0;        // distinct process names among the view rows
  int32_t medianLatency = -1;  // of the latencies above 0; -1 without one
};
// rows: the socket rows shown (ConnectionView::ShownSockets), also in the by-application view.
ViewStats ComputeViewStats(const std::vector<ViewRow>& rows, const CallList& calls, bool enablePing);

// The machine's rate for the status line, "↓ 3.40 MB/s ↑ 120 kB/s"; empty when not metered.
std::wstring MachineRateText(const MachineTraffic& machine);
// A call card's detail line: "Frankfurt, DE  ·  port 50004  ·  Discord.exe  ·  PID 4242", without
// the place while it is not known and without the port when there is none.
std::wstring CallCardDetail(const std::wstring& place, const CallEndpoint& entry);

// Packet counts of a call card: "950", "18.2k", "3.4M" (one decimal, truncated).
std::wstring PacketCountText(uint64_t packets);

// Width of call card i's box when n (1 to 4) cards share the panel of a window W wide.
int32_t CallCardWidth(int32_t W, int32_t n);

// The text and colour of the capture state pill, and the two lines shown with an empty call list.
std::wstring CaptureStateText(CaptureStatus status);
uint32_t CaptureStateColour(CaptureStatus status, const ThemePalette& palette);
std::wstring EmptyCallHeading(CaptureStatus status);
std::wstring EmptyCallHint(CaptureStatus status, const std::wstring& prefixSummary);

// The colour of a latency value in the active palette.
uint32_t LatencyArgb(const ThemePalette& palette, int32_t latencyMs, bool enablePing);

// The main view's chrome: what changes only with the window size, the theme, the number of call
// cards and the toolbar's settings: the window buttons, logo, title and theme swatches, the call
// panel's card with the frames of its call cards, the stat cards with their titles, the toolbar's
// segments, toggles and category buttons, and the table's chrome (ui/table_view.h). Large
// translucent fills and outlines are among the costliest calls of a software canvas, so the
// compositor keeps the chrome in a cached layer under the view, drawn again when its key changes.
struct MainViewChromeKey {
  int32_t W = 0, H = 0;
  int32_t theme = -1;
  int32_t callCards = 0;  // 0 to 4
  int32_t protocolFilter = 0, categoryFilter = 0;
  uint32_t toggles = 0;  // the six toolbar toggles in slot order, bit 0 "LAN"
  bool operator==(const MainViewChromeKey&) const = default;
};
MainViewChromeKey ChromeKeyOf(const MainViewSources& sources, int32_t W, int32_t H);
void PaintMainViewChrome(DrawContext& dc, const MainViewSources& sources, int32_t W, int32_t H);

// What the canvas's surface already holds or can supply: the chrome (PaintMainViewChrome) and a
// layer of drawn table rows.
struct ViewLayers {
  bool chromeDrawn = false;
  RowLayer* rows = nullptr;
};

// The whole main view, bands from top to bottom; the chrome first unless the layers hold it.
void PaintMainView(DrawContext& dc, AppState& state, const MainViewSources& sources, int32_t W, int32_t H,
                   const ViewLayers& layers = {});

// The bands. With chromeDrawn the canvas already holds their chrome (PaintMainViewChrome): they
// register every slot but draw only what changes between paints.
void PaintHeader(DrawContext& dc, AppState& state, const MainViewSources& sources, int32_t W, bool chromeDrawn = false);
void PaintSwatches(DrawContext& dc, const MainViewSources& sources, int32_t W);
// Marks the call slots, CallCopyAll and CallHistory not present, then draws the panel and sets present what it drew.
void PaintCallPanel(DrawContext& dc, AppState& state, const MainViewSources& sources, int32_t W,
                    bool chromeDrawn = false);
void PaintCallCard(DrawContext& dc, AppState& state, const MainViewSources& sources, const CallEndpoint& entry,
                   int32_t index, int32_t x, int32_t cw, bool chromeDrawn = false);
// The line of call card i (of n shown) with its latency, packet count and signal bars: (logical
// pixels) the one part of the card new samples and packets change.
RectF CallCardLineBox(int32_t W, int32_t n, int32_t i);
// A call card's fill (rgb of text at alpha) and outline.
void PaintCallCardFrame(DrawContext& dc, int32_t x, int32_t cw, uint32_t alpha);
// The four stat cards; the APPLICATIONS card is the by-application switch (slot AppsCard).
void PaintStatCards(DrawContext& dc, AppState& state, const MainViewSources& sources, int32_t W);
// The texts of the band that the clock and the view change without a repaint of their own: each
// stat card's value and sub-line (the applications card's says how long ago the last capture was)
// and the status line. The painters draw these; once a second the window compares them with what it
// last saw and repaints only the boxes whose text changed.
struct ClockedTexts {
  std::array<std::wstring, 4> cardValue;
  std::array<std::wstring, 4> cardSub;
  std::wstring statusLine;
};
ClockedTexts ClockedTextsOf(const MainViewSources& sources, bool capturePaused, bool enablePing);
// Where they are drawn (logical pixels): card i's value and sub-line, the status line.
RectF StatCardValueBox(int32_t W, int32_t i);
RectF StatCardSubBox(int32_t W, int32_t i);
RectF StatusLineBox(int32_t W, int32_t H);
void PaintToolbar(DrawContext& dc, AppState& state, const MainViewSources& sources, int32_t W,
                  bool chromeDrawn = false);
void PaintStatusLine(DrawContext& dc, AppState& state, const MainViewSources& sources, int32_t W, int32_t H);
// The toast in the lower right corner; an expired toast is cleared (Toast::Visible) and not drawn.
void PaintToast(DrawContext& dc, Toast& toast, int32_t W, int32_t H);
// The box PaintToast draws the toast's text in: as wide as its drawn text, never wider than W - 60.
RectF ToastBox(DrawContext& dc, const Toast& toast, int32_t W, int32_t H);

}  // namespace tolvane
