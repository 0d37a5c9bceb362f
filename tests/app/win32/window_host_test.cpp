// The window procedure as a translator onto the state machine, on a real window under Windows
// (Wine in CI): always-on-top from the settings file, the timers it starts, the window icons made
// from pixels, the resize borders, and resolver answers that arrive while the window is being
// destroyed (during the joins of the workers) being freed rather than dropped.
#include <windows.h>

#include <gtest/gtest.h>

#include "platform/win32/gdiplus_headers.h"

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include "engine/application.h"
#include "app/win32/lookup_poster_win32.h"
#include "app/win32/main_window_win32.h"
#include "fakes/fake_application_services.h"
#include "settings/settings_file.h"

namespace tolvane {
namespace {

class WindowHostTest : public testing::Test {
 protected:
  void SetUp() override {
    Gdiplus::GdiplusStartupInput input;
    ASSERT_EQ(Gdiplus::GdiplusStartup(&gdiplusToken_, &input, nullptr), Gdiplus::Ok);
    instance_ = GetModuleHandleW(nullptr);
    ASSERT_TRUE(RegisterMainWindowClass(instance_) || GetLastError() == ERROR_CLASS_ALREADY_EXISTS);
  }
  void TearDown() override {
    if (window_) DestroyWindow(window_);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    state_.reset();
    app_.reset();
    UnregisterClassW(kMainWindowClass, instance_);
    Gdiplus::GdiplusShutdown(gdiplusToken_);
  }
  void Create(const std::string& settingsFile = {}) {
    if (!settingsFile.empty()) services_.files.files[SettingsFilePath(services_.files)] = settingsFile;
    app_ = std::make_unique<Application>(CommandLineState{}, services_.Services());
    state_ = std::make_unique<MainWindowState>(*app_);
    window_ = CreateMainWindow(instance_, *state_);
    ASSERT_NE(window_, nullptr);
  }

