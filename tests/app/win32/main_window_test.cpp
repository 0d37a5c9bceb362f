// The real main window under Windows (Wine in CI): its class and creation give the start-up
// geometry with the whole window as client area, the frame answers hit tests and track sizes, and
// the paint fills the gradient through its buffer without touching pixels outside a clip.
#include <windows.h>

#include <gtest/gtest.h>

#include "platform/win32/gdiplus_headers.h"

#include <cstdlib>
#include <memory>

#include "engine/application.h"
#include "app/startup.h"
#include "app/win32/main_window_win32.h"
#include "fakes/fake_application_services.h"
#include "settings/settings_file.h"

namespace tolvane {
namespace {

class MainWindowTest : public testing::Test {
 protected:
  void SetUp() override {
    Gdiplus::GdiplusStartupInput input;
    ASSERT_EQ(Gdiplus::GdiplusStartup(&gdiplusToken_, &input, nullptr), Gdiplus::Ok);
    instance_ = GetModuleHandleW(nullptr);
    ASSERT_TRUE(RegisterMainWindowClass(instance_) || GetLastError() == ERROR_CLASS_ALREADY_EXISTS);
    // These tests look at the main view, so the loading screen is switched off.
    services_.files.files[SettingsFilePath(services_.files)] = "splash=0\r\n";
    app_ = std::make_unique<Application>(CommandLineState{}, services_.Services());
    state_ = std::make_unique<MainWindowState>(*app_);
    window_ = CreateMainWindow(instance_, *state_);
    ASSERT_NE(window_, nullptr);
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

  ULONG_PTR gdiplusToken_ = 0;
  HINSTANCE instance_ = nullptr;
  FakeApplicationServices services_;
  std::unique_ptr<Application> app_;
  std::unique_ptr<MainWindowState> state_;
  HWND window_ = nullptr;
};

TEST_F(MainWindowTest, CreatedAtStartUpGeometryWithItsClassTitleAndStyles) {
  HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
  ReleaseDC(nullptr, screen);
  RECT work{};
  const bool known = SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0) != FALSE;
  const ScreenRect want = InitialWindowRect(dpi, ScreenRect{work.left, work.top, work.right, work.bottom}, known);

  RECT r{};
  ASSERT_TRUE(GetWindowRect(window_, &r));
  EXPECT_EQ(r.left, want.left);
  EXPECT_EQ(r.top, want.top);
  EXPECT_EQ(r.right - r.left, want.Width());
  EXPECT_EQ(r.bottom - r.top, want.Height());

