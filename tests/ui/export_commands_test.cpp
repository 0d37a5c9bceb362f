// The export from the window: Ctrl+S and "Export…" write what the table shows (its filters, search
// and sort), Ctrl+Shift+C copies the same rows while Ctrl+C keeps its meaning, and a failed write
// keeps the earlier files.
#include <gtest/gtest.h>

#include "platform/utf8.h"
#include "ui/commands.h"
#include "ui/window_fixture.h"

namespace tolvane {
namespace {

constexpr wchar_t kHeader[] =
    L"application\tpid\tprotocol\tlocalAddress\tlocalPort\tremoteAddress\tremotePort\tstate\tcategory\trole\tlatencyMs";

std::vector<std::wstring> Split(const std::wstring& text, const std::wstring& separator) {
  std::vector<std::wstring> out;
  size_t from = 0;
  for (size_t at; (at = text.find(separator, from)) != std::wstring::npos; from = at + separator.size())
    out.push_back(text.substr(from, at - from));
  out.push_back(text.substr(from));
  return out;
}

class ExportCommandsTest : public WindowFixture {
 protected:
  ExportCommandsTest() { window.state().hits[Slot::ExportButton].Set(1280, 860, 1330, 878); }

  // Four rows and a call; the search "exe" drops the one of "svchost", the view is sorted by the
  // remote address, descending.
  void SearchedAndSorted() {
    PublishAndSettle({MakeRow(L"b.exe", L"TCP4", L"1.1.1.1", 443), MakeRow(L"svchost", L"TCP4", L"9.9.9.9", 80),
                      MakeRow(L"a.exe", L"TCP4", L"8.8.8.8", 443), CallRow(L"104.1.2.3", 40)});
    app.viewInputs().searchText = L"exe";
    app.viewInputs().sortKey = 1;
    app.viewInputs().sortAscending = false;
    window.RebuildView();
  }
  std::string File(const std::wstring& path) { return fakes.files.files.count(path) ? fakes.files.files[path] : ""; }
};

TEST_F(ExportCommandsTest, CtrlShiftCCopiesTheViewAsATableAndCtrlCKeepsItsMeaning) {
  SearchedAndSorted();
  window.OnKeyDown(Key::C, true, true);
  const std::vector<std::wstring> lines = Split(fakes.clipboard.content, L"\r\n");
  ASSERT_EQ(lines.size(), 5u);  // the header, three rows, and nothing after the last line end
  EXPECT_EQ(lines[0], kHeader);
  EXPECT_EQ(lines[4], L"");
  std::vector<std::wstring> remote;
  for (size_t i = 1; i < 4; ++i) remote.push_back(Split(lines[i], L"\t").at(5));
  EXPECT_EQ(remote, (std::vector<std::wstring>{L"8.8.8.8", L"104.1.2.3", L"1.1.1.1"}));
  EXPECT_EQ(remote, ViewAddresses());
  EXPECT_EQ(Split(lines[1], L"\t"),
            (std::vector<std::wstring>{L"a.exe", L"100", L"TCP4", L"10.0.0.2", L"50443", L"8.8.8.8", L"443", L"ACTIVE",
                                       L"browser", L"Web", L""}));
  EXPECT_EQ(app.copyFeedback().toast().text(), L"Copied 3 rows as a table");

  window.SelectRow(0);
  window.OnKeyDown(Key::C, true, false);  // Ctrl+C alone: the selected row's IP:port
  EXPECT_EQ(fakes.clipboard.content, L"8.8.8.8:443");

  // The characters the shortcuts type (ETX, DC3) never reach the focused search box.
  window.state().searchFocused = true;
  host.ClearPaints();
  window.OnChar(L'\x03');
  window.OnChar(L'\x13');
  EXPECT_EQ(app.viewInputs().searchText, L"exe");
  EXPECT_EQ(host.fullRepaints, 0);
}

TEST_F(ExportCommandsTest, CtrlSAndTheButtonWriteTheViewAndTheCallList) {
  SearchedAndSorted();
  const auto before = fakes.files.files;
  window.OnLButtonDown(1300, 870);  // "Export…", then Cancel: nothing is written
  ASSERT_EQ(host.saveSuggestions.size(), 1u);
  EXPECT_EQ(host.saveSuggestions[0].rfind(L"tolvane-", 0), 0u);
  EXPECT_EQ(fakes.files.files, before);

  host.saveAnswer = L"C:\\out\\view";  // no extension: the type chosen in the dialog gives it
  host.saveType = SaveFileType::Csv;
  window.OnKeyDown(Key::S, true);
  const std::string csv = File(L"C:\\out\\view.csv");
  EXPECT_EQ(app.copyFeedback().toast().text(), L"Exported 3 connections to view.csv and 1 call IP to view-calls.csv");
  window.OnKeyDown(Key::C, true, true);
  std::string table = WideToUtf8(fakes.clipboard.content);
  for (char& c : table) c = c == '\t' ? ',' : c;
  EXPECT_EQ(csv, "\xEF\xBB\xBF" + table);  // the same rows in the same order
  EXPECT_NE(File(L"C:\\out\\view-calls.csv").find("\r\n104.1.2.3,50001,UDP4,Discord.exe,4242,"), std::string::npos);
}

TEST_F(ExportCommandsTest, AFailedWriteKeepsTheEarlierFilesAndSaysWhy) {
  SearchedAndSorted();
  host.saveAnswer = L"C:\\out\\view.csv";
  struct Case {
    bool failWrite, failMove;
    const wchar_t* toast;
  } cases[] = {
      {true, false, L"Export failed: could not write view.csv (Access is denied)"},
      {false, true, L"Export failed: could not replace view.csv (Access is denied)"},
  };
  for (const Case& c : cases) {
    fakes.files.files = {{L"C:\\out\\view.csv", "old"}, {L"C:\\out\\view-calls.csv", "old calls"}};
    fakes.files.failWrite = c.failWrite;
    fakes.files.failMove = c.failMove;
    fakes.files.errorText = L"Access is denied";
    window.OnKeyDown(Key::S, true);
    EXPECT_EQ(fakes.files.files, (std::map<std::wstring, std::string>{{L"C:\\out\\view.csv", "old"},
                                                                      {L"C:\\out\\view-calls.csv", "old calls"}}));
    EXPECT_EQ(app.copyFeedback().toast().text(), c.toast);
  }
}

}  // namespace
}  // namespace tolvane
