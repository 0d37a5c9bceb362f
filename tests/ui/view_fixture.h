// What the main-view and table tests paint with: the application parts the painters read, built by
// hand around a fake clock, the recording canvas and fonts from the recording factory (every
// character is half the font size wide, so measured layouts are exact).
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "appearance/draw.h"
#include "fakes/fake_clipboard.h"
#include "fakes/fake_clock.h"
#include "fakes/recording_canvas.h"
#include "ui/main_view.h"

namespace tolvane {

inline ConnectionRow CallRow(std::wstring address, uint64_t packets, int32_t ageMs = 100, uint32_t pid = 4242) {
  ConnectionRow row;
  row.processName = L"Discord.exe";
  row.pid = pid;
  row.protocol = L"UDP4";
  row.remoteAddress = std::move(address);
  row.remotePort = 50004;
  row.remoteEndpoint = row.remoteAddress + L":50004";
  row.localEndpoint = L"192.168.1.20:56012";
  row.state = L"ACTIVE";
  row.category = L"discord";
  row.role = L"Discord Voice Call";
  row.packets = packets;
  row.ageMs = ageMs;
  return row;
}

inline ViewRow TableRow(std::wstring name, std::wstring remoteAddress, int32_t latencyMs,
                        std::wstring category = L"browser") {
  ViewRow row;
  row.processName = std::move(name);
  row.pid = 5151;
  row.protocol = L"TCP4";
  row.localEndpoint = L"192.168.1.20:51500";
  row.remoteAddress = std::move(remoteAddress);
  row.remoteEndpoint = row.remoteAddress.empty() ? L"" : row.remoteAddress + L":443";
  row.remotePort = 443;
  row.state = L"ACTIVE";
  row.category = std::move(category);
  row.role = L"Browser HTTPS";
  row.latencyMs = latencyMs;
  return row;
}

class ViewFixture : public testing::Test {
 public:
  ViewFixture() {
    EXPECT_TRUE(fonts.CreateUiFonts(graphics));
    themes.InitPalettes();
    prefixes.RebuildPrefixList(settings.prefixes);
  }

  const ThemePalette& palette() const { return themes.ActivePalette(); }

  MainViewSources Sources() {
    return MainViewSources{settings, themes,    view,     inputs, calls,  book,
                           feedback, published, prefixes, clock,  status, lookupOpen};
  }

  // A fresh recording canvas and a draw context on it for one paint.
  DrawContext Context() {
    canvas.Clear();
    return MakeDrawContext(canvas, fonts, widths, state, Sources());
  }

  // Texts drawn by the last paint.
  bool Drew(std::wstring_view text) const { return canvas.FindText(text) != nullptr; }

  // The fill calls covering exactly the rectangle (within a tenth of a unit).
  std::vector<const CanvasCall*> FillsAt(const RectF& r) const {
    std::vector<const CanvasCall*> out;
    for (const CanvasCall& c : canvas.calls()) {
      if (!c.IsFill()) continue;
      if (std::fabs(c.rect.x - r.x) < 0.1f && std::fabs(c.rect.y - r.y) < 0.1f && std::fabs(c.rect.w - r.w) < 0.1f &&
          std::fabs(c.rect.h - r.h) < 0.1f)
        out.push_back(&c);
    }
    return out;
  }

  RecordingGraphics graphics;
  UiFonts fonts;
  TextWidthCache widths;
  RecordingCanvas canvas;
  FakeClock clock;
  FakeClipboard clipboard;
  Settings settings = MakeDefaultSettings();
  ThemeEngine themes{settings};
  PublishedRows published;
  CallPrefixList prefixes;
  CallList calls{settings, prefixes, clock};
  LatencyBook book;
  ConnectionView view{published, calls, book, settings, prefixes, clock};
  ViewInputs inputs;
  CopyFeedback feedback{clipboard, clock};
  CaptureStatus status = CaptureStatus::Capturing;
  bool lookupOpen = false;
  AppState state;
};

}  // namespace tolvane
