// The window's copy actions: which template, which values and which label each one uses, and the
// row without a remote address.
#include <gtest/gtest.h>

#include <string>

#include "capture/call_list.h"
#include "clipboard/copy_actions.h"
#include "fakes/fake_clipboard.h"
#include "fakes/fake_clock.h"
#include "settings/settings.h"

namespace tolvane {
namespace {

constexpr uintptr_t kWindow = 7;

ConnectionRow Row(std::wstring remote, int32_t port) {
  ConnectionRow row;
  row.processName = L"Discord.exe";
  row.pid = 4242;
  row.protocol = L"UDP4";
  row.remoteAddress = std::move(remote);
  row.remotePort = port;
  return row;
}

class CopyActionsTest : public testing::Test {
 public:
  CopyActionsTest() {
    settings.tplIp = L"ping IP -n 4 ({app} {pid} {proto})";
    settings.tplEp = L"{ep}";
  }
  FakeClipboard clipboard;
  FakeClock clock;
  CopyFeedback feedback{clipboard, clock};
  Settings settings;
};

TEST_F(CopyActionsTest, RowAndCallActionsUseTheirTemplateAndLabel) {
  CallEndpoint entry;
  entry.address = L"104.9.8.7";
  entry.remotePort = 50001;
  entry.protocol = L"UDP4";
  entry.processName = L"Discord.exe";
  entry.pid = 17;

  const struct {
    const wchar_t* name;
    bool (*action)(CopyActionsTest&, const CallEndpoint&);
    std::wstring clipboard;
    std::wstring toast;
  } cases[] = {
      {L"row IP",
       [](CopyActionsTest& t, const CallEndpoint&) {
         return CopyRowIp(t.feedback, t.settings, kWindow, Row(L"35.1.2.3", 443));
       },
       L"ping 35.1.2.3 -n 4 (Discord.exe 4242 UDP4)", L"IP copied: ping 35.1.2.3 -n 4 (Discord.exe 4242 UDP4)"},
      {L"row IP:port",
       [](CopyActionsTest& t, const CallEndpoint&) {
         return CopyRowEndpoint(t.feedback, t.settings, kWindow, Row(L"35.1.2.3", 443));
       },
       L"35.1.2.3:443", L"IP:port copied: 35.1.2.3:443"},
      {L"call IP",
       [](CopyActionsTest& t, const CallEndpoint& e) { return CopyCallIp(t.feedback, t.settings, kWindow, e); },
       L"ping 104.9.8.7 -n 4 (Discord.exe 17 UDP4)", L"IP copied: ping 104.9.8.7 -n 4 (Discord.exe 17 UDP4)"},
      {L"call IP:port",
       [](CopyActionsTest& t, const CallEndpoint& e) { return CopyCallEndpoint(t.feedback, t.settings, kWindow, e); },
       L"104.9.8.7:50001", L"IP:port copied: 104.9.8.7:50001"},
      {L"lookup with context",
       [](CopyActionsTest& t, const CallEndpoint&) {
         return CopyLookupAddress(t.feedback, t.settings, kWindow, L"8.8.4.4", L"chrome.exe", L"TCP4", 99, 443);
       },
       L"ping 8.8.4.4 -n 4 (chrome.exe 99 TCP4)", L"IP copied: ping 8.8.4.4 -n 4 (chrome.exe 99 TCP4)"},
  };
  for (const auto& c : cases) {
    clipboard.content.clear();
    EXPECT_TRUE(c.action(*this, entry)) << c.name;
    EXPECT_EQ(clipboard.content, c.clipboard) << c.name;
    EXPECT_EQ(feedback.toast().text(), c.toast) << c.name;
    EXPECT_EQ(feedback.lastCopiedText(), c.clipboard) << c.name;
  }
  EXPECT_EQ(CallIpCopyText(settings, entry), L"ping 104.9.8.7 -n 4 (Discord.exe 17 UDP4)");
  EXPECT_EQ(CallEndpointCopyText(settings, entry), L"104.9.8.7:50001");
  EXPECT_TRUE(feedback.ShowsCopied(LookupCopyText(settings, L"8.8.4.4", L"chrome.exe", L"TCP4", 99, 443)));
}

TEST_F(CopyActionsTest, RowWithoutRemoteAddressCopiesNothing) {
  for (const wchar_t* remote : {L"", L"*"}) {
    for (bool endpoint : {false, true}) {
      clipboard.content = L"before";
      feedback.ShowToast(L"");
      const ConnectionRow row = Row(remote, 0);
      const bool ok =
          endpoint ? CopyRowEndpoint(feedback, settings, kWindow, row) : CopyRowIp(feedback, settings, kWindow, row);
      EXPECT_FALSE(ok);
      EXPECT_EQ(clipboard.content, L"before");
      EXPECT_EQ(clipboard.openCalls, 0);
      EXPECT_EQ(feedback.toast().text(), L"This row has no remote IP yet");
    }
  }
}

TEST_F(CopyActionsTest, LookupWithoutAddressCopiesNothing) {
  clipboard.content = L"before";
  EXPECT_FALSE(CopyLookupAddress(feedback, settings, kWindow, L"", L"", L"", 0, 0));
  EXPECT_EQ(clipboard.content, L"before");
  EXPECT_EQ(clipboard.openCalls, 0);
}

TEST_F(CopyActionsTest, BusyClipboardFailsTheAction) {
  clipboard.busyOpens = 8;
  EXPECT_FALSE(CopyRowIp(feedback, settings, kWindow, Row(L"35.1.2.3", 443)));
  EXPECT_EQ(feedback.toast().text(), L"Could not access the clipboard (another app is using it)");
  EXPECT_TRUE(feedback.lastCopiedText().empty());
}

}  // namespace
}  // namespace tolvane
