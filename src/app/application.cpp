#include "app/application.h"

#include "platform/sound.h"
#include "settings/settings_file.h"

namespace tolvane {
namespace {

std::wstring TileBaseOf(const CommandLineState& commandLine) {
  return commandLine.tileBase.empty() ? std::wstring(kDefaultTileBase) : commandLine.tileBase;
}

}  // namespace

Application::Application(const CommandLineState& commandLine, const PlatformServices& services)
    : commandLine_(commandLine),
      services_(services),
      tileCache_(services.files, services.clock, TileBaseOf(commandLine)),
      mapSources_{services.http, services.imageDecoder, TileBaseOf(commandLine), &tileCache_},
      callServers_(settings_, callList_, lookupCache_, latencyBook_, services.files, services.clock,
                   copyFeedback_.toast(), commandLine.demoMode, [] { PlayNotificationSound(); }),
      snapshotter_(settings_, captureTable_, services.socketTables, services.processList, services.clock,
                   commandLine.demoMode),
      trafficMeter_(captureTable_, commandLine.demoMode),
      refresh_(snapshotter_, publishedRows_, refreshControl_, settings_, services.clock, appRunning_, &trafficMeter_),
      ping_(settings_, publishedRows_, callPrefixes_, latencyBook_, services.icmp, services.clock, appRunning_,
            currentLookup_.panelOpen, commandLine.demoMode),
      capture_(settings_, captureTable_, services.rawCapture, services.clock, appRunning_),
      lookupWorker_(
          lookupCache_, services.http,
          [this](double lat, double lon, int zoom, float& markerX, float& markerY) {
            return BuildMap(mapSources_, lat, lon, zoom, markerX, markerY);
          },
          services.clock, appRunning_,
          commandLine.apiBase.empty() ? std::wstring(kDefaultApiBase) : commandLine.apiBase),
      view_(publishedRows_, callList_, latencyBook_, settings_, callPrefixes_, services.clock) {}

Application::~Application() { OnDestroy(); }

void Application::OnCreate() {
  if (created_) return;
  LoadSettingsAndPalettes();
  StartWorkers();
}

void Application::LoadSettingsAndPalettes() {
  LoadSettings(settings_, services_.files, callPrefixes_);
  callServers_.Load();
  themes_.InitPalettes();
}

void Application::StartWorkers() {
  if (created_) return;
  created_ = true;
  stopping_ = false;
  appRunning_.store(true);
  refresh_.Start();
  ping_.Start();
  capture_.Start();
  lookupWorker_.Start();
}

void Application::OnDestroy() {
  BeginShutdown();
  JoinWorkersAndSave();
}

void Application::BeginShutdown() {
  if (!created_ || stopping_) return;
  stopping_ = true;
  stopStartMs_ = services_.clock.TickMs();
  appRunning_.exchange(false);
  services_.http.Cancel();
}

void Application::JoinWorkersAndSave() {
  if (!created_) return;
  JoinWorkers();
  SaveSettings(settings_, services_.files);
  callServers_.SaveNow();
}

void Application::JoinWorkers() {
  if (!created_) return;
  BeginShutdown();  // nothing new when it ran first
  created_ = false;
  refresh_.Join();
  ping_.Join();
  capture_.Join();
  const uint64_t stoppingFor = services_.clock.TickMs() - stopStartMs_;
  workerLeftRunning_ = !lookupWorker_.Stop(
      stoppingFor < kLookupStopGraceMs ? static_cast<uint32_t>(kLookupStopGraceMs - stoppingFor) : 0);
}

void Application::AttachLookupPoster(std::shared_ptr<NameResolver> resolver, std::shared_ptr<LookupPoster> poster) {
  LookupHooks hooks;
  hooks.requestPing = [this](const std::wstring& address) { ping_.RequestPing(address); };
  hooks.setPingFocus = [this](const std::wstring& address) { ping_.SetPingFocus(address); };
  hooks.saveSettings = [this] { SaveSettings(settings_, services_.files); };
  lookupCommands_ = std::make_unique<LookupCommands>(currentLookup_, lookupCache_, settings_, copyFeedback_.toast(),
                                                     std::move(resolver), std::move(poster), std::move(hooks));
}

BackgroundGradient Application::ActiveBackground() const {
  const ThemePalette& palette = themes_.ActivePalette();
  return BackgroundGradient{palette.gradient, palette.direction};
}

}  // namespace tolvane
