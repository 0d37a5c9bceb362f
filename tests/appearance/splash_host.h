// The window requests the loading screen and the media bundle make: timers, repaints. Everything
// else a window host does is a no-op here.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "ui/window_host.h"

namespace tolvane {

class SplashHost final : public WindowHost {
 public:
  void Invalidate(const DeviceRect&) override { ++partialRepaints; }
  void InvalidateAll() override { ++fullRepaints; }
  void SetTimer(uint32_t id, uint32_t periodMs) override { timers.push_back({id, periodMs}); }
  void KillTimer(uint32_t id) override { killed.push_back(id); }
  void SetCursor(CursorShape) override {}
  void TrackMouseLeave() override {}
  int32_t ClientWidth() override { return 1240; }
  int32_t ClientHeight() override { return 700; }
  void SetWindowIcons(const std::vector<uint32_t>&, const std::vector<uint32_t>&) override {}
  void ApplyTopmost(bool) override {}
  void PostDeferredStart() override {}
  void SetFocus() override {}
  void DestroyWindow() override {}
  void ShowWindow(WindowShow) override {}
  bool IsZoomed() override { return false; }
  void BeginDrag() override {}
  bool ChooseColour(uint32_t, uint32_t&) override { return false; }
  bool ChooseFile(FileDialogKind, std::wstring&) override { return false; }
  bool ChooseSaveFile(const std::wstring&, std::wstring&, SaveFileType&) override { return false; }
  void OpenLink(const std::wstring&) override {}

  std::vector<std::pair<uint32_t, uint32_t>> timers;
  std::vector<uint32_t> killed;
  int fullRepaints = 0;
  int partialRepaints = 0;
};

}  // namespace tolvane
