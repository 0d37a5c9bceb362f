// A window host that records every request of the window state machine: the invalidated device
// rectangles and full repaints, the running timers, the cursor, the icons, the z-order, focus,
// show commands, drags, dialogs (open, save, colour) and links. The client size and IsZoomed are
// set by the test.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "ui/window_host.h"

namespace tolvane {

class FakeWindowHost final : public WindowHost {
 public:
  void Invalidate(const DeviceRect& r) override { rects.push_back(r); }
  void InvalidateAll() override { ++fullRepaints; }
  void SetTimer(uint32_t id, uint32_t periodMs) override {
    timers[id] = periodMs;
    timerLog.push_back("set " + std::to_string(id));
  }
  void KillTimer(uint32_t id) override {
    timers.erase(id);
    timerLog.push_back("kill " + std::to_string(id));
  }
  void SetCursor(CursorShape shape) override {
    cursor = shape;
    ++cursorSets;
  }
  void TrackMouseLeave() override { ++leaveTracks; }
  int32_t ClientWidth() override { return clientWidth; }
  int32_t ClientHeight() override { return clientHeight; }
  void SetWindowIcons(const std::vector<uint32_t>& big32, const std::vector<uint32_t>& small16) override {
    iconCalls.push_back({big32, small16});
  }
  void ApplyTopmost(bool on) override { topmost.push_back(on); }
  void PostDeferredStart() override { ++deferredPosts; }
  void SetFocus() override { ++focusCalls; }
  void DestroyWindow() override { ++destroyCalls; }
  void ShowWindow(WindowShow show) override {
    shows.push_back(show);
    if (show == WindowShow::Maximize) zoomed = true;
    if (show == WindowShow::Restore) zoomed = false;
  }
  bool IsZoomed() override { return zoomed; }
  void BeginDrag() override { ++drags; }
  bool ChooseColour(uint32_t startRgb, uint32_t& chosenRgb) override {
    colourStarts.push_back(startRgb);
    if (!colourAnswer) return false;
    chosenRgb = *colourAnswer;
    return true;
  }
  bool ChooseFile(FileDialogKind kind, std::wstring& path) override {
    fileKinds.push_back(kind);
    if (fileAnswer.empty()) return false;
    path = fileAnswer;
    return true;
  }
  bool ChooseSaveFile(const std::wstring& suggestedName, std::wstring& path, SaveFileType& type) override {
    saveSuggestions.push_back(suggestedName);
    if (saveAnswer.empty()) return false;
    path = saveAnswer;
    type = saveType;
    return true;
  }
  void OpenLink(const std::wstring& link) override { links.push_back(link); }

  // Forgets the invalidations so far.
  void ClearPaints() {
    rects.clear();
    fullRepaints = 0;
  }

  struct Icons {
    std::vector<uint32_t> big32, small16;
  };

  int32_t clientWidth = 1360, clientHeight = 880;
  bool zoomed = false;
  std::vector<DeviceRect> rects;
  int32_t fullRepaints = 0;
  std::map<uint32_t, uint32_t> timers;  // running timers: id -> period
  std::vector<std::string> timerLog;
  CursorShape cursor = CursorShape::Arrow;
  int32_t cursorSets = 0;
  int32_t leaveTracks = 0;
  std::vector<Icons> iconCalls;
  std::vector<bool> topmost;
  int32_t deferredPosts = 0;
  int32_t focusCalls = 0;
  int32_t destroyCalls = 0;
  std::vector<WindowShow> shows;
  int32_t drags = 0;
  std::optional<uint32_t> colourAnswer;  // none: the colour dialog is cancelled
  std::vector<uint32_t> colourStarts;
  std::wstring fileAnswer;  // empty: the file dialog is cancelled
  std::vector<FileDialogKind> fileKinds;
  std::wstring saveAnswer;  // empty: the save dialog is cancelled
  SaveFileType saveType = SaveFileType::Csv;
  std::vector<std::wstring> saveSuggestions;
  std::vector<std::wstring> links;
};

}  // namespace tolvane
