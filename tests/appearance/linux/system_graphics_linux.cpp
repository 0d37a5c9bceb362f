// Cairo and Pango need no start; the desktop graphics tests run as they are.
#include "appearance/desktop/system_graphics.h"

namespace tolvane {

bool StartSystemGraphics() { return true; }
void StopSystemGraphics() {}

}  // namespace tolvane
