// The compositor with the GDI+ canvas (under Wine in CI): the main view drawn for real into
// surfaces. A partial repaint after a hover change must leave exactly the pixels a full repaint of
// the same state draws, and so must a full repaint that copies unchanged rows from the row layer,
// so culling, skipped rows and cached layers never leave a stale or missing piece behind.
#include <gtest/gtest.h>

#include "platform/win32/gdiplus_headers.h"

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "platform/win32/canvas_gdiplus.h"
#include "ui/paint_window.h"
#include "ui/view_fixture.h"

namespace tolvane {
namespace {

class PaintWindowWin32Test : public ViewFixture {
 protected:
  void SetUp() override {
    Gdiplus::GdiplusStartupInput input;
    ASSERT_EQ(Gdiplus::GdiplusStartup(&token_, &input, nullptr), Gdiplus::Ok);
    fonts.DestroyUiFonts();
    ASSERT_TRUE(fonts.CreateUiFonts(SystemGraphics()));
    widths.Clear();
    state.splashActive = false;
    settings.callOnly = false;
    // Rows like the demo's: a voice call, its signalling, a browser and a game, with ping samples.
    RowList rows;
    const wchar_t* addresses[6] = {L"104.18.12.201", L"35.214.40.77", L"162.159.135.234",
                                   L"142.250.80.46", L"23.45.67.89",  L"104.18.32.47"};
    for (int32_t i = 0; i < 6; ++i) {
      ConnectionRow r = CallRow(addresses[i], i < 2 ? 640u * (i + 1) : 0u, i < 2 ? 300 : -1);
      if (i >= 2) r.protocol = L"TCP4";
      if (i == 3) r.category = L"browser";
      if (i == 4) r.category = L"game";
      rows.push_back(r);
      for (int32_t k = 0; k < 12; ++k) book.RecordSample(addresses[i], 20 + (k * 7 + i * 13) % 90);
    }
    published.rows = rows;
    published.snapshotCounter.fetch_add(1);
    view.RebuildView(inputs);
  }
  void TearDown() override {
    first_.Release();
    second_.Release();
    fonts.DestroyUiFonts();
    ReleaseGdiplusCanvasCaches();
    if (token_) Gdiplus::GdiplusShutdown(token_);
  }

  void Paint(WindowPaint& paint, const DeviceRect* rect) {
    const MainViewSources src = Sources();
    const PaintInputs in{SystemGraphics(), fonts, widths, state, src, kW, kH, -1, nullptr, nullptr};
    PaintWindow(paint, in, 0, rect);  // no window: the frame is read back instead
  }
  // The device rectangle the window invalidates for a table row (grown by 3).
  static DeviceRect RowRect(int32_t row) {
    const int32_t y = 372 + 28 * row;
    return DeviceRect{32 - 3, y - 2 - 3, kW - 32 + 3, y + 28 + 3};
  }

  static void ExpectSamePixels(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b) {
    ASSERT_EQ(a.size(), b.size());
    size_t differing = 0;
    int32_t firstX = -1, firstY = -1;
    for (size_t i = 0; i < a.size(); ++i) {
      if (a[i] == b[i]) continue;
      if (differing++ == 0) {
        firstX = static_cast<int32_t>(i % kW);
        firstY = static_cast<int32_t>(i / kW);
      }
    }
    EXPECT_EQ(differing, 0u) << "first difference at " << firstX << "," << firstY;
  }

