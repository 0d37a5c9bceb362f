// What GTK 4 no longer offers for a top-level window, done through its X11 surface: the start
// position, keep-above (_NET_WM_STATE_ABOVE) and window icons from pixels (_NET_WM_ICON). Each call
// does nothing when the display is not X11 (on Wayland the compositor places windows, and stacking
// and icons are the desktop's to decide) or the window is not realized yet.
#pragma once

#include <gtk/gtk.h>

#include <cstdint>
#include <vector>

#include "app/startup.h"

namespace tolvane {

bool IsX11Display(GdkDisplay* display);
// The monitor's work area in GTK pixels; false when the display cannot tell.
bool MonitorWorkArea(GdkMonitor* monitor, ScreenRect& area);
// Moves the window's surface to (x, y) in X pixels.
void MoveX11Window(GtkWidget* window, int32_t x, int32_t y);
// Asks the window manager to keep the window above others, or not.
void SetX11KeepAbove(GtkWidget* window, bool on);
// The icons from square ARGB pixel lists (straight alpha, row-major); empty lists remove them.
void SetX11Icons(GtkWidget* window, const std::vector<std::vector<uint32_t>>& icons);

}  // namespace tolvane