  wchar_t text[64] = {};
  GetClassNameW(window_, text, 64);
  EXPECT_STREQ(text, L"TolvaneDesktopApp");
  GetWindowTextW(window_, text, 64);
  EXPECT_STREQ(text, L"Tolvane");
  const LONG_PTR style = GetWindowLongPtrW(window_, GWL_STYLE);
  for (LONG_PTR bit : {LONG_PTR{WS_POPUP}, LONG_PTR{WS_SYSMENU}, LONG_PTR{WS_THICKFRAME}, LONG_PTR{WS_MINIMIZEBOX},
                       LONG_PTR{WS_MAXIMIZEBOX}})
    EXPECT_EQ(style & bit, bit) << std::hex << bit;
  EXPECT_EQ(style & WS_CAPTION, 0);
  EXPECT_EQ(GetWindowLongPtrW(window_, GWL_EXSTYLE) & WS_EX_APPWINDOW, WS_EX_APPWINDOW);
}

TEST_F(MainWindowTest, HitTestAnswersTheResizeBordersFromScreenPoints) {
  RECT r{};
  ASSERT_TRUE(GetWindowRect(window_, &r));
  const int b = static_cast<int>(6 * state_->machine.state().uiScale);
  const int midX = (r.left + r.right) / 2, midY = (r.top + r.bottom) / 2;
  struct Case {
    int x, y;
    LRESULT want;
  } cases[] = {
      {r.left, r.top, HTTOPLEFT},           {r.right - 1, r.top, HTTOPRIGHT},
      {r.left, r.bottom - 1, HTBOTTOMLEFT}, {r.right - 1, r.bottom - 1, HTBOTTOMRIGHT},
      {r.left + b - 1, midY, HTLEFT},       {r.left + b, midY, HTCLIENT},
      {r.right - b, midY, HTRIGHT},         {midX, r.top + b - 1, HTTOP},
      {midX, r.bottom - b, HTBOTTOM},       {midX, midY, HTCLIENT},
      {midX, r.top + 20, HTCLIENT},  // the title band is dragged by the program, never HTCAPTION
  };
  for (const Case& c : cases) {
    const LPARAM point = MAKELPARAM(static_cast<WORD>(c.x), static_cast<WORD>(c.y));
    EXPECT_EQ(SendMessageW(window_, WM_NCHITTEST, 0, point), c.want) << c.x << "," << c.y;
  }
}

TEST_F(MainWindowTest, HitTestReadsNegativeScreenCoordinates) {
  // A window on a monitor left of the primary one: the point's halves are signed.
  ASSERT_TRUE(SetWindowPos(window_, nullptr, -1500, 100, 1300, 800, SWP_NOZORDER | SWP_NOACTIVATE));
  RECT r{};
  ASSERT_TRUE(GetWindowRect(window_, &r));
  ASSERT_LT(r.left, 0);
  const LPARAM leftEdge = MAKELPARAM(static_cast<WORD>(r.left + 1), static_cast<WORD>((r.top + r.bottom) / 2));
  EXPECT_EQ(SendMessageW(window_, WM_NCHITTEST, 0, leftEdge), HTLEFT);
  const LPARAM inside = MAKELPARAM(static_cast<WORD>(r.left + 200), static_cast<WORD>((r.top + r.bottom) / 2));
  EXPECT_EQ(SendMessageW(window_, WM_NCHITTEST, 0, inside), HTCLIENT);
}

TEST_F(MainWindowTest, TrackSizesAreTheScaledMinimumAndTheMonitorWorkArea) {
  MINMAXINFO info{};
  EXPECT_EQ(SendMessageW(window_, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info)), 0);
  EXPECT_EQ(info.ptMinTrackSize.x, static_cast<LONG>(1240 * state_->machine.state().uiScale));
  EXPECT_EQ(info.ptMinTrackSize.y, static_cast<LONG>(700 * state_->machine.state().uiScale));
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  ASSERT_TRUE(GetMonitorInfoW(MonitorFromWindow(window_, MONITOR_DEFAULTTONEAREST), &monitor));
  EXPECT_EQ(info.ptMaxSize.x, monitor.rcWork.right - monitor.rcWork.left);
  EXPECT_EQ(info.ptMaxSize.y, monitor.rcWork.bottom - monitor.rcWork.top);
  EXPECT_EQ(info.ptMaxPosition.x, monitor.rcWork.left - monitor.rcMonitor.left);
  EXPECT_EQ(info.ptMaxPosition.y, monitor.rcWork.top - monitor.rcMonitor.top);
}

// Paints into a 32-bit DIB the size of the client area, pre-filled with a marker colour.
class PaintTarget {
 public:
  PaintTarget(int width, int height) : width_(width), height_(height) {
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = width;
    bi.bmiHeader.biHeight = -height;  // top-down rows
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    dc_ = CreateCompatibleDC(nullptr);
    bitmap_ = CreateDIBSection(dc_, &bi, DIB_RGB_COLORS, reinterpret_cast<void**>(&bits_), nullptr, 0);
    old_ = SelectObject(dc_, bitmap_);
    std::fill(bits_, bits_ + width * height, kMarker);
  }
  ~PaintTarget() {
    SelectObject(dc_, old_);
    DeleteObject(bitmap_);
    DeleteDC(dc_);
  }
  HDC dc() const { return dc_; }
  uint32_t At(int x, int y) const {
    GdiFlush();
    return bits_[y * width_ + x] & 0xFFFFFFu;
  }
  static constexpr uint32_t kMarker = 0x00FF00FFu;

