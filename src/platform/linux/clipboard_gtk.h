// What the GTK window needs to know of the clipboard: reading text another program owns is
// asynchronous on X11 and Wayland, and the clipboard primitives are synchronous, so a read runs the
// main loop until the answer comes. While it runs the window must not act on its timers or input:
// the state machine is in the middle of the command that asked.
#pragma once

namespace tolvane {

// True while ReadText waits for another program's answer (main thread only).
bool ClipboardReadInProgress();

}  // namespace tolvane
