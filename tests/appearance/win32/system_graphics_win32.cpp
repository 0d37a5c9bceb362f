// GDI+ started and stopped around each system graphics test.
#include "platform/win32/gdiplus_headers.h"

#include "appearance/system/system_graphics.h"
#include "platform/win32/canvas_gdiplus.h"

namespace tolvane {
namespace {
ULONG_PTR token = 0;
}  // namespace

bool StartSystemGraphics() {
  Gdiplus::GdiplusStartupInput input;
  return Gdiplus::GdiplusStartup(&token, &input, nullptr) == Gdiplus::Ok;
}

void StopSystemGraphics() {
  ReleaseGdiplusCanvasCaches();
  if (token) Gdiplus::GdiplusShutdown(token);
  token = 0;
}

}  // namespace tolvane
