// Application: the single owner of the process-wide state (settings, capture table, published rows,
// latency book, lookup cache) and of the worker threads. The window procedure calls OnCreate when the
// main window is created and OnDestroy when it is destroyed; everything between runs on the threads
// started here and on the main thread's timers.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "app/startup.h"
#include "platform/clock.h"
#include "platform/files.h"

namespace tolvane {

struct BackgroundGradient {
  std::vector<uint32_t> colours;  // ARGB, 2 to 8 colours in order
  int32_t direction = 1;          // 0 horizontal, 1 diagonal, 2 vertical
};

class Application {
 public:
  Application(const CommandLineState& commandLine, Clock& clock, FileSystem& files);
  ~Application();
  Application(const Application&) = delete;
  Application& operator=(const Application&) = delete;

  // Window creation: loads the settings, derives the palettes and starts the worker threads.
  void OnCreate();
  // Window destruction: clears AppRunning, joins the workers in start order, saves the settings.
  void OnDestroy();

  // The background gradient of the active theme.
  BackgroundGradient ActiveBackground() const;

  const CommandLineState& commandLine() const { return commandLine_; }
  std::atomic<bool>& appRunning() { return appRunning_; }
  Clock& clock() { return clock_; }
  FileSystem& files() { return files_; }

 private:
  CommandLineState commandLine_;
  Clock& clock_;
  FileSystem& files_;
  std::atomic<bool> appRunning_{true};
  bool created_ = false;
};

}  // namespace tolvane
