// WindowMedia: the window's background medium, its two sounds and its loading screen in one object,
// so the window state machine owns them with one member and calls them at its fixed points:
//
//   creation         OnCreate (the loading screen unless switched off or benchmarking)
//   deferred start   OnDeferredStart (loading-screen picture, medium, background sound)
//   media tick       KeepBackgroundLooping, then AdvanceAnimation while the window is visible
//   splash tick      loadingScreen().SplashTick
//   key or click     loadingScreen().EndSplash while the loading screen shows
//   painting         DrawMedium inside the background layer, PaintLoadingScreen for that face;
//                    the layer's cache key takes MediaRevision and VideoFrameCounter
//   settings         the media and sound effects of SettingsEffects; a typed media path through
//                    PathTyped, loaded by LoadRestingPaths on the UI tick or LoadTypedPath at Enter
//   shutdown         OnDestroy (sounds, video thread, picture)
//
// The operating-system services come in through MediaPlatform (the real ones by default), the rest
// from the Application. Main thread only; the video thread stays inside BackgroundMedia.
#pragma once

#include <cstdint>
#include <string>

#include "app/application.h"
#include "appearance/draw.h"
#include "appearance/media.h"
#include "appearance/sounds.h"
#include "appearance/splash.h"
#include "platform/canvas.h"
#include "platform/image_decoding.h"
#include "platform/sound.h"
#include "platform/video.h"
#include "settings/settings_editing.h"
#include "ui/app_state.h"
#include "ui/paint_window.h"
#include "ui/window_host.h"

namespace tolvane {

struct MediaPlatform {
  PictureDecoder& pictures;
  VideoDecoding& video;
  SoundCommands& sound;
};

// The process's picture decoder, video decoding and MCI.
MediaPlatform SystemMediaPlatform();

class WindowMedia {
 public:
  WindowMedia(Application& app, AppState& state, GraphicsFactory& graphics, const MediaPlatform& platform);
  WindowMedia(const WindowMedia&) = delete;
  WindowMedia& operator=(const WindowMedia&) = delete;

  // Window creation: shows the loading screen when the splash setting is on and --bench is not.
  void OnCreate(WindowHost& host);
  // WM_DEFERRED_START: the loading-screen picture, the medium and, when bgSound is set, the
  // background sound, whose error becomes a toast.
  void OnDeferredStart();
  // WM_DESTROY: stops the open sounds, the video thread and drops the picture.
  void OnDestroy();

  void KeepBackgroundLooping() { sounds_.KeepBackgroundLooping(); }
  bool AdvanceAnimation() { return medium_.AdvanceAnimation(); }
  // True while the media tick has work here: a background sound to keep looping, or (while the
  // window is visible) a GIF or video that moves or may still change.
  bool MediaTickHasWork(bool windowVisible) const {
    return sounds_.backgroundOpen() || (windowVisible && medium_.Animating());
  }

  // For the background layer and its cache key.
  bool MediumLoaded() const { return medium_.kind() != MediaKind::None; }
  bool MediumAnimated() const { return medium_.kind() == MediaKind::AnimatedGif || medium_.kind() == MediaKind::Video; }
  uint64_t MediaRevision() const { return medium_.MediaRevision(); }
  uint64_t VideoFrameCounter() const { return medium_.VideoFrameCounter(); }
  // The medium over the gradient already drawn, dimmed for the palette (dark or light).
  void DrawMedium(DrawContext& dc, int32_t W, int32_t H);
  // The loading screen's face over the background layer.
  void PaintLoadingScreen(DrawContext& dc, int32_t W, int32_t H);
  // What one paint of the compositor takes from here: the medium's part of the background layer
  // and its key, and the loading screen's painter. Both refer to this object.
  BackgroundMedium PaintMedium();
  void AddPainters(PanelPainters& panels);

  // The settings panel's effects.
  // True when a loading-screen picture is loaded now (the settings panel reports a failure).
  bool LoadSplashImage();
  void LoadBackgroundMedia();

  // Typing in the background-file or loading-picture field. A path is loaded once typing rests
  // (kTypingRestMs after the last change) or its field has lost focus, never at every character: a
  // half-typed path would reload a video or read a huge file per keystroke. A network path
  // ("\\host\..." or "//host/...") is loaded only at Enter or from the file dialog, so typing one
  // never reaches out to that host. Each explicit load (dialog, clear, reset) ends the wait.
  static constexpr uint64_t kTypingRestMs = 500;
  void PathTyped(TextFieldId id);
  // The UI tick: loads the typed paths that are due; true when one was loaded.
  bool LoadRestingPaths(int32_t focusedField);
  // Enter in a field: a media path field is loaded now (a network path too); false for other fields.
  bool LoadTypedPath(TextFieldId id);
  void BumpMediaRevision() { medium_.BumpMediaRevision(); }
  bool BackgroundSoundPlaying() const { return sounds_.backgroundOpen(); }
  std::wstring StartBackgroundSound() { return sounds_.StartBackgroundSound(); }
  void StopBackgroundSound() { sounds_.StopBackgroundSound(); }
  void ApplyBackgroundVolume() { sounds_.ApplyBackgroundVolume(); }
  bool LoadingSoundPlaying() const { return sounds_.loadingOpen(); }
  void StopLoadingSound() { sounds_.StopLoadingSound(); }

  BackgroundMedia& medium() { return medium_; }
  Sounds& sounds() { return sounds_; }
  LoadingScreen& loadingScreen() { return loadingScreen_; }

 private:
  struct TypedPath {
    bool pending = false;
    uint64_t typedAt = 0;
  };
  TypedPath& Typed(TextFieldId id) { return id == TextFieldId::kBgPath ? typedBackground_ : typedSplash_; }
  void LoadField(TextFieldId id);

  Application& app_;
  AppState& state_;
  TypedPath typedBackground_;
  TypedPath typedSplash_;
  BackgroundMedia medium_;
  Sounds sounds_;
  LoadingScreen loadingScreen_;
};

}  // namespace tolvane
