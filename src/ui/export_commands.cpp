// The export commands of the main view: Ctrl+S and "Export…" write the view and the call list to
// files the user chooses; Ctrl+Shift+C puts the view's rows on the clipboard as a table. Both take
// the rows exactly as the table has them (ViewRows: the filters, the search and the sort applied,
// every row, not only those on screen). Main thread only.
#include <string>

#include "export/export_table.h"
#include "export/export_writer.h"
#include "ui/commands.h"
#include "ui/main_window.h"

namespace tolvane {
namespace {

// "tolvane-2024-05-01-140307" from "2024-05-01T14:03:07+02:00".
std::wstring SuggestedName(const std::wstring& isoTime) {
  std::wstring name = L"tolvane-" + isoTime.substr(0, 10) + L"-";
  for (size_t i = 11; i < 19 && i < isoTime.size(); ++i)
    if (isoTime[i] != L':') name.push_back(isoTime[i]);
  return name;
}

std::wstring Count(size_t n, const wchar_t* one, const wchar_t* many) {
  return std::to_wstring(static_cast<unsigned long long>(n)) + L" " + (n == 1 ? one : many);
}

}  // namespace

void ExportView(MainWindow& w) {
  Application& app = w.app();
  CopyFeedback& feedback = app.copyFeedback();
  const bool counters = PacketCountersKnown(app.packetCapture().status(), app.commandLine().demoMode);
  const ExportDocument doc = CollectExport(app.connectionView(), app.callList(), counters, app.clock());
  std::wstring path;
  SaveFileType type = SaveFileType::Csv;
  if (!w.host().ChooseSaveFile(SuggestedName(doc.time), path, type) || path.empty()) return;
  // The extension the user typed decides; without one, the type chosen in the dialog.
  if (!ExportFormatOf(path)) path += type == SaveFileType::Json ? L".json" : L".csv";
  const ExportFormat format = ExportFormatOf(path).value_or(ExportFormat::Csv);
  const std::vector<ExportFile> files = ExportFiles(doc, path, format);
  ExportFailure failure;
  if (!WriteExportFiles(app.files(), files, failure)) {
    std::wstring text = L"Export failed: " + failure.action + L" " + std::wstring(FileNameOf(failure.path));
    if (!failure.reason.empty()) text += L" (" + failure.reason + L")";
    feedback.ShowToast(std::move(text));
    return;
  }
  const std::wstring connections = Count(doc.tables[0].rows.size(), L"connection", L"connections");
  const std::wstring calls = Count(doc.tables[1].rows.size(), L"call IP", L"call IPs");
  if (files.size() > 1) {
    feedback.ShowToast(L"Exported " + connections + L" to " + std::wstring(FileNameOf(files[0].path)) + L" and " +
                       calls + L" to " + std::wstring(FileNameOf(files[1].path)));
  } else {
    feedback.ShowToast(L"Exported " + connections + L" and " + calls + L" to " + std::wstring(FileNameOf(path)));
  }
}

void CopyViewTable(MainWindow& w) {
  Application& app = w.app();
  CopyFeedback& feedback = app.copyFeedback();
  const std::vector<ViewRow>& rows = app.connectionView().ViewRows();
  if (!feedback.SetClipboardText(w.state().window, TabSeparatedText(ConnectionTable(rows)))) {
    feedback.ShowToast(std::wstring(kClipboardBusyToast));
    return;
  }
  feedback.ShowToast(L"Copied " + Count(rows.size(), L"row", L"rows") + L" as a table");
}

}  // namespace tolvane
