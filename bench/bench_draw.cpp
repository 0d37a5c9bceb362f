// Wrapping a hostile text into a box: a failure message of 4 MiB without a space, wrapped into the
// lookup panel's failure box (390 x 60 in the body font, 17 px lines) as every paint does. The
// recording canvas measures a text by its length (fixed metrics), so the figure is the wrapping's
// own cost: how often and how much it measures, copies and looks up in the width cache, which is
// emptied before each paint (the first paint of a message is the costly one).
#include <benchmark/benchmark.h>

#include <string>

#include "appearance/draw.h"
#include "fakes/recording_draw.h"

namespace tolvane {
namespace {

void WrapIntoFailureBox(benchmark::State& state) {
  RecordingDraw d;
  const std::wstring text(static_cast<size_t>(state.range(0)), L'x');
  for (auto _ : state) {
    d.canvas.Clear();
    d.widths.Clear();  // every paint as if it were the first
    ParagraphInRect(d.dc, text, FontBody, RectF{24, 142, 390, 60}, 0xFFFF5555, 17);
    benchmark::DoNotOptimize(d.canvas.calls().data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0) * 2);
}
BENCHMARK(WrapIntoFailureBox)
    ->Arg(16 << 10)
    ->Arg(64 << 10)
    ->Arg(256 << 10)
    ->Arg(4 << 20)
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tolvane

BENCHMARK_MAIN();
