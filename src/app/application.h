// Application: the single owner of the process-wide state (settings, theme palettes, capture table,
// traffic meter, published rows, call prefixes, call list and call servers, latency book, lookup
// cache) and of the four worker threads. The window procedure calls OnCreate when the main window is
// created and OnDestroy when it is destroyed; in between the workers publish under their own locks
// and the main thread reads.
//
// The operating-system services come in through PlatformServices, so the object builds and runs on
// the host with fakes; the Windows entry point passes the real ones.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "app/startup.h"
#include "appearance/theme.h"
#include "capture/call_list.h"
#include "capture/call_prefix.h"
#include "capture/call_servers.h"
#include "capture/packet_capture.h"
#include "clipboard/copy_feedback.h"
#include "latency/latency_book.h"
#include "latency/ping_service.h"
#include "lookup/lookup_current.h"
#include "lookup/lookup_service.h"
#include "lookup/lookup_target.h"
#include "lookup/map_tiles.h"
#include "monitor/capture_table.h"
#include "monitor/published_rows.h"
#include "monitor/refresh.h"
#include "monitor/snapshot.h"
#include "monitor/traffic.h"
#include "monitor/view.h"
#include "platform/clipboard.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/http.h"
#include "platform/icmp.h"
#include "platform/image_decoding.h"
#include "platform/name_resolution.h"
#include "platform/process_list.h"
#include "platform/raw_capture.h"
#include "platform/socket_tables.h"
#include "settings/settings.h"

namespace tolvane {

struct PlatformServices {
  Clock& clock;
  FileSystem& files;
  SocketTables& socketTables;
  ProcessList& processList;
  RawCapture& rawCapture;
  Icmp& icmp;
  HttpClient& http;
  ImageDecoder& imageDecoder;
  ClipboardService& clipboard;
};

struct BackgroundGradient {
  std::vector<uint32_t> colours;  // ARGB, 2 to 8 colours in order
  int32_t direction = 1;          // 0 horizontal, 1 diagonal, 2 vertical
};

class Application {
 public:
  Application(const CommandLineState& commandLine, const PlatformServices& services);
  ~Application();
  Application(const Application&) = delete;
  Application& operator=(const Application&) = delete;

  // Window creation: loads the settings and the call-server history, derives the palettes and starts the refresh, ping,
  // capture and lookup threads, in that order. The window calls the two halves itself, with its own steps (fonts,
  // always-on-top) between them.
  void OnCreate();
  void LoadSettingsAndPalettes();
  void StartWorkers();
  // Window destruction: clears AppRunning, joins the workers in start order, saves the settings and
  // the call-server history.
  // The window calls the two halves itself, stopping its timers and media between them.
  void OnDestroy();
  // AppRunning := false and the HTTP client cancelled: the workers leave their loops. The window
  // calls it as soon as a close is asked for, so they stop while the system takes the window down.
  void BeginShutdown();
  // The lookup worker is joined only if it ends within kLookupStopGraceMs of BeginShutdown; a
  // request that the HTTP stack cannot cancel is left running, and WorkerLeftRunning() tells the
  // entry point to end the process after the save instead of waiting for it.
  void JoinWorkersAndSave();
  // The same without the save: the console export reads the settings and never writes them.
  void JoinWorkers();
  bool WorkerLeftRunning() const { return workerLeftRunning_; }
  static constexpr uint32_t kLookupStopGraceMs = 500;

  // Builds the lookup commands once the window can take the resolver threads' answers: the window
  // calls this at creation, before any lookup is opened. Until then lookupCommands() is null. The
  // commands show their messages on the copy-feedback toast, set the ping focus and ask for pings
  // through the ping service, and save the settings file after a recent lookup was added.
  void AttachLookupPoster(std::shared_ptr<NameResolver> resolver, std::shared_ptr<LookupPoster> poster);
  LookupCommands* lookupCommands() { return lookupCommands_.get(); }

  // The background gradient of the active theme.
  BackgroundGradient ActiveBackground() const;

  const CommandLineState& commandLine() const { return commandLine_; }
  std::atomic<bool>& appRunning() { return appRunning_; }
  Clock& clock() { return services_.clock; }
  FileSystem& files() { return services_.files; }
  Settings& settings() { return settings_; }
  ThemeEngine& themes() { return themes_; }
  PublishedRows& publishedRows() { return publishedRows_; }
  RefreshControl& refreshControl() { return refreshControl_; }
  CallPrefixList& callPrefixes() { return callPrefixes_; }
  CallList& callList() { return callList_; }
  CallServers& callServers() { return callServers_; }
  CopyFeedback& copyFeedback() { return copyFeedback_; }
  LatencyBook& latencyBook() { return latencyBook_; }
  PingService& pingService() { return ping_; }
  PacketCapture& packetCapture() { return capture_; }
  LookupCache& lookupCache() { return lookupCache_; }
  CurrentLookup& currentLookup() { return currentLookup_; }
  ConnectionView& connectionView() { return view_; }
  const TrafficMeter& trafficMeter() const { return trafficMeter_; }
  ViewInputs& viewInputs() { return viewInputs_; }

 private:
  CommandLineState commandLine_;
  PlatformServices services_;
  std::atomic<bool> appRunning_{true};
  bool created_ = false;
  bool workerLeftRunning_ = false;
  bool stopping_ = false;
  uint64_t stopStartMs_ = 0;  // clock time of the first BeginShutdown

  Settings settings_ = MakeDefaultSettings();
  ThemeEngine themes_{settings_};
  CallPrefixList callPrefixes_;
  CaptureTable captureTable_;
  PublishedRows publishedRows_;
  RefreshControl refreshControl_;
  CallList callList_{settings_, callPrefixes_, services_.clock};
  CopyFeedback copyFeedback_{services_.clipboard, services_.clock};
  LatencyBook latencyBook_;
  CurrentLookup currentLookup_;
  LookupCache lookupCache_;
  TileCache tileCache_;
  MapSources mapSources_;
  ViewInputs viewInputs_;
  CallServers callServers_;

  Snapshotter snapshotter_;
  TrafficMeter trafficMeter_;
  RefreshThread refresh_;
  PingService ping_;
  PacketCapture capture_;
  LookupWorker lookupWorker_;
  ConnectionView view_;
  std::unique_ptr<LookupCommands> lookupCommands_;  // refers to the members above, so declared last
};

}  // namespace tolvane
