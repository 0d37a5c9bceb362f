// Fuzz target for wrapping service text into a box (the lookup panel's messages): any text, box
// and line height, measured with the recording canvas's fixed metrics. Never more lines than fit,
// no line wider than the box (a lone character that is wider still gets a line), and every shown
// character comes from the input, in order; only the last line may end in an added "…".
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "appearance/draw.h"
#include "fakes/recording_draw.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tolvane;
  if (size < 3) return 0;
  const float width = static_cast<float>(data[0]) * 2;        // 0..510
  const float height = static_cast<float>(data[1]) / 2;       // 0..127.5
  const float lineHeight = static_cast<float>(data[2] % 40);  // 0 draws nothing
  std::wstring text;
  for (size_t i = 3; i + 1 < size; i += 2) text.push_back(static_cast<wchar_t>(data[i] | (data[i + 1] << 8)));

  RecordingDraw d;
  ParagraphInRect(d.dc, text, FontBody, RectF{0, 0, width, height}, 0xFFFFFFFF, lineHeight);

  const std::vector<std::wstring> lines = d.canvas.Texts();
  const size_t fit = lineHeight > 0 && height / lineHeight >= 1 ? static_cast<size_t>(height / lineHeight) : 1;
  if (lines.size() > fit) std::abort();
  const float charWidth = RecordingCanvas::CharWidth(d.fonts[FontBody]);
  std::wstring shown;  // every non-blank character drawn, in order
  for (size_t i = 0; i < lines.size(); ++i) {
    std::wstring line = lines[i];
    if (line.empty()) std::abort();
    if (line.size() > 2 && static_cast<float>(line.size()) * charWidth > width) std::abort();
    if (i + 1 == lines.size() && line.back() == L'\u2026') line.pop_back();
    for (const wchar_t c : line) {
      if (c != L' ') shown.push_back(c);
    }
  }
  std::wstring input;
  for (const wchar_t c : text) {
    if (c != L' ') input.push_back(c);
  }
  if (input.compare(0, shown.size(), shown) != 0) std::abort();
  return 0;
}
