// Portable UTF-8 <-> wide text for Linux and the host build, replacing invalid input the way the
// Windows converters do without flags: each maximal subpart of an ill-formed sequence becomes one
// U+FFFD (the Unicode "best practice" that Windows follows), overlong forms, encoded surrogates
// (ED A0..BF) and code points above U+10FFFF are ill-formed. Linux's wchar_t holds UTF-32, so a
// four-byte sequence becomes one wchar_t here where Windows gives a surrogate pair.
#include <cstdint>

#include "platform/utf8.h"

namespace tolvane {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (c >> 18)));
    out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

}  // namespace

std::string WideToUtf8(std::wstring_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t c = static_cast<char32_t>(static_cast<uint32_t>(text[i]));
    // A UTF-16 pair held in two wide units is combined as Windows would; any other surrogate or
    // out-of-range value has no UTF-8 form and is replaced.
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size()) {
      const char32_t low = static_cast<char32_t>(static_cast<uint32_t>(text[i + 1]));
      if (low >= 0xDC00 && low <= 0xDFFF) {
        c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
        ++i;
      }
    }
    if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) c = kReplacement;
    AppendUtf8(out, c);
  }
  return out;
}

std::wstring Utf8ToWide(std::string_view bytes) {
  std::wstring out;
  out.reserve(bytes.size());
  const size_t n = bytes.size();
  size_t i = 0;
  while (i < n) {
    const uint8_t b0 = static_cast<uint8_t>(bytes[i]);
    if (b0 < 0x80) {
      out.push_back(static_cast<wchar_t>(b0));
      ++i;
      continue;
    }
    int need;                      // continuation bytes after the lead byte
    uint8_t lo = 0x80, hi = 0xBF;  // allowed range of the first continuation byte
    char32_t c;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
      need = 1;
      c = b0 & 0x1F;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
      need = 2;
      c = b0 & 0x0F;
      if (b0 == 0xE0) lo = 0xA0;  // overlong below U+0800
      if (b0 == 0xED) hi = 0x9F;  // encoded surrogates
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
      need = 3;
      c = b0 & 0x07;
      if (b0 == 0xF0) lo = 0x90;  // overlong below U+10000
      if (b0 == 0xF4) hi = 0x8F;  // above U+10FFFF
    } else {
      out.push_back(static_cast<wchar_t>(kReplacement));
      ++i;
      continue;
    }
    size_t j = i + 1;
    bool complete = true;
    for (int k = 0; k < need; ++k, ++j) {
      const uint8_t lower = k == 0 ? lo : 0x80;
      const uint8_t upper = k == 0 ? hi : 0xBF;
      if (j >= n) {
        complete = false;
        break;
      }
      const uint8_t b = static_cast<uint8_t>(bytes[j]);
      if (b < lower || b > upper) {
        complete = false;
        break;
      }
      c = (c << 6) | (b & 0x3F);
    }
    // An incomplete sequence is one maximal subpart: one replacement, and decoding restarts at
    // the byte that broke it.
    out.push_back(static_cast<wchar_t>(complete ? c : kReplacement));
    i = j;
  }
  return out;
}

}  // namespace tolvane
