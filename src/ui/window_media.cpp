// The window's media bundle: the order of the start-up and shutdown steps lives here.
#include "ui/window_media.h"

namespace tolvane {
namespace {

// "\\host\share\..." or "//host/share/...": opening it talks to that host.
bool IsNetworkPath(const std::wstring& path) {
  auto slash = [](wchar_t c) { return c == L'\\' || c == L'/'; };
  return path.size() >= 2 && slash(path[0]) && slash(path[1]);
}

}  // namespace

MediaPlatform SystemMediaPlatform() {
  return MediaPlatform{SystemPictureDecoder(), SystemVideoDecoding(), SystemSoundCommands()};
}

WindowMedia::WindowMedia(Application& app, AppState& state, GraphicsFactory& graphics, const MediaPlatform& platform)
    : app_(app),
      state_(state),
      medium_(app.settings(), state.windowVisible,
              MediaServices{app.clock(), app.files(), platform.pictures, platform.video, graphics}),
      sounds_(app.settings(), platform.sound, app.files(), app.clock()),
      loadingScreen_(state, app.settings(), sounds_, app.copyFeedback().toast(), app.clock()) {}

void WindowMedia::OnCreate(WindowHost& host) {
  state_.splashActive = false;
  if (app_.settings().splash && !app_.commandLine().benchMode) loadingScreen_.StartSplash(host);
}

void WindowMedia::OnDeferredStart() {
  LoadSplashImage();
  medium_.LoadBackgroundMedia();
  if (!app_.settings().bgSound.empty()) {
    const std::wstring error = sounds_.StartBackgroundSound();
    if (!error.empty()) app_.copyFeedback().ShowToast(error);
  }
}

void WindowMedia::OnDestroy() {
  if (sounds_.loadingOpen()) sounds_.StopLoadingSound();
  if (sounds_.backgroundOpen()) sounds_.StopBackgroundSound();
  medium_.StopVideo();
  medium_.UnloadPicture();
}

bool WindowMedia::LoadSplashImage() {
  typedSplash_.pending = false;
  return medium_.LoadSplashImage(kSplashPictureBox * state_.uiScale);
}

void WindowMedia::LoadBackgroundMedia() {
  typedBackground_.pending = false;
  medium_.LoadBackgroundMedia();
}

void WindowMedia::PathTyped(TextFieldId id) {
  if (id != TextFieldId::kBgPath && id != TextFieldId::kSplashImage) return;
  Typed(id) = TypedPath{true, app_.clock().TickMs()};
}

void WindowMedia::LoadField(TextFieldId id) {
  if (id == TextFieldId::kBgPath) {
    LoadBackgroundMedia();
  } else {
    LoadSplashImage();
  }
}

bool WindowMedia::LoadRestingPaths(int32_t focusedField) {
  const uint64_t now = app_.clock().TickMs();
  const Settings& settings = app_.settings();
  bool loaded = false;
  for (TextFieldId id : {TextFieldId::kBgPath, TextFieldId::kSplashImage}) {
    const TypedPath& typed = Typed(id);
    if (!typed.pending || IsNetworkPath(id == TextFieldId::kBgPath ? settings.bgPath : settings.splashImage)) continue;
    if (focusedField == static_cast<int32_t>(id) && now - typed.typedAt < kTypingRestMs) continue;
    LoadField(id);
    loaded = true;
  }
  return loaded;
}

bool WindowMedia::LoadTypedPath(TextFieldId id) {
  if (id != TextFieldId::kBgPath && id != TextFieldId::kSplashImage) return false;
  LoadField(id);
  return true;
}

void WindowMedia::DrawMedium(DrawContext& dc, int32_t W, int32_t H) {
  medium_.DrawBackgroundMedia(dc.canvas, static_cast<float>(W), static_cast<float>(H), dc.palette.dark);
}

void WindowMedia::PaintLoadingScreen(DrawContext& dc, int32_t W, int32_t H) {
  PaintSplash(dc, app_.settings(), medium_.SplashImage(), app_.clock().MonotonicNs() - state_.splashStart,
              static_cast<float>(W), static_cast<float>(H));
}

BackgroundMedium WindowMedia::PaintMedium() {
  BackgroundMedium medium;
  medium.loaded = MediumLoaded();
  medium.animated = MediumAnimated();
  medium.mediaRevision = MediaRevision();
  medium.videoFrameCounter = VideoFrameCounter();
  medium.draw = [this](DrawContext& dc, int32_t W, int32_t H) { DrawMedium(dc, W, H); };
  return medium;
}

void WindowMedia::AddPainters(PanelPainters& panels) {
  panels.loadingScreen = [this](DrawContext& dc, AppState&, int32_t W, int32_t H) { PaintLoadingScreen(dc, W, H); };
}

}  // namespace tolvane