 private:
  int width_, height_;
  HDC dc_ = nullptr;
  HBITMAP bitmap_ = nullptr;
  HGDIOBJ old_ = nullptr;
  uint32_t* bits_ = nullptr;
};

int Channel(uint32_t rgb, int shift) { return static_cast<int>((rgb >> shift) & 0xFF); }
bool Near(uint32_t rgb, uint32_t want, int tolerance) {
  for (int shift : {0, 8, 16})
    if (std::abs(Channel(rgb, shift) - Channel(want, shift)) > tolerance) return false;
  return true;
}

TEST_F(MainWindowTest, FullPaintCoversTheClientAreaWithTheDiagonalGradient) {
  RECT client{};
  ASSERT_TRUE(GetClientRect(window_, &client));
  PaintTarget target(client.right, client.bottom);
  PaintMainWindow(window_, target.dc(), nullptr);
  const uint32_t first = app_->ActiveBackground().colours.front() & 0xFFFFFFu;
  const uint32_t last = app_->ActiveBackground().colours.back() & 0xFFFFFFu;
  EXPECT_TRUE(Near(target.At(0, 0), first, 3)) << std::hex << target.At(0, 0);
  EXPECT_TRUE(Near(target.At(client.right - 1, client.bottom - 1), last, 3))
      << std::hex << target.At(client.right - 1, client.bottom - 1);
  // Diagonal: the other two corners sit between the ends, equally far along.
  const uint32_t upperRight = target.At(client.right - 1, 0), lowerLeft = target.At(0, client.bottom - 1);
  EXPECT_NE(upperRight, PaintTarget::kMarker);
  EXPECT_NE(lowerLeft, PaintTarget::kMarker);
  EXPECT_GT(Channel(upperRight, 0), Channel(last, 0));
  EXPECT_LT(Channel(upperRight, 0), Channel(first, 0));
}

TEST_F(MainWindowTest, ClippedPaintDrawsOnlyInsideTheClipAndMatchesTheFullPaint) {
  RECT client{};
  ASSERT_TRUE(GetClientRect(window_, &client));
  PaintTarget full(client.right, client.bottom), part(client.right, client.bottom);
  PaintMainWindow(window_, full.dc(), nullptr);
  const RECT clip{300, 400, 700, 430};
  PaintMainWindow(window_, part.dc(), &clip);
  struct Probe {
    int x, y;
    bool inside;
  } probes[] = {{300, 400, true},  {699, 429, true},  {500, 415, true},  {299, 415, false},
                {700, 415, false}, {500, 399, false}, {500, 430, false}, {0, 0, false}};
  for (const Probe& p : probes) {
    if (p.inside) {
      // The gradient is laid over the whole window, not restarted inside the clip.
      EXPECT_EQ(part.At(p.x, p.y), full.At(p.x, p.y)) << p.x << "," << p.y;
    } else {
      EXPECT_EQ(part.At(p.x, p.y), PaintTarget::kMarker) << p.x << "," << p.y;
    }
  }
  // A clip wholly outside the window paints nothing and must not fail.
  PaintTarget untouched(client.right, client.bottom);
  const RECT outside{client.right + 10, 0, client.right + 50, 40};
  PaintMainWindow(window_, untouched.dc(), &outside);
  EXPECT_EQ(untouched.At(client.right - 1, 0), PaintTarget::kMarker);
}

TEST_F(MainWindowTest, MouseMovesAreKeptInLogicalPixels) {
  SendMessageW(window_, WM_MOUSEMOVE, 0, MAKELPARAM(300, 150));
  EXPECT_EQ(state_->machine.state().mouseX, static_cast<int32_t>(300 / state_->machine.state().uiScale));
  EXPECT_EQ(state_->machine.state().mouseY, static_cast<int32_t>(150 / state_->machine.state().uiScale));
}

}  // namespace
}  // namespace tolvane
