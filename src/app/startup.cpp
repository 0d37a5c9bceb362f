#include "app/startup.h"

#include <cstdio>

namespace tolvane {

std::wstring OptionValue(const std::wstring& commandLine, const std::wstring& prefix) {
  const size_t at = commandLine.find(prefix);
  if (at == std::wstring::npos) return {};
  const size_t from = at + prefix.size();
  const size_t space = commandLine.find(L' ', from);
  return commandLine.substr(from, space == std::wstring::npos ? std::wstring::npos : space - from);
}

CommandLineState ParseCommandLine(const std::wstring& commandLine) {
  CommandLineState s;
  s.demoMode = commandLine.find(L"--demo") != std::wstring::npos;
  s.benchMode = commandLine.find(L"--bench") != std::wstring::npos;
  s.apiBase = OptionValue(commandLine, L"--api-base=");
  s.tileBase = OptionValue(commandLine, L"--tile-base=");
  return s;
}

ScreenRect InitialWindowRect(int logPixelsX, const ScreenRect& workArea, bool workAreaKnown) {
  const double scale = logPixelsX > 96 ? logPixelsX / 96.0 : 1.0;
  const ScreenRect area = workAreaKnown ? workArea : ScreenRect{0, 0, 1920, 1080};
  int32_t width = static_cast<int32_t>(1360 * scale);
  int32_t height = static_cast<int32_t>(880 * scale);
  if (area.Width() - 40 < width) width = area.Width() - 40;
  if (area.Height() - 40 < height) height = area.Height() - 40;
  ScreenRect r;
  r.left = area.left + (area.Width() - width) / 2;
  r.top = area.top + (area.Height() - height) / 2;
  r.right = r.left + width;
  r.bottom = r.top + height;
  return r;
}

FrameHit FrameHitTest(bool zoomed, float uiScale, const ScreenRect& w, int32_t x, int32_t y) {
  if (zoomed) return FrameHit::Client;
  const int32_t b = static_cast<int32_t>(6 * uiScale);
  const bool left = x < w.left + b, right = x >= w.right - b;
  const bool top = y < w.top + b, bottom = y >= w.bottom - b;
  if (left && top) return FrameHit::TopLeft;
  if (right && top) return FrameHit::TopRight;
  if (left && bottom) return FrameHit::BottomLeft;
  if (right && bottom) return FrameHit::BottomRight;
  if (left) return FrameHit::Left;
  if (right) return FrameHit::Right;
  if (top) return FrameHit::Top;
  if (bottom) return FrameHit::Bottom;
  return FrameHit::Client;
}

float UiScaleFromDpi(int logPixelsY) {
  const float s = logPixelsY / 96.0f;
  return s < 1.0f ? 1.0f : s;
}

std::string FormatBenchLine(const BenchTimes& t) {
  const double f = t.frequency > 0 ? static_cast<double>(t.frequency) : 1.0;
  const double full = static_cast<double>(t.c1 - t.c0) * 1000.0 / f / 100.0;
  const double partial = static_cast<double>(t.c3 - t.c2) * 1000.0 / f / 100.0;
  const double ready = static_cast<double>(t.readyTick - t.startTick);
  const double firstPaint = static_cast<double>(t.paintTick - t.readyTick);
  char line[256];
  std::snprintf(line, sizeof line,
                "full %.2f ms/frame, hover-partial %.2f ms/frame, window-ready %.0f ms, first paint %.0f ms\n", full,
                partial, ready, firstPaint);
  return line;
}

}  // namespace tolvane
