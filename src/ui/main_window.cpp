// The window state machine: lifecycle, timers, hover, cursor and the invalidation helpers. The
// input commands are in ui/commands.cpp.
//
// Repainting is kept to what changed, because a paint under Wine's software GDI+ is expensive: a
// mouse move invalidates only the slots and table rows whose hover changed, the once-a-second
// texts only the boxes of those that changed, the caret only the search box, a toast only its box.
#include "ui/main_window.h"

#include <algorithm>
#include <cmath>

#include "lookup/lookup_service.h"
#include "settings/settings_file.h"
#include "ui/commands.h"
#include "ui/main_view.h"
#include "ui/table_view.h"

namespace tolvane {
namespace {

constexpr int32_t kRowHeight = 28;
constexpr uint64_t kCopyFlashMs = 1600;

}  // namespace

MainWindow::MainWindow(Application& app, WindowHost& host, GraphicsFactory& graphics, const MediaPlatform& platform)
    : app_(app),
      host_(host),
      graphics_(graphics),
      editor_(app.settings(), app.themes(), app.copyFeedback().toast(), effects_),
      windowMedia_(app, state_, graphics, platform) {
  media_.keepBackgroundLooping = [this] { windowMedia_.KeepBackgroundLooping(); };
  media_.advanceAnimation = [this] { return windowMedia_.AdvanceAnimation(); };
}

MainWindow::~MainWindow() { OnDestroy(); }

// ---- Lifecycle ---------------------------------------------------------------------------------

void MainWindow::OnCreate(uintptr_t window, float uiScale) {
  if (created_) return;
  created_ = true;
  state_.window = window;
  state_.uiScale = uiScale < 1.0f ? 1.0f : uiScale;
  state_.splashStart = clock().MonotonicNs();
  app_.LoadSettingsAndPalettes();
  editor_.SyncCustomDelayText();
  fonts_.CreateUiFonts(graphics_);
  host_.ApplyTopmost(app_.settings().alwaysOnTop);
  app_.StartWorkers();
  host_.SetTimer(TIMER_UI, kTimerUiMs);
  UpdateMediaTimer();            // the window icons are still to be made
  windowMedia_.OnCreate(host_);  // the loading screen, unless switched off or benchmarking
  host_.PostDeferredStart();
}

void MainWindow::OnDeferredStart() {
  windowMedia_.OnDeferredStart();  // loading-screen picture, background medium and sound
  RebuildView();
  RebuildWindowIcons();
  UpdateMediaTimer();
  state_.fullRepaint = true;
  FullRepaint();
}

void MainWindow::OnDestroy() {
  if (!created_) return;
  created_ = false;
  app_.BeginShutdown();
  for (uint32_t id : {TIMER_UI, TIMER_SPLASH, TIMER_MEDIA, TIMER_ROWFADE}) host_.KillTimer(id);
  state_.rowFadeTimerOn = false;
  mediaTimerOn_ = false;
  windowMedia_.OnDestroy();      // the open sounds, the video thread, the picture
  host_.SetWindowIcons({}, {});  // destroys the two icons
  app_.JoinWorkersAndSave();
  mapImages_.Release();
  measure_.reset();
  fonts_.DestroyUiFonts();
  widths_.Clear();
}

void MainWindow::OnSize(bool minimized) {
  state_.fullRepaint = true;
  state_.windowVisible.exchange(!minimized);
  UpdateMediaTimer();
  FullRepaint();
}

void MainWindow::OnTimer(uint32_t id) {
  switch (id) {
    case TIMER_UI:
      UiTick();
      break;
    case TIMER_SPLASH:
      SplashTick();
      break;
    case TIMER_MEDIA:
      MediaTick();
      break;
    case TIMER_ROWFADE:
      FadeTick();
      break;
    default:
      break;
  }
}

void MainWindow::OnHostAnswer() {
  if (LookupOpen()) state_.settingsOpen = false;
  FullRepaint();
}

// ---- Timers ------------------------------------------------------------------------------------

void MainWindow::UiTick() {
  // A tick that finds nothing changed reads a few counters and the clock and returns: no lock, no
  // allocation, no invalidation. Everything that costs is behind one of those changes.
  bool repaint = false;
  const uint64_t now = clock().TickMs();
  const bool overlay = Overlay();
  const bool splash = state_.splashActive;
  const bool lookupOpen = LookupOpen();
  Settings& settings = app_.settings();
  RefreshControl& refresh = app_.refreshControl();

  // 1. The view follows new snapshots and ping samples. servedRequests is read before the counters
  // and before the rebuild copies the rows (see NoteViewRebuilt).
  const uint32_t served = refresh.servedRequests.load();
  const uint32_t snapshots = app_.publishedRows().snapshotCounter.load();
  const uint32_t pings = app_.latencyBook().SampleCounter();
  if (ShouldRebuildView(state_.pickup, settings.autoRefresh, state_.capturePaused, refresh.viewDirty, snapshots,
                        pings)) {
    const bool pingChanged = state_.pickup.seenPingCount != static_cast<int64_t>(pings);
    const uint32_t bits = RebuildView();
    NoteViewRebuilt(state_.pickup, refresh, served, snapshots, pings);
    if (!overlay && !splash) {
      if (bits & ConnectionView::kRowsChanged) {
        repaint = true;
      } else {
        if (bits & ConnectionView::kCallsChanged) InvalidateLogical(24, 64, 100000, 220);  // the call panel
        if (bits & ConnectionView::kCallLinesChanged) {
          const auto n = static_cast<int32_t>(std::min<size_t>(4, app_.callList().Entries().size()));
          for (int32_t i = 0; i < n; ++i) InvalidateBox(CallCardLineBox(LogicalWidth(), n, i));
        }
        if (bits & ConnectionView::kMetersChanged) {
          // New samples or traffic: the rows' meter cells (traffic, latency, sparkline), the selected
          // row's route and the median, now as a full repaint would; the rest of the view is as it
          // was, the rows' other cells and the column labels among it.
          const int32_t w = LogicalWidth(), h = LogicalHeight();
          const HitRect& table = state_.hits[Slot::TableArea];
          if (table.present) {
            InvalidateLogical(static_cast<int32_t>(std::floor(MeterCellsLeft(w))), table.top,
                              static_cast<int32_t>(std::ceil(MeterCellsRight(w))), table.bottom);
          }
          if (app_.viewInputs().selectedRow >= 0) InvalidateLogical(45, h - 64, w - 425, h - 25);
          RepaintChangedTexts();
        }
      }
    } else if (lookupOpen && pingChanged) {
      repaint = true;  // the lookup panel's live ping graph
    }
  }

  // 1b. The call servers: places that came in, the history, a move of the voice server.
  const uint32_t serverChanges = app_.callServers().Tick(settings.autoRefresh && !state_.capturePaused);
  if ((serverChanges & CallServers::kPlacesChanged) && !overlay && !splash) InvalidateLogical(24, 64, 100000, 220);
  if ((serverChanges & CallServers::kHistoryChanged) && state_.historyOpen && !splash) repaint = true;

  // 2. A call IP waiting to be copied automatically (also behind a panel).
  if (app_.callList().RunPendingAutoCopy(app_.copyFeedback(), state_.window)) repaint = true;

  // 3. Once a second: the stat cards' and the status line's texts whose value changed (counts, the
  // time since the last capture).
  const int64_t second = static_cast<int64_t>(now / 1000);
  if (second != state_.lastSecond) {
    state_.lastSecond = second;
    if (!overlay && !splash) RepaintChangedTexts();
  }

  // 4. The "Copied ✓" labels turn back once the marker's time is over.
  const uint64_t copiedAt = app_.copyFeedback().lastCopiedAt();
  if (copiedAt != 0 && now >= copiedAt && now - copiedAt < kCopyFlashMs) {
    state_.copyFlashOn = true;
  } else if (state_.copyFlashOn) {
    state_.copyFlashOn = false;
    repaint = true;
  }

  // 5. The toast: its box when one is set, and again when its time is up, also behind a panel.
  Toast& toast = app_.copyFeedback().toast();
  if (toast.serial() != toastSerial_) {
    toastSerial_ = toast.serial();
    InvalidateToast();  // the box of the toast it replaces
    toastBox_ = toast.text().empty() ? HitRect{} : ToastBoxNow();
    InvalidateToast();
  } else if (toastBox_.present && !toast.Visible()) {
    InvalidateToast();
    toastBox_.present = false;
  }

  // 6. Caret blink.
  const int32_t phase = static_cast<int32_t>((now / 500) % 2);
  if (phase != state_.caretPhase) {
    state_.caretPhase = phase;
    if (editor_.focusedField < 0) {
      if (state_.searchFocused && !overlay) InvalidateHitRect(Slot::SearchBox);
    } else if (overlay) {
      repaint = true;
    } else if (state_.searchFocused) {
      InvalidateHitRect(Slot::SearchBox);
    }
  }

  // 7. The lookup panel's progress animation, while its record is being filled. The record is looked
  // at only after the cache changed.
  if (lookupOpen && !app_.currentLookup().address.empty()) {
    const uint64_t revision = app_.lookupCache().Revision();
    if (revision != lookupRevision_) {
      lookupRevision_ = revision;
      lookupBusy_ = app_.lookupCache().InProgress(app_.currentLookup().address);
    }
    if (lookupBusy_) repaint = true;
  }

  // 8. A typed background or loading-screen path whose typing has rested.
  if (windowMedia_.LoadRestingPaths(editor_.focusedField)) {
    UpdateMediaTimer();
    repaint = true;
  }

  // 9. New rows fade in.
  if (now < app_.viewInputs().animateUntil && !state_.rowFadeTimerOn) {
    host_.SetTimer(TIMER_ROWFADE, kTimerRowFadeMs);
    state_.rowFadeTimerOn = true;
  }

  if (repaint) FullRepaint();
}

void MainWindow::RepaintChangedTexts() {
  const MainViewSources sources = MainViewSourcesOf(app_);
  ClockedTexts texts = ClockedTextsOf(sources, state_.capturePaused, app_.settings().enablePing);
  const int32_t w = LogicalWidth(), h = LogicalHeight();
  for (size_t i = 0; i < 4; ++i) {
    const auto card = static_cast<int32_t>(i);
    if (texts.cardValue[i] != shownTexts_.cardValue[i]) InvalidateBox(StatCardValueBox(w, card));
    if (texts.cardSub[i] != shownTexts_.cardSub[i]) InvalidateBox(StatCardSubBox(w, card));
  }
  if (texts.statusLine != shownTexts_.statusLine) InvalidateBox(StatusLineBox(w, h));
  shownTexts_ = std::move(texts);
}

HitRect MainWindow::ToastBoxNow() {
  const int32_t w = LogicalWidth(), h = LogicalHeight();
  HitRect box;
  if (!measure_) measure_ = graphics_.CreateSurface(1, 1);
  if (!measure_) {
    box.Set(36, h - 74, w - 24, h - 40);  // nothing to measure with: wherever a toast can be
    return box;
  }
  // The paint's own width cache: the painter finds this measurement and draws the same box.
  DrawContext dc{measure_->NewCanvas(), app_.themes().ActivePalette(), fonts_, widths_};
  const RectF r = ToastBox(dc, app_.copyFeedback().toast(), w, h);
  box.Set(static_cast<int32_t>(std::floor(r.x)), static_cast<int32_t>(std::floor(r.y)),
          static_cast<int32_t>(std::ceil(r.Right())), static_cast<int32_t>(std::ceil(r.Bottom())));
  return box;
}

void MainWindow::InvalidateToast() {
  if (toastBox_.present) InvalidateLogical(toastBox_.left, toastBox_.top, toastBox_.right, toastBox_.bottom);
}

void MainWindow::FadeTick() {
  if (!Overlay() && !state_.splashActive) InvalidateHitRect(Slot::TableArea);
  if (clock().TickMs() >= app_.viewInputs().animateUntil) {
    host_.KillTimer(TIMER_ROWFADE);
    state_.rowFadeTimerOn = false;
  }
}

void MainWindow::MediaTick() {
  const ThemeEngine& themes = app_.themes();
  if (state_.iconTheme != app_.settings().theme.load() ||
      state_.iconThemeRevision != static_cast<int64_t>(themes.ThemeRevision()))
    RebuildWindowIcons();
  if (media_.keepBackgroundLooping) media_.keepBackgroundLooping();
  // Minimized: no frame is worth a paint.
  if (state_.windowVisible.load() && media_.advanceAnimation && media_.advanceAnimation()) FullRepaint();
  UpdateMediaTimer();
}

void MainWindow::UpdateMediaTimer() {
  const bool iconsWait = state_.iconTheme != app_.settings().theme.load() ||
                         state_.iconThemeRevision != static_cast<int64_t>(app_.themes().ThemeRevision());
  const bool work = iconsWait || windowMedia_.MediaTickHasWork(state_.windowVisible.load());
  if (work == mediaTimerOn_) return;
  mediaTimerOn_ = work;
  if (work) {
    host_.SetTimer(TIMER_MEDIA, kTimerMediaMs);
  } else {
    host_.KillTimer(TIMER_MEDIA);
  }
}

void MainWindow::SplashTick() { windowMedia_.loadingScreen().SplashTick(host_); }

void MainWindow::StartSplash() { windowMedia_.loadingScreen().StartSplash(host_); }

void MainWindow::EndSplash() { windowMedia_.loadingScreen().EndSplash(host_); }

void MainWindow::RebuildWindowIcons() {
  state_.iconTheme = app_.settings().theme.load();
  state_.iconThemeRevision = static_cast<int64_t>(app_.themes().ThemeRevision());
  std::unique_ptr<Surface> big = graphics_.CreateSurface(32, 32);
  std::unique_ptr<Surface> small = graphics_.CreateSurface(16, 16);
  if (!big || !small) return;  // no drawing (the host build): the class icons stay
  const ThemePalette& palette = app_.themes().ActivePalette();
  auto draw = [&](Surface& surface, float size) {
    DrawContext dc{surface.NewCanvas(), palette, fonts_, widths_};
    LogoMark(dc, 1, 1, size);
    return surface.ReadPixels();
  };
  const std::vector<uint32_t> big32 = draw(*big, 30);
  const std::vector<uint32_t> small16 = draw(*small, 14);
  if (big32.size() != 32u * 32u || small16.size() != 16u * 16u) return;
  host_.SetWindowIcons(big32, small16);
}

// ---- Hover and cursor --------------------------------------------------------------------------

Face MainWindow::CurrentFace() const {
  if (state_.splashActive) return Face::LoadingScreen;
  if (LookupOpen()) return Face::LookupPanel;
  if (state_.historyOpen) return Face::HistoryPanel;
  if (state_.settingsOpen) return Face::SettingsPanel;
  return Face::MainView;
}

void MainWindow::OnMouseMove(int32_t deviceX, int32_t deviceY) {
  state_.mouseX = static_cast<int32_t>(static_cast<float>(deviceX) / state_.uiScale);
  state_.mouseY = static_cast<int32_t>(static_cast<float>(deviceY) / state_.uiScale);
  host_.TrackMouseLeave();
  const Face face = CurrentFace();
  const int32_t slot = HitTest(state_.hits, face, state_.mouseX, state_.mouseY);

  if (face == Face::SettingsPanel) {
    if (slot == state_.hoverRegion && state_.hoverRow == -1) return;
    state_.hoverRow = -1;
    state_.hoverRegion = slot;
    FullRepaint();
    return;
  }

  int32_t row = -1;
  const HitRect& table = state_.hits[Slot::TableArea];
  if (!Overlay() && table.Contains(state_.mouseX, state_.mouseY))
    row = (state_.mouseY - table.top) / kRowHeight + app_.viewInputs().scrollRow;
  if (slot == state_.hoverRegion && row == state_.hoverRow) return;

  if (!Overlay() && !state_.splashActive) {
    if (slot != state_.hoverRegion) {
      InvalidateHitRect(state_.hoverRegion);
      InvalidateHitRect(slot);
    }
    if (row != state_.hoverRow) {
      if (state_.hoverRow >= 0) InvalidateTableRow(state_.hoverRow);
      if (row >= 0) InvalidateTableRow(row);
    }
  } else {
    FullRepaint();
  }
  state_.hoverRegion = slot;
  state_.hoverRow = row;
}

void MainWindow::OnMouseLeave() {
  if (!Overlay() && !state_.splashActive) {
    InvalidateHitRect(state_.hoverRegion);
    if (state_.hoverRow >= 0) InvalidateTableRow(state_.hoverRow);
  } else {
    FullRepaint();
  }
  state_.hoverRow = -2;
  state_.mouseX = state_.mouseY = -1;
  state_.hoverRegion = Slot::None;
}

void MainWindow::OnSetCursor() {
  const Face face = CurrentFace();
  if (face == Face::LoadingScreen) {
    host_.SetCursor(CursorShape::Arrow);
    return;
  }
  if (!Overlay() && state_.hits[Slot::TableArea].Contains(state_.mouseX, state_.mouseY)) {
    host_.SetCursor(CursorShape::Hand);
    return;
  }
  const int32_t slot = HitTest(state_.hits, face, state_.mouseX, state_.mouseY);
  if (slot >= Slot::TextField && slot < Slot::TextField + kTextFieldCount) {
    host_.SetCursor(CursorShape::IBeam);
  } else {
    host_.SetCursor(slot == Slot::None ? CursorShape::Arrow : CursorShape::Hand);
  }
}

// ---- Invalidation and the shared operations ----------------------------------------------------

int32_t MainWindow::LogicalWidth() {
  return static_cast<int32_t>(static_cast<float>(host_.ClientWidth()) / state_.uiScale);
}
int32_t MainWindow::LogicalHeight() {
  return static_cast<int32_t>(static_cast<float>(host_.ClientHeight()) / state_.uiScale);
}

void MainWindow::InvalidateLogical(int32_t left, int32_t top, int32_t right, int32_t bottom) {
  const double s = state_.uiScale;
  DeviceRect r;
  r.left = static_cast<int32_t>(std::floor((left - 3) * s));
  r.top = static_cast<int32_t>(std::floor((top - 3) * s));
  r.right = static_cast<int32_t>(std::ceil((right + 3) * s));
  r.bottom = static_cast<int32_t>(std::ceil((bottom + 3) * s));
  host_.Invalidate(r);
}

void MainWindow::InvalidateBox(const RectF& r) {
  InvalidateLogical(static_cast<int32_t>(std::floor(r.x)), static_cast<int32_t>(std::floor(r.y)),
                    static_cast<int32_t>(std::ceil(r.Right())), static_cast<int32_t>(std::ceil(r.Bottom())));
}

void MainWindow::InvalidateHitRect(int32_t slot) {
  if (slot < 0 || slot >= Slot::Count) return;
  const HitRect& r = state_.hits[slot];
  if (r.present) InvalidateLogical(r.left, r.top, r.right, r.bottom);
}

void MainWindow::InvalidateTableRow(int32_t row) {
  const HitRect& table = state_.hits[Slot::TableArea];
  const int32_t y = (row - app_.viewInputs().scrollRow) * kRowHeight + table.top;
  InvalidateLogical(table.left, y - 2, table.right, y + kRowHeight);
}

void MainWindow::SelectRow(int32_t index) {
  const auto& rows = app_.connectionView().ViewRows();
  if (index < 0 || static_cast<size_t>(index) >= rows.size()) return;
  ViewInputs& in = app_.viewInputs();
  in.selectedRow = index;
  app_.connectionView().SetSelectedRowKey(ViewRowKey(rows[static_cast<size_t>(index)]));
  if (index < in.scrollRow) {
    in.scrollRow = index;
  } else if (index >= in.scrollRow + state_.pageRows) {
    in.scrollRow = index - state_.pageRows + 1;
  }
  if (in.scrollRow < 0) in.scrollRow = 0;
}

void MainWindow::ShowLookupPanel() {
  app_.currentLookup().panelOpen.exchange(true);
  state_.settingsOpen = false;
  editor_.focusedField = static_cast<int32_t>(TextFieldId::kLookup);
  state_.searchFocused = false;
}

void MainWindow::ShowHistoryPanel() {
  app_.currentLookup().panelOpen.exchange(false);
  state_.settingsOpen = false;
  state_.searchFocused = false;
  editor_.focusedField = kNoField;
  state_.historyOpen = true;
  state_.historyScroll = 0;
}

void MainWindow::NoteLookupOpened() {
  if (LookupOpen()) state_.settingsOpen = false;
}

void MainWindow::RequestRefreshNow() { tolvane::RequestRefreshNow(app_.refreshControl()); }

uint32_t MainWindow::RebuildView() { return app_.connectionView().RebuildView(app_.viewInputs()); }

// ---- Settings effects --------------------------------------------------------------------------

void MainWindow::Effects::SaveSettings() {
  tolvane::SaveSettings(w_.app_.settings(), w_.app_.files());
  w_.UpdateMediaTimer();  // every change of theme is saved: the window icons may wait
}

void MainWindow::Effects::RebuildPrefixList() { w_.app_.callPrefixes().RebuildPrefixList(w_.app_.settings().prefixes); }

void MainWindow::Effects::ClearViewInputs() {
  ViewInputs& in = w_.app_.viewInputs();
  in.searchText.clear();
  in.protocolFilter = 0;
  in.categoryFilter = 0;
}

void MainWindow::Effects::ForceFullRedraw() {
  w_.state_.fullRepaint = true;
  w_.FullRepaint();
  w_.UpdateMediaTimer();
}

}  // namespace tolvane
