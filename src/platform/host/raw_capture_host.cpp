// The host never captures (it has no raw capture service); its call panel advice is the Windows
// text, which the portable view tests expect.
#include "platform/raw_capture.h"

namespace tolvane {

std::wstring CaptureErrorHint() {
  return L"TCP connections are still listed below. Check that no security tool is blocking raw sockets.";
}

}  // namespace tolvane
