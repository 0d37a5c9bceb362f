// The lookup panel: a modal card over the main view with the lookup box, the recent lookups, and for
// the current address its status pills, geolocation fields, street map, live latency card with the
// ping graph, and the commands "Copy IP", "Copy all info", "Open in Google Maps" and "Refresh".
//
// The painter is a function of the current lookup's snapshot (taken under the lookup lock once per
// paint) and of what it is handed in LookupPanelSources; it keeps nothing between paints but the
// map's drawable image. It clears the panel's hit slots first and records only what it draws, so a
// button that is not shown cannot be clicked. The clicks, keys and typed characters that act on the
// panel (LookupPanelClick, LookupPanelKey, LookupPanelChar in ui/commands.h) live in
// ui/lookup_commands.cpp. Main thread only.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "appearance/draw.h"
#include "clipboard/copy_feedback.h"
#include "latency/latency_book.h"
#include "lookup/lookup_current.h"
#include "lookup/lookup_service.h"
#include "lookup/map_tiles.h"
#include "lookup/url_host.h"
#include "platform/canvas.h"
#include "settings/settings.h"
#include "ui/app_state.h"

namespace tolvane {

class MainWindow;

// The map's pixels as an image the canvas can draw, made once per map (a refreshed lookup brings a
// new map) and kept until the next map or Release. The image draws from the held map's pixels
// where the canvas can. Images belong to the factory that made them; another factory makes a new one.
class MapImageCache {
 public:
  // The image of map, or null for no map, pixels of the wrong size, or a factory that made nothing.
  const CanvasImage* ImageFor(GraphicsFactory& factory, const std::shared_ptr<const MapImage>& map);
  // Drops the image (window destruction: before the graphics library shuts down).
  void Release();
  // How many images were made so far (for tests).
  int32_t conversions() const { return conversions_; }

 private:
  GraphicsFactory* factory_ = nullptr;
  std::shared_ptr<const MapImage> source_;  // held: the image may draw from its pixels
  std::unique_ptr<CanvasImage> image_;
  int32_t conversions_ = 0;
};

// What one paint of the panel reads.
struct LookupPanelSources {
  const Settings& settings;
  const CurrentLookup& current;
  const LookupCache& cache;
  const LatencyBook& latency;
  CopyFeedback& copyFeedback;      // the copied marker behind "Copied ✓"
  const std::wstring& lookupText;  // the lookup box
  std::wstring serviceHost;        // the geolocation service's host, named in the credits line
  GraphicsFactory& factory;        // makes the map's image
  MapImageCache& maps;
};

// The panel's size and its top-left corner for a client area of W x H logical pixels: centred, but
// at the top (Y = 8) when the window is lower than the panel and its margins.
inline constexpr int32_t kLookupPanelWidth = 860;
inline constexpr int32_t kLookupPanelHeight = 668;
int32_t LookupPanelX(int32_t W);
int32_t LookupPanelY(int32_t H);

// The web map centred on a location: the map site's root + "/maps?q=%.6f,%.6f". Empty when a
// coordinate is not a finite number within the world's range (nothing sensible to open).
inline constexpr wchar_t kWebMapRoot[] = L"https://www.google.com";
std::wstring WebMapLink(double lat, double lon);

// The sub-title under the panel's title: "site  →  address", "app  ·  proto  ·  port n  ·  PID n"
// for a lookup opened from a row or a call, "Manual lookup" for a typed address, else empty.
std::wstring LookupSubtitle(const CurrentLookup& current);

// Draws the panel over the whole client area (W x H logical) and records its hit slots.
void DrawLookupPanel(DrawContext& dc, AppState& state, const LookupPanelSources& sources, int32_t W, int32_t H);

// The panel of the running window: its sources from the window's application and editor.
void PaintLookupPanel(DrawContext& dc, MainWindow& window, int32_t W, int32_t H);

}  // namespace tolvane
