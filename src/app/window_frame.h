// Decisions of the frameless main window and of the program's start that need no Windows: whether a
// start hands over to a running instance, the window's track sizes, and the mouse positions and
// clip rectangles the drawing benchmark replays. The Win32 layer in app/win32/ only reads the
// inputs from the system and applies these answers.
#pragma once

#include <cstdint>
#include <functional>

#include "app/startup.h"
#include "platform/clock.h"

namespace tolvane {

// What a start does after creating the single-instance mutex. mutexCreated false (the call failed)
// starts normally: refusing to run because of an unreadable mutex would lock the user out.
enum class InstanceAction { Start, ActivateExisting };
InstanceAction SingleInstanceDecision(bool mutexCreated, bool alreadyExists, const CommandLineState& commandLine);

// A start that is to hand over, while the running instance may have no window yet or any more (it
// is starting, or closing with its mutex still held). Raises its window as soon as there is one;
// otherwise waits for the mutex, up to kInstanceWaitMs of clock time, and starts normally once this
// process owns it. waitForMutex(ms) blocks up to ms and tells whether the mutex is now ours.
// Gives up with ActivateExisting (which finds no window, and the start ends without a word).
inline constexpr uint32_t kInstanceWaitMs = 5000;
inline constexpr uint32_t kInstanceWaitStepMs = 100;
InstanceAction AwaitRunningInstance(Clock& clock, const std::function<bool()>& windowExists,
                                    const std::function<bool(uint32_t ms)>& waitForMutex);

// The window's answer to WM_GETMINMAXINFO. The maximized size is the nearest monitor's work area,
// placed relative to the monitor's origin, so a maximized frameless window leaves the taskbar free.
struct TrackSizes {
  int32_t minWidth = 0, minHeight = 0;
  bool hasMax = false;  // false when no monitor information was available
  int32_t maxWidth = 0, maxHeight = 0, maxX = 0, maxY = 0;
};
TrackSizes FrameTrackSizes(float uiScale, bool monitorKnown, const ScreenRect& monitor, const ScreenRect& workArea);

// The drawing benchmark replays 100 frames; frame i (0 to 99) moves the mouse to BenchMouse(i), and
// the partial frames are clipped to BenchClip(i), five table rows high in turn.
struct LogicalPoint {
  int32_t x = 0, y = 0;
};
LogicalPoint BenchMouse(int32_t frame);
ScreenRect BenchClip(int32_t frame);
constexpr int32_t kBenchFrames = 100;

// The benchmark's timed part: 100 full frames, then 100 frames clipped to BenchClip(i), frame i
// drawn by frame(BenchMouse(i), clip or null) after the mouse moved there. counter() reads the
// high-resolution counter (t.frequency ticks per second); c0 to c3 of t are filled.
void TimeBenchFrames(BenchTimes& t, const std::function<int64_t()>& counter,
                     const std::function<void(LogicalPoint mouse, const ScreenRect* clip)>& frame);

}  // namespace tolvane
