#include "app/application.h"

namespace tolvane {

Application::Application(const CommandLineState& commandLine, Clock& clock, FileSystem& files)
    : commandLine_(commandLine), clock_(clock), files_(files) {}

Application::~Application() { OnDestroy(); }

void Application::OnCreate() {
  if (created_) return;
  created_ = true;
  appRunning_.store(true);
}

void Application::OnDestroy() {
  if (!created_) return;
  created_ = false;
  appRunning_.exchange(false);
}

BackgroundGradient Application::ActiveBackground() const {
  // The "Dark" theme until the theme engine is wired in.
  return BackgroundGradient{{0xFF161621u, 0xFF0A0A12u}, 1};
}

}  // namespace tolvane
