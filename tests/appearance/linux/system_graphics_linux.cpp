// Cairo and Pango need no start; the system graphics tests run as they are.
#include "appearance/system/system_graphics.h"

namespace tolvane {

bool StartSystemGraphics() { return true; }
void StopSystemGraphics() {}

}  // namespace tolvane
