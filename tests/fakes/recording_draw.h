// A draw context on the recording canvas, its ten fonts made: fixed text metrics without a window,
// for the drawing benchmarks and fuzz targets.
#pragma once

#include "appearance/draw.h"
#include "fakes/recording_canvas.h"

namespace tolvane {

struct RecordingDraw {
  RecordingDraw() { fonts.CreateUiFonts(graphics); }

  RecordingGraphics graphics;
  RecordingCanvas canvas;
  ThemePalette palette;
  UiFonts fonts;
  TextWidthCache widths;
  DrawContext dc{canvas, palette, fonts, widths};
};

}  // namespace tolvane
