// The window state machine on fakes: an application whose services are fakes and whose clock moves
// only by hand, a recording window host and a recording graphics factory. The workers are not
// started (their loops would spin on the fake clock); tests publish snapshots and ping samples
// themselves, as the workers would.
#pragma once

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "app/application.h"
#include "fakes/fake_application_services.h"
#include "fakes/fake_clock.h"
#include "fakes/fake_window_host.h"
#include "fakes/recording_canvas.h"
#include "ui/main_window.h"

namespace tolvane {

inline constexpr uintptr_t kTestWindow = 77;

inline void PrintTo(const DeviceRect& r, std::ostream* os) {
  *os << "(" << r.left << "," << r.top << ")-(" << r.right << "," << r.bottom << ")";
}

inline ConnectionRow MakeRow(std::wstring process, std::wstring protocol, std::wstring address, int32_t port,
                             std::wstring category = L"browser", uint64_t packets = 0, uint32_t pid = 100) {
  ConnectionRow row;
  row.processName = std::move(process);
  row.pid = pid;
  row.protocol = std::move(protocol);
  row.localPort = 50000 + port % 1000;
  row.localEndpoint = L"10.0.0.2:" + std::to_wstring(row.localPort);
  row.remoteAddress = std::move(address);
  row.remotePort = port;
  row.remoteEndpoint = row.remoteAddress.find(L':') != std::wstring::npos
                           ? L"[" + row.remoteAddress + L"]:" + std::to_wstring(port)
                           : row.remoteAddress + L":" + std::to_wstring(port);
  row.state = L"ACTIVE";
  row.category = std::move(category);
  row.role = L"Web";
  row.packets = packets;
  row.ageMs = packets > 0 ? 100 : -1;
  return row;
}

// A Discord voice row whose address is a call IP (the default prefixes "104,3").
inline ConnectionRow CallRow(std::wstring address, uint64_t packets) {
  ConnectionRow row = MakeRow(L"Discord.exe", L"UDP4", std::move(address), 50001, L"discord", packets, 4242);
  row.role = L"Discord Voice Call";
  return row;
}

class WindowFixture : public testing::Test {
 protected:
  WindowFixture() {
    window.state().window = kTestWindow;
    window.state().splashActive = false;  // as creation leaves it
    app.callPrefixes().RebuildPrefixList(app.settings().prefixes);
  }

  PlatformServices Services() {
    return PlatformServices{clock,      fakes.files, fakes.socketTables, fakes.processList, fakes.rawCapture,
                            fakes.icmp, fakes.http,  fakes.imageDecoder, fakes.clipboard};
  }

  // What the refresh thread does: swap the rows in and count the snapshot. fresh: the snapshot was
  // begun after every refresh request so far.
  void Publish(RowList rows, bool fresh = true) {
    RefreshControl& control = app.refreshControl();
    if (fresh) control.servedRequests.store(control.requests.load());
    {
      std::lock_guard<std::mutex> guard(app.publishedRows().lock);
      app.publishedRows().rows = std::move(rows);
    }
    app.publishedRows().snapshotCounter.fetch_add(1);
  }

  // Publishes and runs one UI tick, then forgets the invalidations it caused.
  void PublishAndSettle(RowList rows) {
    Publish(std::move(rows));
    window.OnTimer(TIMER_UI);
    host.ClearPaints();
  }

  std::vector<std::wstring> ViewAddresses() {
    std::vector<std::wstring> out;
    for (const ViewRow& r : app.connectionView().ViewRows()) out.push_back(r.remoteAddress);
    return out;
  }

  // A device rectangle as InvalidateLogical makes it at scale 1.
  static DeviceRect Grown(int32_t l, int32_t t, int32_t r, int32_t b) { return DeviceRect{l - 3, t - 3, r + 3, b + 3}; }

  FakeClock clock;
  FakeApplicationServices fakes;
  Application app{CommandLineState{}, Services()};
  FakeWindowHost host;
  RecordingGraphics graphics;
  MainWindow window{app, host, graphics};
};

}  // namespace tolvane
