// X11 properties of the main window; see x11_window.h.
#include "app/linux/x11_window.h"

#include <gdk/x11/gdkx.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <cmath>

namespace tolvane {
namespace {

bool X11Surface(GtkWidget* window, Display*& display, Window& xid) {
  if (!window || !IsX11Display(gtk_widget_get_display(window))) return false;
  GdkSurface* surface = gtk_native_get_surface(GTK_NATIVE(window));
  if (!surface) return false;
  display = gdk_x11_display_get_xdisplay(gtk_widget_get_display(window));
  xid = gdk_x11_surface_get_xid(surface);
  return display != nullptr && xid != 0;
}

}  // namespace

bool IsX11Display(GdkDisplay* display) { return display != nullptr && GDK_IS_X11_DISPLAY(display); }

bool MonitorWorkArea(GdkMonitor* monitor, ScreenRect& area) {
  if (!monitor) return false;
  GdkRectangle r{};
  if (GDK_IS_X11_MONITOR(monitor)) {
    gdk_x11_monitor_get_workarea(monitor, &r);
  } else {
    gdk_monitor_get_geometry(monitor, &r);
  }
  if (r.width < 1 || r.height < 1) return false;
  area = ScreenRect{r.x, r.y, r.x + r.width, r.y + r.height};
  return true;
}

void MoveX11Window(GtkWidget* window, int32_t x, int32_t y) {
  Display* display = nullptr;
  Window xid = 0;
  if (!X11Surface(window, display, xid)) return;
  // A program-chosen position: window managers honour it when the size hints say so.
  XSizeHints hints{};
  long supplied = 0;
  XGetWMNormalHints(display, xid, &hints, &supplied);
  hints.flags |= PPosition | USPosition;
  hints.x = x;
  hints.y = y;
  XSetWMNormalHints(display, xid, &hints);
  XMoveWindow(display, xid, x, y);
  XFlush(display);
}

void SetX11KeepAbove(GtkWidget* window, bool on) {
  Display* display = nullptr;
  Window xid = 0;
  if (!X11Surface(window, display, xid)) return;
  const Atom state = XInternAtom(display, "_NET_WM_STATE", False);
  const Atom above = XInternAtom(display, "_NET_WM_STATE_ABOVE", False);
  // The state a window manager reads when it maps the window...
  if (on) {
    XChangeProperty(display, xid, state, XA_ATOM, 32, PropModeReplace, reinterpret_cast<const unsigned char*>(&above),
                    1);
  } else {
    XDeleteProperty(display, xid, state);
  }
  // ...and the request it answers once the window is mapped (EWMH: 1 adds, 0 removes).
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = xid;
  event.xclient.message_type = state;
  event.xclient.format = 32;
  event.xclient.data.l[0] = on ? 1 : 0;
  event.xclient.data.l[1] = static_cast<long>(above);
  event.xclient.data.l[3] = 1;  // a normal application
  XSendEvent(display, DefaultRootWindow(display), False, SubstructureRedirectMask | SubstructureNotifyMask, &event);
  XFlush(display);
}

void SetX11Icons(GtkWidget* window, const std::vector<std::vector<uint32_t>>& icons) {
  Display* display = nullptr;
  Window xid = 0;
  if (!X11Surface(window, display, xid)) return;
  const Atom property = XInternAtom(display, "_NET_WM_ICON", False);
  // Format-32 properties travel as longs in Xlib, whatever their width: width, height, then the
  // pixels, for each icon in turn.
  std::vector<unsigned long> data;
  for (const std::vector<uint32_t>& icon : icons) {
    const auto side = static_cast<unsigned long>(std::lround(std::sqrt(static_cast<double>(icon.size()))));
    if (side == 0 || side * side != icon.size()) continue;
    data.push_back(side);
    data.push_back(side);
    data.insert(data.end(), icon.begin(), icon.end());
  }
  if (data.empty()) {
    XDeleteProperty(display, xid, property);
  } else {
    XChangeProperty(display, xid, property, XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(data.data()), static_cast<int>(data.size()));
  }
  XFlush(display);
}

}  // namespace tolvane
