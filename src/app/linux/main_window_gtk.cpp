// The main window's GTK 4 side; see main_window_gtk.h.
//
// Contents: keys and cursors, the window host, the signal handlers (the translator), creation and
// closing, the benchmark.
#include "app/linux/main_window_gtk.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "app/linux/x11_window.h"
#include "app/window_frame.h"
#include "platform/canvas.h"
#include "platform/linux/clipboard_gtk.h"
#include "platform/name_resolution.h"
#include "platform/utf8.h"
#include "ui/main_window_paint.h"

namespace tolvane {
namespace {

// ---- Keys and cursors ------------------------------------------------------------------------

// The Windows virtual-key number the commands know a key by; 0 for keys they do not use.
uint32_t VirtualKeyOf(guint keyval) {
  switch (keyval) {
    case GDK_KEY_BackSpace:
      return 0x08;
    case GDK_KEY_Tab:
    case GDK_KEY_ISO_Left_Tab:
      return 0x09;
    case GDK_KEY_Return:
    case GDK_KEY_KP_Enter:
      return 0x0D;
    case GDK_KEY_Escape:
      return 0x1B;
    case GDK_KEY_space:
      return 0x20;
    case GDK_KEY_Page_Up:
      return 0x21;
    case GDK_KEY_Page_Down:
      return 0x22;
    case GDK_KEY_End:
      return 0x23;
    case GDK_KEY_Home:
      return 0x24;
    case GDK_KEY_Left:
      return 0x25;
    case GDK_KEY_Up:
      return 0x26;
    case GDK_KEY_Right:
      return 0x27;
    case GDK_KEY_Down:
      return 0x28;
    case GDK_KEY_Delete:
    case GDK_KEY_KP_Delete:
      return 0x2E;
    default:
      break;
  }
  if (keyval >= GDK_KEY_F1 && keyval <= GDK_KEY_F12) return 0x70 + (keyval - GDK_KEY_F1);
  const guint upper = gdk_keyval_to_upper(keyval);
  if (upper >= GDK_KEY_A && upper <= GDK_KEY_Z) return 0x41 + (upper - GDK_KEY_A);
  if (keyval >= GDK_KEY_0 && keyval <= GDK_KEY_9) return 0x30 + (keyval - GDK_KEY_0);
  return 0;
}

// The character Windows posts with a key that types no text (WM_CHAR's control characters): the
// commands take Backspace and Enter as characters. 0 for none.
wchar_t ControlCharOf(guint keyval, bool ctrl) {
  switch (keyval) {
    case GDK_KEY_BackSpace:
      return L'\b';
    case GDK_KEY_Tab:
      return L'\t';
    case GDK_KEY_Return:
    case GDK_KEY_KP_Enter:
      return L'\r';
    case GDK_KEY_Escape:
      return 0x1B;
    default:
      break;
  }
  const guint upper = gdk_keyval_to_upper(keyval);
  if (ctrl && upper >= GDK_KEY_A && upper <= GDK_KEY_Z) return static_cast<wchar_t>(upper - GDK_KEY_A + 1);
  return 0;
}

const char* CursorName(CursorShape shape) {
  return shape == CursorShape::Hand ? "pointer" : shape == CursorShape::IBeam ? "text" : "default";
}

struct Edge {
  GdkSurfaceEdge edge;
  const char* cursor;
};

// The resize edge under a border hit, or false inside the client area.
bool EdgeOf(FrameHit hit, Edge& e) {
  switch (hit) {
    case FrameHit::Left:
      e = {GDK_SURFACE_EDGE_WEST, "w-resize"};
      return true;
    case FrameHit::Right:
      e = {GDK_SURFACE_EDGE_EAST, "e-resize"};
      return true;
    case FrameHit::Top:
      e = {GDK_SURFACE_EDGE_NORTH, "n-resize"};
      return true;
    case FrameHit::Bottom:
      e = {GDK_SURFACE_EDGE_SOUTH, "s-resize"};
      return true;
    case FrameHit::TopLeft:
      e = {GDK_SURFACE_EDGE_NORTH_WEST, "nw-resize"};
      return true;
    case FrameHit::TopRight:
      e = {GDK_SURFACE_EDGE_NORTH_EAST, "ne-resize"};
      return true;
    case FrameHit::BottomLeft:
      e = {GDK_SURFACE_EDGE_SOUTH_WEST, "sw-resize"};
      return true;
    case FrameHit::BottomRight:
      e = {GDK_SURFACE_EDGE_SOUTH_EAST, "se-resize"};
      return true;
    case FrameHit::Client:
      break;
  }
  return false;
}

GdkToplevel* ToplevelOf(GtkWidget* window) {
  if (!window) return nullptr;
  GdkSurface* surface = gtk_native_get_surface(GTK_NATIVE(window));
  return surface && GDK_IS_TOPLEVEL(surface) ? GDK_TOPLEVEL(surface) : nullptr;
}

bool Minimized(GtkWidget* window) {
  GdkToplevel* toplevel = ToplevelOf(window);
  return toplevel && (gdk_toplevel_get_state(toplevel) & GDK_TOPLEVEL_STATE_MINIMIZED) != 0;
}

// Input is dropped while the window must not act on it: closing, a clipboard read waiting for
// another program, a modal dialog open.
bool InputBlocked(const MainWindowState& s) { return s.closing || ClipboardReadInProgress() || s.dialogOpen; }

// Runs the main loop until *done (a modal dialog's answer).
void WaitFor(const bool& done) {
  while (!done) g_main_context_iteration(nullptr, TRUE);
}

}  // namespace

// ---- The window host ---------------------------------------------------------------------------

GtkWindowHost::~GtkWindowHost() { ForgetTimers(); }

void GtkWindowHost::Invalidate(const DeviceRect& r) {
  if (r.right <= r.left || r.bottom <= r.top) return;
  dirty_.push_back(r);
  if (state_.area) gtk_widget_queue_draw(state_.area);
}

void GtkWindowHost::InvalidateAll() {
  dirtyAll_ = true;
  if (state_.area) gtk_widget_queue_draw(state_.area);
}

bool GtkWindowHost::TakeDirty(bool& all, std::vector<DeviceRect>& parts) {
  all = dirtyAll_;
  parts.swap(dirty_);
  dirty_.clear();
  dirtyAll_ = false;
  return all || !parts.empty();
}

gboolean GtkWindowHost::OnTimerSource(gpointer data) {
  auto* timer = static_cast<Timer*>(data);
  MainWindowState& s = timer->host->state_;
  // A tick during a clipboard read is skipped, as a late one would be; a dialog lets them run, as
  // the system's modal loops do on Windows.
  if (!s.closing && !ClipboardReadInProgress()) s.machine.OnTimer(timer->id);
  return G_SOURCE_CONTINUE;
}

void GtkWindowHost::SetTimer(uint32_t id, uint32_t periodMs) {
  KillTimer(id);
  auto timer = std::make_unique<Timer>();
  timer->host = this;
  timer->id = id;
  timer->source = g_timeout_add(periodMs, &GtkWindowHost::OnTimerSource, timer.get());
  timers_[id] = std::move(timer);
}

void GtkWindowHost::KillTimer(uint32_t id) {
  auto it = timers_.find(id);
  if (it == timers_.end()) return;
  g_source_remove(it->second->source);
  timers_.erase(it);
}

void GtkWindowHost::ForgetTimers() {
  for (auto& [id, timer] : timers_) g_source_remove(timer->source);
  timers_.clear();
}

void GtkWindowHost::SetCursor(CursorShape shape) {
  if (cursorSet_ && shape == cursor_) return;
  cursor_ = shape;
  cursorSet_ = true;
  if (state_.area) gtk_widget_set_cursor_from_name(state_.area, CursorName(shape));
}

int32_t GtkWindowHost::ClientWidth() { return state_.area ? gtk_widget_get_width(state_.area) * state_.scale : 0; }

int32_t GtkWindowHost::ClientHeight() { return state_.area ? gtk_widget_get_height(state_.area) * state_.scale : 0; }

void GtkWindowHost::SetWindowIcons(const std::vector<uint32_t>& big32, const std::vector<uint32_t>& small16) {
  std::vector<std::vector<uint32_t>> icons;
  if (!big32.empty()) icons.push_back(big32);
  if (!small16.empty()) icons.push_back(small16);
  SetX11Icons(state_.window, icons);
}

void GtkWindowHost::ApplyTopmost(bool on) { SetX11KeepAbove(state_.window, on); }

void GtkWindowHost::PostDeferredStart() {
  g_idle_add_full(
      G_PRIORITY_DEFAULT,
      [](gpointer data) -> gboolean {
        auto* s = static_cast<MainWindowState*>(data);
        if (!s->closing) s->machine.OnDeferredStart();
        return G_SOURCE_REMOVE;
      },
      &state_, nullptr);
}

void GtkWindowHost::SetFocus() {
  if (state_.area) gtk_widget_grab_focus(state_.area);
}

void GtkWindowHost::DestroyWindow() { CloseMainWindow(state_); }

void GtkWindowHost::ShowWindow(WindowShow show) {
  if (!state_.window) return;
  GtkWindow* w = GTK_WINDOW(state_.window);
  switch (show) {
    case WindowShow::Minimize:
      gtk_window_minimize(w);
      break;
    case WindowShow::Maximize:
      gtk_window_maximize(w);
      break;
    case WindowShow::Restore:
      if (gtk_window_is_maximized(w)) gtk_window_unmaximize(w);
      gtk_window_unminimize(w);
      gtk_window_present(w);
      break;
  }
}

bool GtkWindowHost::IsZoomed() { return state_.window && gtk_window_is_maximized(GTK_WINDOW(state_.window)); }

void GtkWindowHost::BeginDrag() {
  GdkToplevel* toplevel = ToplevelOf(state_.window);
  if (!toplevel || !state_.pressDevice) return;
  gdk_toplevel_begin_move(toplevel, state_.pressDevice, state_.pressButton, state_.pressX, state_.pressY,
                          state_.pressTime);
}

bool GtkWindowHost::ChooseColour(uint32_t startRgb, uint32_t& chosenRgb) {
  if (!state_.window) return false;
  GtkWidget* dialog = gtk_color_chooser_dialog_new("Choose a colour", GTK_WINDOW(state_.window));
  gtk_window_set_modal(GTK_WINDOW(dialog), TRUE);
  gtk_color_chooser_set_use_alpha(GTK_COLOR_CHOOSER(dialog), FALSE);
  const GdkRGBA start{((startRgb >> 16) & 0xFF) / 255.0f, ((startRgb >> 8) & 0xFF) / 255.0f, (startRgb & 0xFF) / 255.0f,
                      1.0f};
  gtk_color_chooser_set_rgba(GTK_COLOR_CHOOSER(dialog), &start);
  struct Answer {
    bool done = false;
    int response = GTK_RESPONSE_CANCEL;
  } answer;
  g_signal_connect(dialog, "response", G_CALLBACK(+[](GtkDialog*, int response, gpointer data) {
                     auto* a = static_cast<Answer*>(data);
                     a->response = response;
                     a->done = true;
                   }),
                   &answer);
  state_.dialogOpen = true;
  gtk_window_present(GTK_WINDOW(dialog));
  WaitFor(answer.done);
  state_.dialogOpen = false;
  GdkRGBA chosen{};
  gtk_color_chooser_get_rgba(GTK_COLOR_CHOOSER(dialog), &chosen);
  gtk_window_destroy(GTK_WINDOW(dialog));
  if (answer.response != GTK_RESPONSE_OK) return false;
  const auto channel = [](float v) { return static_cast<uint32_t>(std::lround(std::clamp(v, 0.0f, 1.0f) * 255)); };
  chosenRgb = (channel(chosen.red) << 16) | (channel(chosen.green) << 8) | channel(chosen.blue);
  return true;
}

bool GtkWindowHost::ChooseFile(FileDialogKind kind, std::wstring& path) {
  if (!state_.window) return false;
  struct Filter {
    const char* name;
    std::vector<const char*> suffixes;
  };
  const Filter images{"Images", {"png", "jpg", "jpeg", "bmp", "gif"}};
  const Filter audio{"Audio files", {"mp3", "wav", "wma", "m4a", "aac", "mid"}};
  const Filter media{"Pictures and videos",
                     {"png", "jpg", "jpeg", "bmp", "gif", "mp4", "m4v", "mov", "wmv", "avi", "mkv", "webm"}};
  const Filter& chosenFilter = kind == FileDialogKind::Images       ? images
                               : kind == FileDialogKind::AudioFiles ? audio
                                                                    : media;
  GtkFileChooserNative* dialog =
      gtk_file_chooser_native_new("Open", GTK_WINDOW(state_.window), GTK_FILE_CHOOSER_ACTION_OPEN, "_Open", "_Cancel");
  gtk_native_dialog_set_modal(GTK_NATIVE_DIALOG(dialog), TRUE);
  GtkFileFilter* filter = gtk_file_filter_new();
  gtk_file_filter_set_name(filter, chosenFilter.name);
  for (const char* suffix : chosenFilter.suffixes) gtk_file_filter_add_suffix(filter, suffix);  // any letter case
  gtk_file_chooser_add_filter(GTK_FILE_CHOOSER(dialog), filter);
  g_object_unref(filter);
  GtkFileFilter* all = gtk_file_filter_new();
  gtk_file_filter_set_name(all, "All files");
  gtk_file_filter_add_pattern(all, "*");
  gtk_file_chooser_add_filter(GTK_FILE_CHOOSER(dialog), all);
  g_object_unref(all);
  const bool ok = RunFileDialog(dialog, path);
  gtk_native_dialog_destroy(GTK_NATIVE_DIALOG(dialog));
  g_object_unref(dialog);
  return ok;
}

bool GtkWindowHost::RunFileDialog(GtkFileChooserNative* dialog, std::wstring& path) {
  struct Answer {
    bool done = false;
    int response = GTK_RESPONSE_CANCEL;
  } answer;
  g_signal_connect(dialog, "response", G_CALLBACK(+[](GtkNativeDialog*, int response, gpointer data) {
                     auto* a = static_cast<Answer*>(data);
                     a->response = response;
                     a->done = true;
                   }),
                   &answer);
  state_.dialogOpen = true;
  gtk_native_dialog_show(GTK_NATIVE_DIALOG(dialog));
  WaitFor(answer.done);
  state_.dialogOpen = false;
  bool ok = false;
  if (answer.response == GTK_RESPONSE_ACCEPT) {
    if (GFile* file = gtk_file_chooser_get_file(GTK_FILE_CHOOSER(dialog))) {
      if (char* p = g_file_get_path(file)) {
        path = Utf8ToWide(p);
        ok = !path.empty();
        g_free(p);
      }
      g_object_unref(file);
    }
  }
  return ok;
}

bool GtkWindowHost::ChooseSaveFile(const std::wstring& suggestedName, std::wstring& path, SaveFileType& type) {
  if (!state_.window) return false;
  GtkFileChooserNative* dialog = gtk_file_chooser_native_new("Export", GTK_WINDOW(state_.window),
                                                             GTK_FILE_CHOOSER_ACTION_SAVE, "_Save", "_Cancel");
  gtk_native_dialog_set_modal(GTK_NATIVE_DIALOG(dialog), TRUE);
  GtkFileFilter* types[2] = {};
  const char* const names[2][2] = {{"CSV (comma-separated values)", "csv"}, {"JSON", "json"}};
  for (int i = 0; i < 2; ++i) {
    types[i] = gtk_file_filter_new();
    gtk_file_filter_set_name(types[i], names[i][0]);
    gtk_file_filter_add_suffix(types[i], names[i][1]);
    gtk_file_chooser_add_filter(GTK_FILE_CHOOSER(dialog), types[i]);
  }
  gtk_file_chooser_set_current_name(GTK_FILE_CHOOSER(dialog), WideToUtf8(suggestedName).c_str());
  const bool ok = RunFileDialog(dialog, path);
  // GTK 4's chooser asks before it overwrites a file; the chosen type decides a missing extension.
  GtkFileFilter* chosen = gtk_file_chooser_get_filter(GTK_FILE_CHOOSER(dialog));
  type = chosen == types[1] ? SaveFileType::Json : SaveFileType::Csv;
  for (GtkFileFilter* t : types) g_object_unref(t);
  gtk_native_dialog_destroy(GTK_NATIVE_DIALOG(dialog));
  g_object_unref(dialog);
  return ok;
}

void GtkWindowHost::OpenLink(const std::wstring& link) {
  const std::string uri = WideToUtf8(link);
  if (uri.empty()) return;
  gtk_show_uri(state_.window ? GTK_WINDOW(state_.window) : nullptr, uri.c_str(), GDK_CURRENT_TIME);
}

MainWindowState::MainWindowState(Application& application)
    : app(application), host(*this), machine(application, host, SystemGraphics()) {}

// ---- The translator ----------------------------------------------------------------------------

namespace {

MainWindowState& StateOf(gpointer data) { return *static_cast<MainWindowState*>(data); }

int32_t Device(const MainWindowState& s, double gtkPixels) {
  return static_cast<int32_t>(std::floor(gtkPixels * s.scale));
}

// The resize border under a point of the drawing area (GTK pixels), if any.
bool BorderAt(MainWindowState& s, double x, double y, Edge& edge) {
  if (!s.area) return false;
  const ScreenRect client{0, 0, s.host.ClientWidth(), s.host.ClientHeight()};
  return EdgeOf(FrameHitTest(s.host.IsZoomed(), s.machine.state().uiScale, client, Device(s, x), Device(s, y)), edge);
}

void Draw(GtkDrawingArea*, cairo_t* cr, int width, int height, gpointer data) {
  MainWindowState& s = StateOf(data);
  if (s.closing) return;
  const int32_t w = width * s.scale, h = height * s.scale;
  bool all = false;
  std::vector<DeviceRect> parts;
  s.host.TakeDirty(all, parts);
  Surface* frame = s.paint.frame();
  if (all || !frame || frame->Width() != w || frame->Height() != h) {
    PaintMainWindow(s.machine, s.paint, w, h, 0, nullptr);
  } else if (!parts.empty()) {
    DeviceRect box = parts.front();
    for (const DeviceRect& r : parts) {
      box = DeviceRect{std::min(box.left, r.left), std::min(box.top, r.top), std::max(box.right, r.right),
                       std::max(box.bottom, r.bottom)};
    }
    PaintMainWindow(s.machine, s.paint, w, h, 0, &box, parts);
  }
  s.drawnOnce = true;
  frame = s.paint.frame();
  cairo_scale(cr, 1.0 / s.scale, 1.0 / s.scale);
  if (frame) {
    frame->CopyToDevice(reinterpret_cast<uintptr_t>(cr), 0, 0, w, h);
  } else {
    cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_paint(cr);
  }
}

void OnResize(GtkDrawingArea*, int, int, gpointer data) {
  MainWindowState& s = StateOf(data);
  if (!s.closing) s.machine.OnSize(Minimized(s.window));
}

void OnSurfaceState(GObject*, GParamSpec*, gpointer data) {
  MainWindowState& s = StateOf(data);
  const bool minimized = Minimized(s.window);
  if (s.closing || minimized == s.minimized) return;
  s.minimized = minimized;
  s.machine.OnSize(minimized);
}

void OnMotion(GtkEventControllerMotion*, double x, double y, gpointer data) {
  MainWindowState& s = StateOf(data);
  if (InputBlocked(s)) return;
  Edge edge{};
  if (BorderAt(s, x, y, edge)) {
    gtk_widget_set_cursor_from_name(s.area, edge.cursor);
    s.borderCursor = true;
    return;
  }
  if (s.borderCursor) {
    s.borderCursor = false;
    s.host.ForgetCursor();
  }
  s.machine.OnSetCursor();
  s.machine.OnMouseMove(Device(s, x), Device(s, y));
}

void OnLeave(GtkEventControllerMotion*, gpointer data) {
  MainWindowState& s = StateOf(data);
  if (!InputBlocked(s)) s.machine.OnMouseLeave();
}

void OnPressed(GtkGestureClick* gesture, int presses, double x, double y, gpointer data) {
  MainWindowState& s = StateOf(data);
  if (InputBlocked(s)) return;
  GtkEventController* controller = GTK_EVENT_CONTROLLER(gesture);
  s.pressDevice = gtk_event_controller_get_current_event_device(controller);
  s.pressButton = static_cast<int32_t>(gtk_gesture_single_get_current_button(GTK_GESTURE_SINGLE(gesture)));
  s.pressX = x;
  s.pressY = y;
  s.pressTime = gtk_event_controller_get_current_event_time(controller);
  Edge edge{};
  if (BorderAt(s, x, y, edge)) {
    if (GdkToplevel* toplevel = ToplevelOf(s.window)) {
      gdk_toplevel_begin_resize(toplevel, edge.edge, s.pressDevice, s.pressButton, x, y, s.pressTime);
    }
    return;
  }
  // Windows reports the second press of a double click as a double click, the third as a press.
  if (presses % 2 == 0) {
    s.machine.OnLButtonDblClk(Device(s, x), Device(s, y));
  } else {
    s.machine.OnLButtonDown(Device(s, x), Device(s, y));
  }
}

gboolean OnScroll(GtkEventControllerScroll*, double, double dy, gpointer data) {
  MainWindowState& s = StateOf(data);
  if (InputBlocked(s)) return TRUE;
  const auto delta = static_cast<int32_t>(std::lround(-dy * 120));
  if (delta != 0) s.machine.OnMouseWheel(delta);
  return TRUE;
}

gboolean OnKeyPressed(GtkEventControllerKey* controller, guint keyval, guint keycode, GdkModifierType mods,
                      gpointer data) {
  MainWindowState& s = StateOf(data);
  if (InputBlocked(s)) return TRUE;
  const bool ctrl = (mods & GDK_CONTROL_MASK) != 0;
  const bool shift = (mods & GDK_SHIFT_MASK) != 0;
  uint32_t key = VirtualKeyOf(keyval);
  guint latin = 0;
  // On a non-Latin layout the key's place on the first layout names it, as Windows' key codes do,
  // so Ctrl+F stays Ctrl+F.
  if (key == 0 && s.area &&
      gdk_display_translate_key(gtk_widget_get_display(s.area), keycode, mods, 0, &latin, nullptr, nullptr, nullptr)) {
    key = VirtualKeyOf(latin);
  }
  // As on Windows: the key first, then the text it types (through the input method, so that a
  // composed character arrives whole) or its control character.
  if (key != 0) s.machine.OnKeyDown(key, ctrl, shift);
  if (s.closing) return TRUE;
  GdkEvent* event = gtk_event_controller_get_current_event(GTK_EVENT_CONTROLLER(controller));
  if (event && s.im && gtk_im_context_filter_keypress(s.im, event)) return TRUE;
  if (const wchar_t c = ControlCharOf(keyval, ctrl)) s.machine.OnChar(c);
  return TRUE;
}

void OnKeyReleased(GtkEventControllerKey* controller, guint, guint, GdkModifierType, gpointer data) {
  MainWindowState& s = StateOf(data);
  GdkEvent* event = gtk_event_controller_get_current_event(GTK_EVENT_CONTROLLER(controller));
  if (!s.closing && event && s.im) gtk_im_context_filter_keypress(s.im, event);
}

void OnCommit(GtkIMContext*, const char* text, gpointer data) {
  MainWindowState& s = StateOf(data);
  if (InputBlocked(s) || !text) return;
  for (wchar_t c : Utf8ToWide(text)) {
    if (s.closing) return;
    s.machine.OnChar(c);
  }
}

void OnFocusIn(GtkEventControllerFocus*, gpointer data) {
  MainWindowState& s = StateOf(data);
  if (s.im) gtk_im_context_focus_in(s.im);
}

void OnFocusOut(GtkEventControllerFocus*, gpointer data) {
  MainWindowState& s = StateOf(data);
  if (s.im) gtk_im_context_focus_out(s.im);
}

// GDK writes the window's state when it maps it, over what was set before: keep-above is asked again.
void OnMap(GtkWidget*, gpointer data) {
  MainWindowState& s = StateOf(data);
  if (!s.closing && s.app.settings().alwaysOnTop) s.host.ApplyTopmost(true);
}

gboolean OnCloseRequest(GtkWindow*, gpointer data) {
  CloseMainWindow(StateOf(data));
  return TRUE;  // destroyed by CloseMainWindow itself
}

void ConnectInput(MainWindowState& s) {
  GtkWidget* area = s.area;
  GtkEventController* motion = gtk_event_controller_motion_new();
  g_signal_connect(motion, "motion", G_CALLBACK(OnMotion), &s);
  g_signal_connect(motion, "leave", G_CALLBACK(OnLeave), &s);
  gtk_widget_add_controller(area, motion);

  GtkGesture* click = gtk_gesture_click_new();
  gtk_gesture_single_set_button(GTK_GESTURE_SINGLE(click), GDK_BUTTON_PRIMARY);
  g_signal_connect(click, "pressed", G_CALLBACK(OnPressed), &s);
  gtk_widget_add_controller(area, GTK_EVENT_CONTROLLER(click));

  // Discrete: a touchpad's smooth scrolling adds up to whole notches, which the table scrolls by.
  GtkEventController* scroll = gtk_event_controller_scroll_new(static_cast<GtkEventControllerScrollFlags>(
      GTK_EVENT_CONTROLLER_SCROLL_VERTICAL | GTK_EVENT_CONTROLLER_SCROLL_DISCRETE));
  g_signal_connect(scroll, "scroll", G_CALLBACK(OnScroll), &s);
  gtk_widget_add_controller(area, scroll);

  GtkEventController* keys = gtk_event_controller_key_new();
  g_signal_connect(keys, "key-pressed", G_CALLBACK(OnKeyPressed), &s);
  g_signal_connect(keys, "key-released", G_CALLBACK(OnKeyReleased), &s);
  gtk_widget_add_controller(area, keys);

  GtkEventController* focus = gtk_event_controller_focus_new();
  g_signal_connect(focus, "enter", G_CALLBACK(OnFocusIn), &s);
  g_signal_connect(focus, "leave", G_CALLBACK(OnFocusOut), &s);
  gtk_widget_add_controller(area, focus);

  s.im = gtk_im_multicontext_new();
  gtk_im_context_set_client_widget(s.im, area);
  g_signal_connect(s.im, "commit", G_CALLBACK(OnCommit), &s);
}

GdkMonitor* FirstMonitor(GdkDisplay* display) {
  if (!display) return nullptr;
  GListModel* monitors = gdk_display_get_monitors(display);
  if (!monitors || g_list_model_get_n_items(monitors) == 0) return nullptr;
  auto* monitor = static_cast<GdkMonitor*>(g_list_model_get_item(monitors, 0));
  g_object_unref(monitor);  // the list keeps its own reference
  return monitor;
}

}  // namespace

// ---- Creation and closing ----------------------------------------------------------------------

bool CreateMainWindow(MainWindowState& s) {
  GdkDisplay* display = gdk_display_get_default();
  if (!display) return false;
  GdkMonitor* monitor = FirstMonitor(display);
  s.scale = monitor ? std::max(1, gdk_monitor_get_scale_factor(monitor)) : 1;
  ScreenRect work{};
  const bool workKnown = MonitorWorkArea(monitor, work);
  const ScreenRect workDevice{work.left * s.scale, work.top * s.scale, work.right * s.scale, work.bottom * s.scale};
  const ScreenRect r = InitialWindowRect(96 * s.scale, workDevice, workKnown);
  const TrackSizes track = FrameTrackSizes(static_cast<float>(s.scale), false, ScreenRect{}, ScreenRect{});

  s.window = gtk_window_new();
  gtk_window_set_title(GTK_WINDOW(s.window), kMainWindowTitle);
  gtk_window_set_decorated(GTK_WINDOW(s.window), FALSE);
  gtk_window_set_resizable(GTK_WINDOW(s.window), TRUE);
  gtk_window_set_default_size(GTK_WINDOW(s.window), r.Width() / s.scale, r.Height() / s.scale);
  s.area = gtk_drawing_area_new();
  gtk_widget_set_size_request(s.area, track.minWidth / s.scale, track.minHeight / s.scale);
  gtk_widget_set_focusable(s.area, TRUE);
  gtk_drawing_area_set_draw_func(GTK_DRAWING_AREA(s.area), Draw, &s, nullptr);
  gtk_window_set_child(GTK_WINDOW(s.window), s.area);
  g_signal_connect(s.window, "close-request", G_CALLBACK(OnCloseRequest), &s);
  g_signal_connect(s.window, "map", G_CALLBACK(OnMap), &s);
  g_signal_connect(s.area, "resize", G_CALLBACK(OnResize), &s);
  ConnectInput(s);
  gtk_widget_realize(s.window);
  if (GdkSurface* surface = gtk_native_get_surface(GTK_NATIVE(s.window))) {
    g_signal_connect(surface, "notify::state", G_CALLBACK(OnSurfaceState), &s);
  }
  MoveX11Window(s.window, r.left, r.top);

  s.poster = std::make_shared<MainLoopLookupPoster>([&s](bool resolved, const std::wstring& text) {
    LookupCommands* commands = s.app.lookupCommands();
    if (s.closing || !commands) return;
    if (resolved) {
      commands->OnHostResolved(text);
    } else {
      commands->OnHostNotFound(text);
    }
    s.machine.OnHostAnswer();
  });
  s.app.AttachLookupPoster(CreateSystemNameResolver(), s.poster);
  s.machine.OnCreate(reinterpret_cast<uintptr_t>(s.window), static_cast<float>(s.scale));
  return true;
}

void ShowMainWindow(MainWindowState& s) {
  if (!s.window) return;
  gtk_window_present(GTK_WINDOW(s.window));
  gtk_widget_grab_focus(s.area);
}

void RaiseMainWindow(MainWindowState& s) {
  if (!s.window || s.closing) return;
  gtk_window_unminimize(GTK_WINDOW(s.window));
  gtk_window_present(GTK_WINDOW(s.window));
}

void CloseMainWindow(MainWindowState& s) {
  if (s.closing) return;
  s.closing = true;
  s.machine.OnDestroy();  // timers, media, icons, the workers joined, the settings saved
  s.paint.Release();
  if (s.poster) s.poster->Close();  // queued resolver answers are dropped from now on
  s.host.ForgetTimers();
  if (s.im) {
    gtk_im_context_set_client_widget(s.im, nullptr);
    g_object_unref(s.im);
    s.im = nullptr;
  }
  if (GtkWidget* window = s.window) {
    s.window = nullptr;
    s.area = nullptr;
    gtk_window_destroy(GTK_WINDOW(window));
  }
  s.quit = true;
}

// ---- The benchmark -----------------------------------------------------------------------------

void RunBench(MainWindowState& s, uint64_t startTick) {
  Clock& clock = s.app.clock();
  const int32_t w = std::max(1, s.host.ClientWidth()), h = std::max(1, s.host.ClientHeight());
  // The widget's content: the draw handler copies the whole frame into it after every paint.
  cairo_surface_t* target = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
  cairo_t* cr = cairo_create(target);
  const auto frame = [&](const DeviceRect* clip) {
    PaintMainWindow(s.machine, s.paint, w, h, 0, clip);
    if (Surface* f = s.paint.frame()) f->CopyToDevice(reinterpret_cast<uintptr_t>(cr), 0, 0, w, h);
  };
  BenchTimes t;
  t.startTick = startTick;
  t.readyTick = clock.TickMs();
  frame(nullptr);
  t.paintTick = clock.TickMs();
  clock.SleepMs(1500);
  s.machine.OnTimer(TIMER_UI);

  t.frequency = 1'000'000'000;
  TimeBenchFrames(
      t, [&clock] { return clock.MonotonicNs(); },
      [&](LogicalPoint mouse, const ScreenRect* c) {
        s.machine.state().mouseX = mouse.x;
        s.machine.state().mouseY = mouse.y;
        const DeviceRect clip = c ? DeviceRect{c->left, c->top, c->right, c->bottom} : DeviceRect{};
        frame(c ? &clip : nullptr);
      });
  cairo_destroy(cr);
  cairo_surface_destroy(target);

  FileSystem& files = s.app.files();
  const std::wstring folder = files.TempFolder();
  if (!folder.empty()) files.Append(folder + L"tolvane_bench.txt", FormatBenchLine(t));
}

}  // namespace tolvane
