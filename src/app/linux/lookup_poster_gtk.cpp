// Resolver answers through the GLib main loop; see lookup_poster_gtk.h.
#include "app/linux/lookup_poster_gtk.h"

#include <glib.h>

namespace tolvane {
namespace {

struct Answer {
  std::shared_ptr<void> gate;
  bool resolved = false;
  std::wstring text;
};

}  // namespace

MainLoopLookupPoster::MainLoopLookupPoster(Handler handle) : gate_(std::make_shared<Gate>()) {
  gate_->handle = std::move(handle);
}

void MainLoopLookupPoster::PostHostResolved(std::wstring hostBarIp) { Post(true, std::move(hostBarIp)); }
void MainLoopLookupPoster::PostHostNotFound(std::wstring host) { Post(false, std::move(host)); }

void MainLoopLookupPoster::Close() {
  std::lock_guard<std::mutex> hold(gate_->lock);
  gate_->closed = true;
  gate_->handle = nullptr;
}

void MainLoopLookupPoster::Post(bool resolved, std::wstring text) {
  {
    std::lock_guard<std::mutex> hold(gate_->lock);
    if (gate_->closed) return;
  }
  auto* answer = new Answer{gate_, resolved, std::move(text)};
  // Always queued, also from the main thread itself (a resolver thread that could not start).
  g_idle_add_full(
      G_PRIORITY_DEFAULT,
      [](gpointer data) -> gboolean {
        auto* a = static_cast<Answer*>(data);
        auto* gate = static_cast<Gate*>(a->gate.get());
        Handler handle;
        {
          std::lock_guard<std::mutex> hold(gate->lock);
          if (!gate->closed) handle = gate->handle;
        }
        if (handle) handle(a->resolved, a->text);
        return G_SOURCE_REMOVE;
      },
      answer, [](gpointer data) { delete static_cast<Answer*>(data); });
}

}  // namespace tolvane
