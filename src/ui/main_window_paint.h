// One paint of the main window from its state machine: the inputs of the compositor (fonts, width
// cache, state, the application's parts, the medium and the three panel painters) gathered the same
// way for every window host, so a new panel or layer reaches every platform through this one place.
#pragma once

#include <cstdint>
#include <vector>

#include "ui/main_window.h"
#include "ui/paint_window.h"
#include "ui/window_host.h"

namespace tolvane {

// PaintWindow over paint with the client size in device pixels. deviceContext receives the copy of
// the painted part (0: the frame surface only). clip: the device rectangle to repaint, null for all;
// parts: the rectangles of the update region when the host knows them.
void PaintMainWindow(MainWindow& machine, WindowPaint& paint, int32_t clientWidth, int32_t clientHeight,
                     uintptr_t deviceContext, const DeviceRect* clip, const std::vector<DeviceRect>& parts = {});

}  // namespace tolvane
