// Heap strings through the message queue; see lookup_poster_win32.h for who frees what.
#include "app/win32/lookup_poster_win32.h"

#include <atomic>
#include <memory>
#include <new>

namespace tolvane {
namespace {

std::atomic<int64_t> outstanding{0};

// The one deleter of posted strings, so the count cannot miss a path.
struct PostedTextDeleter {
  void operator()(std::wstring* text) const {
    if (!text) return;
    delete text;
    outstanding.fetch_sub(1, std::memory_order_relaxed);
  }
};

}  // namespace

bool PostTextMessage(HWND window, UINT message, std::wstring text) {
  std::wstring* heap = new (std::nothrow) std::wstring(std::move(text));
  if (!heap) return false;
  outstanding.fetch_add(1, std::memory_order_relaxed);
  if (PostMessageW(window, message, 0, reinterpret_cast<LPARAM>(heap))) return true;
  PostedTextDeleter()(heap);
  return false;
}

std::optional<std::wstring> TakePostedText(LPARAM lParam) {
  const std::unique_ptr<std::wstring, PostedTextDeleter> owned(reinterpret_cast<std::wstring*>(lParam));
  if (!owned) return std::nullopt;
  return std::move(*owned);
}

void DrainPostedTexts(HWND window) {
  MSG msg;
  while (PeekMessageW(&msg, window, WM_HOST_RESOLVED, WM_HOST_NOT_FOUND, PM_REMOVE)) TakePostedText(msg.lParam);
}

int64_t OutstandingPostedTexts() { return outstanding.load(std::memory_order_relaxed); }

void WindowLookupPoster::PostHostResolved(std::wstring hostBarIp) {
  std::lock_guard<std::mutex> guard(gate_->lock);
  if (!gate_->closed) PostTextMessage(window_, WM_HOST_RESOLVED, std::move(hostBarIp));
}

void WindowLookupPoster::PostHostNotFound(std::wstring host) {
  std::lock_guard<std::mutex> guard(gate_->lock);
  if (!gate_->closed) PostTextMessage(window_, WM_HOST_NOT_FOUND, std::move(host));
}

void WindowLookupPoster::Close() {
  std::lock_guard<std::mutex> guard(gate_->lock);
  gate_->closed = true;
}

}  // namespace tolvane
