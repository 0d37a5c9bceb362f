// One paint of the main window; see main_window_paint.h.
#include "ui/main_window_paint.h"

#include "ui/history_panel.h"
#include "ui/lookup_panel.h"
#include "ui/main_view.h"
#include "ui/settings_panel.h"

namespace tolvane {

void PaintMainWindow(MainWindow& machine, WindowPaint& paint, int32_t clientWidth, int32_t clientHeight,
                     uintptr_t deviceContext, const DeviceRect* clip, const std::vector<DeviceRect>& parts) {
  const MainViewSources sources = MainViewSourcesOf(machine.app());
  const BackgroundMedium medium = machine.windowMedia().PaintMedium();
  PanelPainters panels;
  machine.windowMedia().AddPainters(panels);
  AddSettingsPanelPainter(machine, panels);
  panels.lookupPanel = [&machine](DrawContext& dc, AppState&, int32_t W, int32_t H) {
    PaintLookupPanel(dc, machine, W, H);
  };
  panels.historyPanel = [&machine](DrawContext& dc, AppState&, int32_t W, int32_t H) {
    PaintHistoryPanel(dc, machine, W, H);
  };
  const PaintInputs in{machine.graphics(),
                       machine.fonts(),
                       machine.widths(),
                       machine.state(),
                       sources,
                       clientWidth,
                       clientHeight,
                       machine.editor().focusedField,
                       &medium,
                       &panels};
  PaintWindow(paint, in, deviceContext, clip, parts);
}

}  // namespace tolvane
