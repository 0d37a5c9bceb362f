// Fuzz target for wrapping service text into a box, with the recording canvas's fixed metrics: never
// more lines than fit, none wider than the box (but a lone character or pair), and the characters
// shown are the input's, in order; only the last line may end in an added "…".
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <iterator>
#include <string>
#include <vector>

#include "fakes/recording_draw.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tolvane;
  if (size < 3) return 0;
  const float width = data[0] * 2.0f, height = data[1] / 2.0f, lineHeight = data[2] % 40;
  std::wstring text, input, shown;  // the last two without blanks
  for (size_t i = 3; i + 1 < size; i += 2) text.push_back(static_cast<wchar_t>(data[i] | (data[i + 1] << 8)));
  RecordingDraw d;
  ParagraphInRect(d.dc, text, FontBody, RectF{0, 0, width, height}, 0xFFFFFFFF, lineHeight);
  std::vector<std::wstring> lines = d.canvas.Texts();
  if (lines.size() > (lineHeight > 0 && height >= lineHeight ? static_cast<size_t>(height / lineHeight) : 1))
    std::abort();
  if (!lines.empty() && lines.back().back() == L'\u2026') lines.back().pop_back();
  for (const std::wstring& line : d.canvas.Texts()) {
    if (line.size() > 2 && line.size() * RecordingCanvas::CharWidth(d.fonts[FontBody]) > width) std::abort();
  }
  for (const std::wstring& line : lines)
    std::copy_if(line.begin(), line.end(), std::back_inserter(shown), [](wchar_t c) { return c != L' '; });
  std::copy_if(text.begin(), text.end(), std::back_inserter(input), [](wchar_t c) { return c != L' '; });
  if (input.compare(0, shown.size(), shown) != 0) std::abort();
  return 0;
}
