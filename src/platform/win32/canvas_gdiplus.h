// What the GDI+ canvas needs from whoever starts and stops GDI+.
//
// The canvas keeps its nine string formats for the whole run. GDI+ objects must not outlive
// GdiplusShutdown (and must not be reused after a later GdiplusStartup), so whoever shuts GDI+ down
// first releases them; the next text drawn after a new start makes them again. Surfaces, fonts and
// images made by SystemGraphics() must likewise be destroyed before the shutdown.
#pragma once

namespace tolvane {

void ReleaseGdiplusCanvasCaches();

}  // namespace tolvane
