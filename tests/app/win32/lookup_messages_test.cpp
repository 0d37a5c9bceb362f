// Website-resolution answers through the real message queue: the poster's heap strings reach a
// window of this test from other threads, a post to a destroyed window frees its string, and the
// main window's procedure hands the answers to the lookup commands, repaints, and frees every
// string, including those still queued when it is destroyed. OutstandingPostedTexts is the leak
// check: it counts posted strings not yet freed.
#include <windows.h>

#include <gtest/gtest.h>

#include "platform/win32/gdiplus_headers.h"

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "engine/application.h"
#include "app/startup.h"
#include "app/win32/lookup_poster_win32.h"
#include "app/win32/main_window_win32.h"
#include "fakes/fake_application_services.h"

namespace tolvane {
namespace {

constexpr wchar_t kReceiverClass[] = L"TolvaneLookupPosterTestReceiver";

// What the receiver window took out of its messages, in arrival order. Main thread only.
std::vector<std::pair<UINT, std::wstring>> received;

LRESULT CALLBACK ReceiverProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_HOST_RESOLVED || message == WM_HOST_NOT_FOUND) {
    if (std::optional<std::wstring> text = TakePostedText(lParam)) received.emplace_back(message, std::move(*text));
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

// Dispatches this thread's messages until done() holds or five seconds have passed.
bool PumpUntil(const std::function<bool()>& done) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    if (!done()) MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
  }
  return true;
}

