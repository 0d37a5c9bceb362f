// The system tests' start and stop of the system's graphics library (GDI+ on Windows; nothing to
// start on Linux), implemented per platform beside the platform's own tests.
#pragma once

namespace tolvane {

bool StartSystemGraphics();
// Releases the canvas's caches, then the library; every surface, font and image must be gone.
void StopSystemGraphics();

}  // namespace tolvane
