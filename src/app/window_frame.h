// Decisions of the frameless main window and of the program's start that need no Windows: whether a
// start hands over to a running instance, the window's track sizes, where the background gradient
// runs, and the mouse positions and clip rectangles the drawing benchmark replays. The Win32 layer
// in app/win32/ only reads the inputs from the system and applies these answers.
#pragma once

#include <cstdint>
#include <vector>

#include "app/startup.h"

namespace tolvane {

// What a start does after creating the single-instance mutex. mutexCreated false (the call failed)
// starts normally: refusing to run because of an unreadable mutex would lock the user out.
enum class InstanceAction { Start, ActivateExisting };
InstanceAction SingleInstanceDecision(bool mutexCreated, bool alreadyExists, const CommandLineState& commandLine);

// The window's answer to WM_GETMINMAXINFO. The maximized size is the nearest monitor's work area,
// placed relative to the monitor's origin, so a maximized frameless window leaves the taskbar free.
struct TrackSizes {
  int32_t minWidth = 0, minHeight = 0;
  bool hasMax = false;  // false when no monitor information was available
  int32_t maxWidth = 0, maxHeight = 0, maxX = 0, maxY = 0;
};
TrackSizes FrameTrackSizes(float uiScale, bool monitorKnown, const ScreenRect& monitor, const ScreenRect& workArea);

// A linear gradient across the rectangle (x, y, w, h): start and end points and the colour stops.
// direction 0 runs horizontally, 2 vertically, anything else along the diagonal. Positions are
// evenly spaced from 0 to 1 (one stop per colour); a list of fewer than 2 colours has no gradient
// (solid kSolidFallback with none, the single colour with one).
struct GradientLine {
  float x0 = 0, y0 = 0, x1 = 0, y1 = 0;
};
GradientLine GradientEnds(int32_t direction, float x, float y, float w, float h);
std::vector<float> GradientPositions(size_t colourCount);
constexpr uint32_t kSolidFallback = 0xFF14141Eu;

// The drawing benchmark replays 100 frames; frame i (0 to 99) moves the mouse to BenchMouse(i), and
// the partial frames are clipped to BenchClip(i), five table rows high in turn.
struct LogicalPoint {
  int32_t x = 0, y = 0;
};
LogicalPoint BenchMouse(int32_t frame);
ScreenRect BenchClip(int32_t frame);
constexpr int32_t kBenchFrames = 100;

}  // namespace tolvane
