// Start-up arithmetic of the program, kept free of Windows so it can be tested on the host:
// command-line options, the first window's geometry, the resize-border hit test of the frameless
// window and the benchmark's result line.
#pragma once

#include <cstdint>
#include <string>

#include "engine/command_line.h"

namespace tolvane {

// The characters after the first occurrence of prefix, up to the first space or the end; empty
// when prefix does not occur. No quoting is recognised.
std::wstring OptionValue(const std::wstring& commandLine, const std::wstring& prefix);

CommandLineState ParseCommandLine(const std::wstring& commandLine);

struct ScreenRect {
  int32_t left = 0, top = 0, right = 0, bottom = 0;
  int32_t Width() const { return right - left; }
  int32_t Height() const { return bottom - top; }
};

// Position and size of the main window: 1360 x 880 logical pixels scaled by the screen's dpi,
// at most the work area less 40 pixels, centred in the work area. workAreaKnown false means the
// query failed and a 1920 x 1080 area at the origin is assumed.
ScreenRect InitialWindowRect(int logPixelsX, const ScreenRect& workArea, bool workAreaKnown);

// The frame's answer to a hit test at screen point (x, y): which resize border, if any.
enum class FrameHit { Client, Left, Right, Top, Bottom, TopLeft, TopRight, BottomLeft, BottomRight };
FrameHit FrameHitTest(bool zoomed, float uiScale, const ScreenRect& window, int32_t x, int32_t y);

// The window's drawing scale: LOGPIXELSY / 96, never below 1.
float UiScaleFromDpi(int logPixelsY);

// The benchmark's result line, newline included. Counter values are performance-counter ticks.
struct BenchTimes {
  int64_t c0 = 0, c1 = 0, c2 = 0, c3 = 0, frequency = 1;
  uint64_t startTick = 0, readyTick = 0, paintTick = 0;
};
std::string FormatBenchLine(const BenchTimes& t);

}  // namespace tolvane