  ULONG_PTR gdiplusToken_ = 0;
  HINSTANCE instance_ = nullptr;
  FakeApplicationServices services_;
  std::unique_ptr<Application> app_;
  std::unique_ptr<MainWindowState> state_;
  HWND window_ = nullptr;
};

TEST_F(WindowHostTest, AlwaysOnTopFromTheSettingsFileAndAToggleBack) {
  Create("alwaysOnTop=1\r\n");
  EXPECT_TRUE(app_->settings().alwaysOnTop.load());
  EXPECT_NE(GetWindowLongPtrW(window_, GWL_EXSTYLE) & WS_EX_TOPMOST, 0);
  state_->host.ApplyTopmost(false);
  EXPECT_EQ(GetWindowLongPtrW(window_, GWL_EXSTYLE) & WS_EX_TOPMOST, 0);
}

TEST_F(WindowHostTest, WithoutTheSettingTheWindowIsNotTopmost) {
  Create();
  EXPECT_EQ(GetWindowLongPtrW(window_, GWL_EXSTYLE) & WS_EX_TOPMOST, 0);
}

TEST_F(WindowHostTest, CreationStartsTheWorkersAndPostsTheDeferredStart) {
  Create();
  EXPECT_TRUE(app_->appRunning().load());
  EXPECT_TRUE(state_->machine.state().splashActive);  // a normal start shows the loading screen
  EXPECT_EQ(state_->machine.state().window, reinterpret_cast<uintptr_t>(window_));
  MSG msg;
  EXPECT_TRUE(PeekMessageW(&msg, window_, WM_DEFERRED_START, WM_DEFERRED_START, PM_NOREMOVE));
  // The UI timer runs: its first tick takes the snapshots the refresh thread publishes.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (state_->machine.state().pickup.seenSnapshotCount <= 0 && std::chrono::steady_clock::now() < deadline) {
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
  }
  EXPECT_GT(state_->machine.state().pickup.seenSnapshotCount, 0);
}

TEST_F(WindowHostTest, MinimizingClearsWindowVisible) {
  Create();
  ShowWindow(window_, SW_SHOWNOACTIVATE);
  ShowWindow(window_, SW_MINIMIZE);
  EXPECT_FALSE(state_->machine.state().windowVisible.load());
  ShowWindow(window_, SW_RESTORE);
  EXPECT_TRUE(state_->machine.state().windowVisible.load());
}

TEST_F(WindowHostTest, IconsFromPixelsReachTheWindowAndReplaceTheOldOnes) {
  Create();
  std::vector<uint32_t> big(32 * 32, 0xFF3C78FFu), small(16 * 16, 0x80FF4D9Du);
  state_->host.SetWindowIcons(big, small);
  HICON first = state_->host.bigIcon();
  ASSERT_NE(first, nullptr);
  ASSERT_NE(state_->host.smallIcon(), nullptr);
  EXPECT_EQ(reinterpret_cast<HICON>(SendMessageW(window_, WM_GETICON, ICON_BIG, 0)), first);
  EXPECT_EQ(reinterpret_cast<HICON>(SendMessageW(window_, WM_GETICON, ICON_SMALL, 0)), state_->host.smallIcon());
  ICONINFO info{};
  ASSERT_TRUE(GetIconInfo(first, &info));
  BITMAP bm{};
  GetObjectW(info.hbmColor, sizeof bm, &bm);
  EXPECT_EQ(bm.bmWidth, 32);
  EXPECT_EQ(bm.bmHeight, 32);
  DeleteObject(info.hbmColor);
  DeleteObject(info.hbmMask);

  state_->host.SetWindowIcons(big, small);  // a theme change: new icons, the old ones destroyed
  EXPECT_NE(state_->host.bigIcon(), nullptr);
  EXPECT_EQ(reinterpret_cast<HICON>(SendMessageW(window_, WM_GETICON, ICON_BIG, 0)), state_->host.bigIcon());

  std::vector<uint32_t> wrongSize(20 * 20, 0xFFFFFFFFu);
  HICON kept = state_->host.bigIcon();
  state_->host.SetWindowIcons(wrongSize, small);  // unusable pixels: the icons stay
  EXPECT_EQ(state_->host.bigIcon(), kept);
  EXPECT_EQ(IconFromPixels(wrongSize, 32), nullptr);

  state_->host.SetWindowIcons({}, {});  // shutdown: the icons go
  EXPECT_EQ(state_->host.bigIcon(), nullptr);
  EXPECT_EQ(SendMessageW(window_, WM_GETICON, ICON_BIG, 0), 0);
}

TEST_F(WindowHostTest, DeferredStartDrawsTheLogoIconsAndAThemeChangeRedrawsThem) {
  Create();
  MSG msg;
  ASSERT_TRUE(PeekMessageW(&msg, window_, WM_DEFERRED_START, WM_DEFERRED_START, PM_REMOVE));
  DispatchMessageW(&msg);
  HICON big = reinterpret_cast<HICON>(SendMessageW(window_, WM_GETICON, ICON_BIG, 0));
  ASSERT_NE(big, nullptr);
  EXPECT_NE(SendMessageW(window_, WM_GETICON, ICON_SMALL, 0), 0);
  // The logo mark is drawn in the 32 x 32 icon: some pixels opaque, the corners transparent.
  ICONINFO info{};
  ASSERT_TRUE(GetIconInfo(big, &info));
  std::vector<uint32_t> pixels(32 * 32);
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = 32;
  bi.bmiHeader.biHeight = -32;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  HDC screen = GetDC(nullptr);
  EXPECT_EQ(GetDIBits(screen, info.hbmColor, 0, 32, pixels.data(), &bi, DIB_RGB_COLORS), 32);
  ReleaseDC(nullptr, screen);
  DeleteObject(info.hbmColor);
  DeleteObject(info.hbmMask);
  int opaque = 0;
  for (uint32_t p : pixels) opaque += (p >> 24) == 0xFF ? 1 : 0;
  EXPECT_GT(opaque, 100);
  EXPECT_EQ(pixels[0] >> 24, 0u);

  state_->machine.editor().SelectTheme(2);
  SendMessageW(window_, WM_TIMER, TIMER_MEDIA, 0);
  EXPECT_NE(reinterpret_cast<HICON>(SendMessageW(window_, WM_GETICON, ICON_BIG, 0)), big);
  EXPECT_EQ(state_->machine.state().iconTheme, 2);
}

TEST_F(WindowHostTest, ResizeBordersAtCornersAndEdgesAndNoneWhileMaximized) {
  Create();
  ShowWindow(window_, SW_SHOWNOACTIVATE);
  RECT r{};
  ASSERT_TRUE(GetWindowRect(window_, &r));
  const int b = static_cast<int>(6 * state_->machine.state().uiScale);
  auto at = [&](int x, int y) {
    return SendMessageW(window_, WM_NCHITTEST, 0, MAKELPARAM(static_cast<WORD>(x), static_cast<WORD>(y)));
  };
  EXPECT_EQ(at(r.left + b - 1, r.top + b - 1), HTTOPLEFT);  // corners win over edges
  EXPECT_EQ(at(r.right - b, r.bottom - b), HTBOTTOMRIGHT);
  EXPECT_EQ(at(r.left + b, r.top + b), HTCLIENT);
  ShowWindow(window_, SW_MAXIMIZE);
  ASSERT_TRUE(IsZoomed(window_));
  ASSERT_TRUE(GetWindowRect(window_, &r));
  EXPECT_EQ(at(r.left, r.top), HTCLIENT);
  EXPECT_EQ(at(r.right - 1, (r.top + r.bottom) / 2), HTCLIENT);
}

TEST_F(WindowHostTest, ResolverAnswersArrivingDuringTheJoinsAreFreed) {
  Create();
  const int64_t baseline = OutstandingPostedTexts();
  std::atomic<bool> stop{false};
  std::atomic<int> posted{0};
  // A resolver that keeps answering while the window is destroyed: its answers land in the queue
  // during the joins of the workers, which take tens of milliseconds.
  std::thread resolver([poster = state_->poster, &stop, &posted] {
    while (!stop.load()) {
      poster->PostHostNotFound(L"late.example");
      posted.fetch_add(1);
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  });
  while (posted.load() < 3) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  ASSERT_TRUE(DestroyWindow(window_));
  window_ = nullptr;
  stop.store(true);
  resolver.join();
  EXPECT_EQ(OutstandingPostedTexts(), baseline) << posted.load() << " answers posted";
}

}  // namespace
}  // namespace tolvane
