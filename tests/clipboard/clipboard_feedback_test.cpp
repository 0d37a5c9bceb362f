// Clipboard retry and cleaning, copy feedback with the copied marker, and toast timing, all
// against the fake clipboard and the fake clock.
#include <gtest/gtest.h>

#include <string>

#include "clipboard/clipboard_text.h"
#include "clipboard/copy_feedback.h"
#include "clipboard/toast.h"
#include "fakes/fake_clipboard.h"
#include "fakes/fake_clock.h"

namespace tolvane {
namespace {

constexpr uintptr_t kWindow = 0x1234;

TEST(SetClipboardText, RetriesWhileBusy) {
  const struct {
    int busyOpens;
    bool expectOk;
    int expectOpens;
    uint64_t expectSleeps;
  } cases[] = {
      {0, true, 1, 0}, {1, true, 2, 1}, {7, true, 8, 7}, {8, false, 8, 8}, {20, false, 8, 8},
  };
  for (const auto& c : cases) {
    FakeClipboard clipboard;
    FakeClock clock;
    clipboard.busyOpens = c.busyOpens;
    EXPECT_EQ(SetClipboardText(clipboard, clock, kWindow, L"1.2.3.4"), c.expectOk) << c.busyOpens;
    EXPECT_EQ(clipboard.openCalls, c.expectOpens) << c.busyOpens;
    EXPECT_EQ(clock.sleeps.load(), c.expectSleeps) << c.busyOpens;
    EXPECT_EQ(clock.sleptMs.load(), c.expectSleeps * 15) << c.busyOpens;
    EXPECT_EQ(clipboard.content, c.expectOk ? L"1.2.3.4" : L"") << c.busyOpens;
    EXPECT_FALSE(clipboard.isOpen) << "left open after " << c.busyOpens;
    EXPECT_EQ(clipboard.lastWindow, kWindow);
  }
}

TEST(SetClipboardText, EmptyTextAndRefusedReplace) {
  FakeClipboard clipboard;
  FakeClock clock;
  clipboard.content = L"old";
  EXPECT_FALSE(SetClipboardText(clipboard, clock, kWindow, L""));
  EXPECT_EQ(clipboard.openCalls, 0);
  EXPECT_EQ(clipboard.content, L"old");

  clipboard.failReplace = true;
  EXPECT_FALSE(SetClipboardText(clipboard, clock, kWindow, L"1.2.3.4"));
  EXPECT_EQ(clipboard.openCalls, 1) << "a refused replace is not retried";
  EXPECT_EQ(clipboard.closeCalls, 1);
  EXPECT_FALSE(clipboard.isOpen);
}

TEST(GetClipboardText, CleansAndRetries) {
  const struct {
    std::wstring raw;
    std::wstring expected;
  } cases[] = {
      {L"plain", L"plain"},
      {L"line one\r\nline two\nthree", L"line one  line two three"},
      {L"a\tb", L"a b"},
      {std::wstring(L"x\x01\x1f\x7fy"), std::wstring(L"x\x7fy")},
      {std::wstring(L"bell\a end\x1b"), L"bell end"},
      {L"Z\u00fcrich \u6771\u4eac \u2713", L"Z\u00fcrich \u6771\u4eac \u2713"},
      {L"", L""},
  };
  for (const auto& c : cases) {
    FakeClipboard clipboard;
    FakeClock clock;
    clipboard.content = c.raw;
    EXPECT_EQ(GetClipboardText(clipboard, clock, kWindow), c.expected);
    EXPECT_FALSE(clipboard.isOpen);
  }

  FakeClipboard busy;
  FakeClock clock;
  busy.content = L"held";
  busy.busyOpens = 8;
  EXPECT_EQ(GetClipboardText(busy, clock, kWindow), L"");
  EXPECT_EQ(busy.openCalls, 8);
  EXPECT_EQ(busy.readCalls, 0);
  EXPECT_EQ(clock.sleeps.load(), 8u);
  busy.busyOpens = 3;
  EXPECT_EQ(GetClipboardText(busy, clock, kWindow), L"held");
}

TEST(CopyWithFeedback, ToastAndMarker) {
  FakeClipboard clipboard;
  FakeClock clock;
  CopyFeedback feedback(clipboard, clock);

  EXPECT_FALSE(feedback.CopyWithFeedback(kWindow, L"", L"IP"));
  EXPECT_EQ(clipboard.openCalls, 0);
  EXPECT_TRUE(feedback.toast().text().empty());

  EXPECT_TRUE(feedback.CopyWithFeedback(kWindow, L"104.1.2.3", L"IP"));
  EXPECT_EQ(clipboard.content, L"104.1.2.3");
  EXPECT_EQ(feedback.toast().text(), L"IP copied: 104.1.2.3");
  EXPECT_EQ(feedback.lastCopiedText(), L"104.1.2.3");
  EXPECT_EQ(feedback.lastCopiedAt(), clock.TickMs());
  EXPECT_TRUE(feedback.ShowsCopied(L"104.1.2.3"));
  EXPECT_FALSE(feedback.ShowsCopied(L"104.1.2.3:443"));
  EXPECT_EQ(feedback.CopyButtonLabel(L"Copy IP", L"104.1.2.3"), L"Copied \u2713");
  EXPECT_EQ(feedback.CopyButtonLabel(L"Copy IP:port", L"104.1.2.3:443"), L"Copy IP:port");

  // The same copy again restarts the marker's 1.6 s.
  clock.Advance(1500);
  EXPECT_TRUE(feedback.CopyWithFeedback(kWindow, L"104.1.2.3", L"IP"));
  clock.Advance(1599);
  EXPECT_TRUE(feedback.ShowsCopied(L"104.1.2.3"));
  EXPECT_TRUE(feedback.MarkerActive());
  clock.Advance(1);
  EXPECT_FALSE(feedback.ShowsCopied(L"104.1.2.3"));
  EXPECT_FALSE(feedback.MarkerActive());
  EXPECT_EQ(feedback.CopyButtonLabel(L"Copy IP", L"104.1.2.3"), L"Copy IP");
}

TEST(CopyWithFeedback, BusyClipboardShowsFailureAndKeepsMarker) {
  FakeClipboard clipboard;
  FakeClock clock;
  CopyFeedback feedback(clipboard, clock);
  ASSERT_TRUE(feedback.CopyWithFeedback(kWindow, L"3.4.5.6", L"IP"));
  const uint64_t copiedAt = feedback.lastCopiedAt();

  clipboard.busyOpens = 100;
  EXPECT_FALSE(feedback.CopyWithFeedback(kWindow, L"3.9.9.9", L"IP:port"));
  EXPECT_EQ(feedback.toast().text(), L"Could not access the clipboard (another app is using it)");
  EXPECT_EQ(feedback.lastCopiedText(), L"3.4.5.6");
  EXPECT_EQ(feedback.lastCopiedAt(), copiedAt);
  EXPECT_EQ(clipboard.content, L"3.4.5.6");
  EXPECT_EQ(clipboard.openCalls, 1 + 8);
}

TEST(Toast, ExpiresAfterTwoPointFourSeconds) {
  FakeClock clock;
  Toast toast(clock);
  EXPECT_FALSE(toast.Visible());
  toast.Show(L"first");
  clock.Advance(2399);
  EXPECT_TRUE(toast.Visible());
  // A second toast replaces the first and starts a new 2.4 s.
  toast.Show(L"second");
  clock.Advance(2399);
  EXPECT_TRUE(toast.Visible());
  EXPECT_EQ(toast.text(), L"second");
  clock.Advance(1);
  EXPECT_FALSE(toast.Visible());
  EXPECT_TRUE(toast.text().empty()) << "an expired toast empties its text";
  clock.Advance(1);
  EXPECT_FALSE(toast.Visible());
}

TEST(Toast, WallClockSetBackRestartsInsteadOfSticking) {
  FakeClock clock;
  Toast toast(clock);
  toast.Show(L"copied");
  clock.systemNs -= 3'600'000'000'000;  // an hour back
  EXPECT_TRUE(toast.Visible());
  clock.Advance(2400);
  EXPECT_FALSE(toast.Visible());
}

TEST(Toast, DrawnTextIsCutAtEightyCharacters) {
  FakeClock clock;
  Toast toast(clock);
  const struct {
    size_t length;
    size_t drawnLength;
    bool dots;
  } cases[] = {{0, 0, false}, {79, 79, false}, {80, 80, false}, {81, 80, true}, {100, 80, true}};
  for (const auto& c : cases) {
    std::wstring text;
    for (size_t i = 0; i < c.length; ++i) text.push_back(static_cast<wchar_t>(L'a' + i % 26));
    toast.Show(text);
    const std::wstring drawn = toast.DrawnText();
    EXPECT_EQ(drawn.size(), c.drawnLength) << c.length;
    EXPECT_EQ(toast.text(), text) << "stored text stays whole";
    if (c.dots) {
      EXPECT_EQ(drawn, text.substr(0, 77) + L"...") << c.length;
    } else {
      EXPECT_EQ(drawn, text) << c.length;
    }
  }
}

}  // namespace
}  // namespace tolvane
