// The clipboard primitives over GdkClipboard (the display's CLIPBOARD selection).
//
// There is no opening or emptying on X11 or Wayland: Open only checks that there is a display,
// Replace makes this program the owner of a UTF-8 text, which GDK hands to whoever asks for as
// long as the program runs. ReadText answers at once when this program owns the clipboard, and
// otherwise waits for the owner's answer by running the main loop, at most kReadLimitUs; an owner
// that does not answer in time gives an empty text, as an empty clipboard does.
#include "platform/linux/clipboard_gtk.h"

#include <gtk/gtk.h>

#include <memory>
#include <string>

#include "platform/clipboard.h"
#include "platform/utf8.h"

namespace tolvane {
namespace {

constexpr gint64 kReadLimitUs = 1'000'000;
bool readInProgress = false;

struct PendingRead {
  bool done = false;
  std::string text;
};

GdkClipboard* DisplayClipboard() {
  GdkDisplay* display = gdk_display_get_default();
  return display ? gdk_display_get_clipboard(display) : nullptr;
}

class GtkClipboard final : public ClipboardService {
 public:
  bool Open(uintptr_t) override { return DisplayClipboard() != nullptr; }
  void Close() override {}

  bool Replace(std::wstring_view text) override {
    GdkClipboard* clipboard = DisplayClipboard();
    if (!clipboard) return false;
    const std::string utf8 = WideToUtf8(text);
    if (utf8.empty() && !text.empty()) return false;
    gdk_clipboard_set_text(clipboard, utf8.c_str());
    return true;
  }

  std::wstring ReadText() override {
    GdkClipboard* clipboard = DisplayClipboard();
    if (!clipboard || readInProgress) return {};
    if (gdk_clipboard_is_local(clipboard)) {
      GdkContentProvider* content = gdk_clipboard_get_content(clipboard);
      GValue value = G_VALUE_INIT;
      g_value_init(&value, G_TYPE_STRING);
      std::wstring text;
      if (content && gdk_content_provider_get_value(content, &value, nullptr)) {
        const char* s = g_value_get_string(&value);
        if (s) text = Utf8ToWide(s);
      }
      g_value_unset(&value);
      return text;
    }
    // The callback may come after the limit; it then finds its record still alive (shared) and
    // only fills it.
    auto* pending = new std::shared_ptr<PendingRead>(std::make_shared<PendingRead>());
    std::shared_ptr<PendingRead> answer = *pending;
    gdk_clipboard_read_text_async(
        clipboard, nullptr,
        [](GObject* source, GAsyncResult* result, gpointer data) {
          auto* p = static_cast<std::shared_ptr<PendingRead>*>(data);
          char* s = gdk_clipboard_read_text_finish(GDK_CLIPBOARD(source), result, nullptr);
          if (s) (*p)->text = s;
          g_free(s);
          (*p)->done = true;
          delete p;
        },
        pending);
    readInProgress = true;
    const gint64 end = g_get_monotonic_time() + kReadLimitUs;
    while (!answer->done && g_get_monotonic_time() < end) {
      if (!g_main_context_iteration(nullptr, FALSE)) g_usleep(2000);
    }
    readInProgress = false;
    return answer->done ? Utf8ToWide(answer->text) : std::wstring();
  }
};

}  // namespace

bool ClipboardReadInProgress() { return readInProgress; }

ClipboardService& SystemClipboard() {
  static GtkClipboard clipboard;
  return clipboard;
}

}  // namespace tolvane