  static constexpr int32_t kW = 1360;
  static constexpr int32_t kH = 880;
  ULONG_PTR token_ = 0;
  WindowPaint first_;
  WindowPaint second_;
};

TEST_F(PaintWindowWin32Test, HoverRepaintLeavesThePixelsOfAFullPaint) {
  ASSERT_GE(view.ViewRows().size(), 5u);
  state.mouseX = 600;
  state.mouseY = 372 + 10;  // over row 0
  Paint(first_, nullptr);
  ASSERT_TRUE(first_.lastPaint().painted);
  const std::vector<uint32_t> before = first_.frame()->ReadPixels();

  state.mouseY = 372 + 2 * 28 + 10;  // over row 2: rows 0 and 2 repaint
  for (int32_t row : {0, 2}) {
    const DeviceRect r = RowRect(row);
    Paint(first_, &r);
    ASSERT_FALSE(first_.lastPaint().full);
  }
  const std::vector<uint32_t> partial = first_.frame()->ReadPixels();
  Paint(second_, nullptr);
  const std::vector<uint32_t> full = second_.frame()->ReadPixels();
  ExpectSamePixels(partial, full);

  // A full paint that copies the unchanged rows from the row layer shows what a fresh one draws.
  state.mouseY = 372 + 28 + 10;  // over row 1
  Paint(first_, nullptr);
  EXPECT_GT(first_.lastPaint().rowsCopied, 0);
  WindowPaint fresh;
  Paint(fresh, nullptr);
  ExpectSamePixels(first_.frame()->ReadPixels(), fresh.frame()->ReadPixels());
  fresh.Release();

  // The hover did move: row 2's box changed, row 4's did not.
  auto at = [](const std::vector<uint32_t>& px, int32_t x, int32_t y) { return px[static_cast<size_t>(y) * kW + x]; };
  EXPECT_NE(at(before, 40, 371 + 56 + 2), at(full, 40, 371 + 56 + 2));
  EXPECT_EQ(at(before, 40, 371 + 112 + 2), at(full, 40, 371 + 112 + 2));
}

TEST_F(PaintWindowWin32Test, NewSamplesRedrawOnlyTheLatencyCellsAndLeaveThePixelsOfAFreshPaint) {
  view.SetSelectedRowKey(RowKey(view.ViewRows()[1]));  // a row with a background under its cells
  view.RebuildView(inputs);
  state.mouseX = 600;
  state.mouseY = 372 + 3 * 28 + 10;  // and a hovered one
  Paint(first_, nullptr);
  for (const wchar_t* address : {L"104.18.12.201", L"35.214.40.77", L"162.159.135.234", L"142.250.80.46"})
    book.RecordSample(address, 140);
  view.RebuildView(inputs);
  // What the window invalidates: the meter cells' columns of the rows, and each call card's line.
  const DeviceRect cells{kW - 467 - 3, 369, kW - 144 + 3, kH - 65};
  Paint(first_, &cells);
  EXPECT_GE(first_.lastPaint().cellsDrawn, 4);
  EXPECT_EQ(first_.lastPaint().rowsDrawn, 0);
  const auto n = static_cast<int32_t>(std::min<size_t>(4, calls.Entries().size()));
  ASSERT_GE(n, 2);
  for (int32_t i = 0; i < n; ++i) {
    const RectF r = CallCardLineBox(kW, n, i);
    const DeviceRect line{static_cast<int32_t>(r.x) - 3, static_cast<int32_t>(r.y) - 3,
                          static_cast<int32_t>(r.Right()) + 3, static_cast<int32_t>(r.Bottom()) + 3};
    Paint(first_, &line);
  }
  Paint(second_, nullptr);
  // The cards' and the table's part of the frames (the median card's value is repainted on its own).
  const auto part = [](const std::vector<uint32_t>& px, int32_t top, int32_t bottom) {
    return std::vector<uint32_t>(px.begin() + top * kW, px.begin() + bottom * kW);
  };
  const std::vector<uint32_t> partial = first_.frame()->ReadPixels(), full = second_.frame()->ReadPixels();
  ExpectSamePixels(part(partial, 100, 215), part(full, 100, 215));
  ExpectSamePixels(part(partial, 369, kH - 65), part(full, 369, kH - 65));
}

TEST_F(PaintWindowWin32Test, MainViewCoversTheBackgroundWhereItsCardsAre) {
  Paint(first_, nullptr);
  const std::vector<uint32_t> px = first_.frame()->ReadPixels();
  // The call panel's card differs from the bare gradient next to it, inside the window margin.
  auto at = [&](int32_t x, int32_t y) { return px[static_cast<size_t>(y) * kW + x]; };
  EXPECT_NE(at(30, 150), at(10, 150));
  // Text was drawn: the call panel title's row has pixels of more than two colours.
  std::vector<uint32_t> colours;
  for (int32_t x = 42; x < 180; ++x) {
    const uint32_t c = at(x, 81);
    if (std::find(colours.begin(), colours.end(), c) == colours.end()) colours.push_back(c);
  }
  EXPECT_GT(colours.size(), 2u);
}

}  // namespace
}  // namespace tolvane