class LookupPosterTest : public testing::Test {
 protected:
  void SetUp() override {
    received.clear();
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = ReceiverProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = kReceiverClass;
    ASSERT_TRUE(RegisterClassExW(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS);
    window_ = CreateWindowExW(0, kReceiverClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
    ASSERT_NE(window_, nullptr);
    baseline_ = OutstandingPostedTexts();
  }
  void TearDown() override {
    if (window_) DestroyWindow(window_);
    UnregisterClassW(kReceiverClass, GetModuleHandleW(nullptr));
  }
  HWND window_ = nullptr;
  int64_t baseline_ = 0;
};

TEST_F(LookupPosterTest, TextsFromResolverThreadsArriveWholeAndAreFreed) {
  const auto poster = std::make_shared<WindowLookupPoster>(window_);
  const std::wstring longHost = std::wstring(300, L'a') + L".example";
  const std::vector<std::pair<UINT, std::wstring>> sent = {
      {WM_HOST_RESOLVED, L"example.org|203.0.113.9"},
      {WM_HOST_NOT_FOUND, L"b\u00FCcher.example"},
      {WM_HOST_NOT_FOUND, longHost},
      {WM_HOST_RESOLVED, L"localhost|127.0.0.1"},
  };
  std::vector<std::thread> threads;
  for (const auto& [message, text] : sent) {
    threads.emplace_back([poster, message = message, text = text] {
      if (message == WM_HOST_RESOLVED) {
        poster->PostHostResolved(text);
      } else {
        poster->PostHostNotFound(text);
      }
    });
  }
  for (std::thread& t : threads) t.join();
  ASSERT_TRUE(PumpUntil([&] { return received.size() >= sent.size(); })) << received.size() << " arrived";
  std::vector<std::pair<UINT, std::wstring>> got = received;
  std::vector<std::pair<UINT, std::wstring>> expected = sent;
  std::sort(got.begin(), got.end());  // threads post in any order
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(got, expected);
  EXPECT_EQ(OutstandingPostedTexts(), baseline_);
}

TEST_F(LookupPosterTest, PostToADestroyedWindowFailsAndFreesTheString) {
  HWND gone = window_;
  ASSERT_TRUE(DestroyWindow(gone));
  window_ = nullptr;
  WindowLookupPoster poster(gone);
  poster.PostHostResolved(L"example.org|203.0.113.9");
  poster.PostHostNotFound(L"example.org");
  EXPECT_EQ(OutstandingPostedTexts(), baseline_);
  EXPECT_FALSE(PostTextMessage(gone, WM_HOST_NOT_FOUND, L"example.org"));
  EXPECT_EQ(OutstandingPostedTexts(), baseline_);
  // A live window counts the string until its procedure takes it.
  HWND live = CreateWindowExW(0, kReceiverClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
  ASSERT_NE(live, nullptr);
  window_ = live;
  EXPECT_TRUE(PostTextMessage(live, WM_HOST_NOT_FOUND, L"example.org"));
  EXPECT_EQ(OutstandingPostedTexts(), baseline_ + 1);
  ASSERT_TRUE(PumpUntil([&] { return !received.empty(); }));
  EXPECT_EQ(OutstandingPostedTexts(), baseline_);
}

class MainWindowLookupTest : public testing::Test {
 protected:
  void SetUp() override {
    Gdiplus::GdiplusStartupInput input;
    ASSERT_EQ(Gdiplus::GdiplusStartup(&gdiplusToken_, &input, nullptr), Gdiplus::Ok);
    instance_ = GetModuleHandleW(nullptr);
    ASSERT_TRUE(RegisterMainWindowClass(instance_) || GetLastError() == ERROR_CLASS_ALREADY_EXISTS);
    app_ = std::make_unique<Application>(CommandLineState{}, services_.Services());
    state_ = std::make_unique<MainWindowState>(*app_);
    window_ = CreateMainWindow(instance_, *state_);
    ASSERT_NE(window_, nullptr);
    ShowWindow(window_, SW_SHOWNOACTIVATE);
    baseline_ = OutstandingPostedTexts();
  }
  void TearDown() override {
    if (window_) DestroyWindow(window_);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);  // the quit message
    state_.reset();
    app_.reset();
    UnregisterClassW(kMainWindowClass, instance_);
    Gdiplus::GdiplusShutdown(gdiplusToken_);
  }

  // Dispatches only the resolver messages now queued, so a repaint they ask for stays pending.
  void DispatchResolverMessages() {
    MSG msg;
    while (PeekMessageW(&msg, window_, WM_HOST_RESOLVED, WM_HOST_NOT_FOUND, PM_REMOVE)) DispatchMessageW(&msg);
  }
  // Drops any pending repaint, so the next one seen was asked for afterwards.
  void Validate() {
    MSG msg;
    while (PeekMessageW(&msg, window_, WM_PAINT, WM_PAINT, PM_REMOVE)) DispatchMessageW(&msg);
    ValidateRect(window_, nullptr);
  }
  bool RepaintPending() { return GetUpdateRect(window_, nullptr, FALSE) != FALSE; }

  FakeApplicationServices services_;
  ULONG_PTR gdiplusToken_ = 0;
  HINSTANCE instance_ = nullptr;
  std::unique_ptr<Application> app_;
  std::unique_ptr<MainWindowState> state_;
  HWND window_ = nullptr;
  int64_t baseline_ = 0;
};

TEST_F(MainWindowLookupTest, ResolvedAnswerOpensTheLookupAndRepaints) {
  ASSERT_NE(app_->lookupCommands(), nullptr);  // attached at window creation
  Validate();
  ASSERT_FALSE(RepaintPending());
  std::thread([poster = WindowLookupPoster(window_)]() mutable {
    poster.PostHostResolved(L"example.org|203.0.113.9");
  }).join();
  EXPECT_EQ(OutstandingPostedTexts(), baseline_ + 1);
  DispatchResolverMessages();
  EXPECT_EQ(app_->currentLookup().address, L"203.0.113.9");
  EXPECT_EQ(app_->currentLookup().websiteName, L"example.org");
  EXPECT_TRUE(app_->currentLookup().panelOpen.load());
  EXPECT_EQ(app_->copyFeedback().toast().text(), L"example.org \u2192 203.0.113.9");
  EXPECT_EQ(app_->settings().lookupHist, L"example.org");
  EXPECT_TRUE(RepaintPending());
  EXPECT_EQ(OutstandingPostedTexts(), baseline_);
}

TEST_F(MainWindowLookupTest, NotFoundAnswerShowsTheToastAndRepaints) {
  Validate();
  const std::wstring host = std::wstring(45, L'n') + L".example";
  ASSERT_TRUE(PostTextMessage(window_, WM_HOST_NOT_FOUND, host));
  DispatchResolverMessages();
  EXPECT_EQ(app_->copyFeedback().toast().text(), L"Could not find \"" + std::wstring(37, L'n') + L"...\"");
  EXPECT_TRUE(app_->currentLookup().address.empty());
  EXPECT_TRUE(RepaintPending());
  EXPECT_EQ(OutstandingPostedTexts(), baseline_);
}

TEST_F(MainWindowLookupTest, NullTextAndResolvedTextWithoutAddressChangeNothing) {
  Validate();
  ASSERT_TRUE(PostMessageW(window_, WM_HOST_RESOLVED, 0, 0));
  ASSERT_TRUE(PostMessageW(window_, WM_HOST_NOT_FOUND, 0, 0));
  DispatchResolverMessages();
  EXPECT_TRUE(app_->copyFeedback().toast().text().empty());
  EXPECT_FALSE(RepaintPending());
  ASSERT_TRUE(PostTextMessage(window_, WM_HOST_RESOLVED, L"example.org|"));
  DispatchResolverMessages();
  EXPECT_TRUE(app_->currentLookup().address.empty());
  EXPECT_FALSE(app_->currentLookup().panelOpen.load());
  EXPECT_EQ(OutstandingPostedTexts(), baseline_);
}

TEST_F(MainWindowLookupTest, AnswersStillQueuedAtDestructionAreFreed) {
  WindowLookupPoster poster(window_);
  poster.PostHostResolved(L"example.org|203.0.113.9");
  poster.PostHostNotFound(L"example.net");
  EXPECT_EQ(OutstandingPostedTexts(), baseline_ + 2);
  ASSERT_TRUE(DestroyWindow(window_));
  HWND gone = window_;
  window_ = nullptr;
  EXPECT_EQ(OutstandingPostedTexts(), baseline_);
  EXPECT_TRUE(app_->currentLookup().address.empty());   // drained, not handled
  poster.PostHostResolved(L"example.org|203.0.113.9");  // a resolver thread that outlived the window
  EXPECT_EQ(OutstandingPostedTexts(), baseline_);
  EXPECT_FALSE(IsWindow(gone));
}

}  // namespace
}  // namespace tolvane
