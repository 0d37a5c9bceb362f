// The real Win32 clipboard: a round trip of non-ASCII text, cleaning of a multi-line paste put
// there by another writer, and a copy that fails because another window holds the clipboard.
// Needs a display (under Wine, an X server); each test owns a message-only window.
#include <windows.h>

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#include "clipboard/clipboard_text.h"
#include "clipboard/copy_feedback.h"
#include "clipboard/toast.h"
#include "fakes/fake_clock.h"
#include "platform/clipboard.h"

namespace tolvane {
namespace {

HWND MakeWindow() {
  return CreateWindowExW(0, L"STATIC", L"tolvane clipboard test", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                         GetModuleHandleW(nullptr), nullptr);
}

// Reads CF_UNICODETEXT straight through the API, not through the code under test.
std::wstring RawRead(HWND window) {
  std::wstring text;
  for (int i = 0; i < 50 && !OpenClipboard(window); ++i) Sleep(20);
  if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
    if (const auto* chars = static_cast<const wchar_t*>(GlobalLock(data))) {
      text = chars;
      GlobalUnlock(data);
    }
  }
  CloseClipboard();
  return text;
}

bool RawWrite(HWND window, const std::wstring& text) {
  for (int i = 0; i < 50 && !OpenClipboard(window); ++i) Sleep(20);
  EmptyClipboard();
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * sizeof(wchar_t));
  auto* chars = static_cast<wchar_t*>(GlobalLock(memory));
  std::copy(text.begin(), text.end(), chars);
  chars[text.size()] = L'\0';
  GlobalUnlock(memory);
  const bool ok = SetClipboardData(CF_UNICODETEXT, memory) != nullptr;
  if (!ok) GlobalFree(memory);
  CloseClipboard();
  return ok;
}

class ClipboardWin32Test : public testing::Test {
 protected:
  void SetUp() override {
    window = MakeWindow();
    ASSERT_NE(window, nullptr);
  }
  void TearDown() override { DestroyWindow(window); }
  uintptr_t Handle() const { return reinterpret_cast<uintptr_t>(window); }
  HWND window = nullptr;
};

TEST_F(ClipboardWin32Test, NonAsciiRoundTrip) {
  const std::wstring text = L"Z\u00fcrich \u6771\u4eac \u2713 \U0001F50A";
  ASSERT_TRUE(SetClipboardText(SystemClipboard(), SystemClock(), Handle(), text));
  EXPECT_EQ(RawRead(window), text);
  EXPECT_EQ(GetClipboardText(SystemClipboard(), SystemClock(), Handle()), text);
  EXPECT_FALSE(SetClipboardText(SystemClipboard(), SystemClock(), Handle(), L""));
  EXPECT_EQ(RawRead(window), text) << "an empty text leaves the clipboard alone";
}

TEST_F(ClipboardWin32Test, MultiLinePasteArrivesAsOneLine) {
  ASSERT_TRUE(RawWrite(window, L"104.1.2.3\r\n3.4.5.6\n\tend\x07"));
  EXPECT_EQ(GetClipboardText(SystemClipboard(), SystemClock(), Handle()), L"104.1.2.3  3.4.5.6  end");
}

TEST_F(ClipboardWin32Test, CopyFailsWhileAnotherWindowHoldsTheClipboard) {
  ASSERT_TRUE(SetClipboardText(SystemClipboard(), SystemClock(), Handle(), L"before"));

  std::mutex lock;
  std::condition_variable changed;
  bool held = false;
  bool release = false;
  bool holderOpened = false;
  std::thread holder([&] {
    HWND other = MakeWindow();
    const bool opened = other != nullptr && OpenClipboard(other);
    {
      std::lock_guard<std::mutex> guard(lock);
      holderOpened = opened;
      held = true;
    }
    changed.notify_all();
    std::unique_lock<std::mutex> wait(lock);
    changed.wait(wait, [&] { return release; });
    if (opened) CloseClipboard();
    if (other != nullptr) DestroyWindow(other);
  });
  {
    std::unique_lock<std::mutex> wait(lock);
    changed.wait(wait, [&] { return held; });
  }
  ASSERT_TRUE(holderOpened);

  FakeClock clock;  // the eight waits pass at once while the other thread keeps holding
  CopyFeedback feedback(SystemClipboard(), clock);
  EXPECT_FALSE(feedback.CopyWithFeedback(Handle(), L"104.9.9.9", L"IP"));
  EXPECT_EQ(feedback.toast().text(), L"Could not access the clipboard (another app is using it)");
  EXPECT_EQ(clock.sleeps.load(), 8u);
  EXPECT_EQ(clock.sleptMs.load(), 8u * 15u);
  EXPECT_TRUE(feedback.lastCopiedText().empty());
  EXPECT_EQ(feedback.GetClipboardText(Handle()), L"") << "a paste yields nothing while held";

  {
    std::lock_guard<std::mutex> guard(lock);
    release = true;
  }
  changed.notify_all();
  holder.join();

  EXPECT_EQ(RawRead(window), L"before");
  EXPECT_TRUE(feedback.CopyWithFeedback(Handle(), L"104.9.9.9", L"IP"));
  EXPECT_EQ(feedback.toast().text(), L"IP copied: 104.9.9.9");
  EXPECT_EQ(RawRead(window), L"104.9.9.9");
}

TEST(ToastWin32, DrawnTextNeverSplitsASurrogatePair) {
  FakeClock clock;
  Toast toast(clock);
  // 76 letters, then a character outside the BMP (two UTF-16 units at 76 and 77), then more.
  std::wstring text(76, L'a');
  text += L"\U0001F50A";
  text += std::wstring(30, L'b');
  toast.Show(text);
  EXPECT_EQ(toast.DrawnText(), std::wstring(76, L'a') + L"...");
  std::wstring plain(100, L'c');
  toast.Show(plain);
  EXPECT_EQ(toast.DrawnText(), std::wstring(77, L'c') + L"...");
}

}  // namespace
}  // namespace tolvane
