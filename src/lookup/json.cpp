// Field reader for flat JSON answers: a shallow key search and three value readers.
//
// Nothing here allocates beyond the one string being unescaped, and every index is checked against
// the text length before it is read, because the text comes straight from the network. Strings are
// unescaped into UTF-8 bytes first and converted once at the end with Utf8ToWide, so a lone
// surrogate escape (written in its invalid three-byte form) is replaced the way the platform's
// converter replaces any invalid sequence.
//
// Numbers follow strtod in the "C" locale: leading white space, an optional "+" or "-", then a
// decimal number with optional fraction and exponent, a "0x" hexadecimal number with optional
// binary exponent, "inf"/"infinity" or "nan"/"nan(...)" in any case. A value too large gives an
// infinity of its sign, one too small a zero of its sign, as strtod does with ERANGE. std::from_chars
// does the conversion because it never looks at the locale; it lacks strtod's sign and "0x"
// handling, which is done here.
#include "lookup/json.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <limits>
#include <string>
#include <system_error>

#include "platform/utf8.h"

namespace tolvane {
namespace {

bool IsJsonSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

size_t SkipJsonSpace(std::string_view text, size_t p) {
  while (p < text.size() && IsJsonSpace(text[p])) ++p;
  return p;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The four characters at p as a hexadecimal number, a non-hex character counting as 0; 0 when
// fewer than four characters remain.
uint32_t ReadHex4(std::string_view text, size_t p) {
  if (p > text.size() || text.size() - p < 4) return 0;
  uint32_t value = 0;
  for (size_t k = 0; k < 4; ++k) {
    const int d = HexDigit(text[p + k]);
    value = value * 16 + static_cast<uint32_t>(d < 0 ? 0 : d);
  }
  return value;
}

bool IsHex4(std::string_view text, size_t p) {
  if (p > text.size() || text.size() - p < 4) return false;
  for (size_t k = 0; k < 4; ++k)
    if (HexDigit(text[p + k]) < 0) return false;
  return true;
}

void AppendUtf8(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

bool IsStrtodSpace(char c) { return IsJsonSpace(c) || c == '\v' || c == '\f'; }

bool IsDigitIn(char c, bool hex) { return hex ? HexDigit(c) >= 0 : (c >= '0' && c <= '9'); }

// For a mantissa/exponent text that from_chars found out of range: true when it is too large
// (rather than too small). The estimate only has to tell huge from tiny, so digits are counted,
// not valued; hexadecimal digits are four binary places each.
bool IsOverflow(std::string_view number, bool hex) {
  const char expChar = hex ? 'p' : 'e';
  const int64_t digitWeight = hex ? 4 : 1;
  size_t i = 0;
  int64_t magnitude = 0;
  bool seenNonZero = false;
  for (; i < number.size() && IsDigitIn(number[i], hex); ++i) {
    if (number[i] != '0') seenNonZero = true;
    if (seenNonZero && magnitude < 1000000) magnitude += digitWeight;
  }
  if (!seenNonZero) {
    magnitude = 0;
    if (i < number.size() && number[i] == '.') {
      for (++i; i < number.size() && number[i] == '0'; ++i) {
        if (magnitude > -1000000) magnitude -= digitWeight;
      }
    }
    magnitude -= digitWeight;
  }
  while (i < number.size() && (number[i] | 0x20) != expChar) ++i;
  int64_t exponent = 0;
  if (i < number.size()) {
    ++i;
    bool negative = false;
    if (i < number.size() && (number[i] == '+' || number[i] == '-')) negative = number[i++] == '-';
    for (; i < number.size() && number[i] >= '0' && number[i] <= '9'; ++i) {
      if (exponent < 1000000) exponent = exponent * 10 + (number[i] - '0');
    }
    if (negative) exponent = -exponent;
  }
  return magnitude + exponent > 0;
}

double StrtodC(std::string_view s) {
  size_t i = 0;
  while (i < s.size() && IsStrtodSpace(s[i])) ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  const char* first = s.data() + i;
  const char* last = s.data() + s.size();
  double value = 0.0;
  bool hex = false;
  if (last - first >= 3 && first[0] == '0' && (first[1] | 0x20) == 'x' &&
      (HexDigit(first[2]) >= 0 || (first[2] == '.' && last - first >= 4 && HexDigit(first[3]) >= 0))) {
    first += 2;
    hex = true;
  }
  const std::from_chars_result r =
      std::from_chars(first, last, value, hex ? std::chars_format::hex : std::chars_format::general);
  if (r.ec == std::errc::invalid_argument) return 0.0;
  if (r.ec == std::errc::result_out_of_range) {
    value = IsOverflow(std::string_view(first, static_cast<size_t>(r.ptr - first)), hex)
                ? std::numeric_limits<double>::infinity()
                : 0.0;
  }
  return negative ? -value : value;
}

}  // namespace

JsonPosition JsonFindValue(std::string_view text, std::string_view key) {
  std::string pattern;
  pattern.reserve(key.size() + 2);
  pattern.push_back('"');
  pattern.append(key);
  pattern.push_back('"');
  size_t from = 0;
  while (from <= text.size()) {
    const size_t at = text.find(pattern, from);
    if (at == std::string_view::npos) break;
    size_t p = SkipJsonSpace(text, at + pattern.size());
    if (p < text.size() && text[p] == ':') return {true, SkipJsonSpace(text, p + 1)};
    from = p;
  }
  return {false, 0};
}

std::wstring JsonGetString(std::string_view text, std::string_view key) {
  const JsonPosition at = JsonFindValue(text, key);
  if (!at.found || at.position >= text.size() || text[at.position] != '"') return {};
  std::string bytes;
  size_t i = at.position + 1;
  while (i < text.size() && text[i] != '"') {
    const char c = text[i];
    if (c != '\\') {
      bytes.push_back(c);
      ++i;
      continue;
    }
    if (i + 1 >= text.size()) {  // a backslash as the very last byte stays itself
      bytes.push_back('\\');
      ++i;
      continue;
    }
    const char e = text[i + 1];
    i += 2;
    switch (e) {
      case 'n':
        bytes.push_back('\n');
        break;
      case 'r':
        bytes.push_back('\r');
        break;
      case 't':
        bytes.push_back('\t');
        break;
      case 'b':
      case 'f':
        bytes.push_back(' ');
        break;
      case 'u': {
        uint32_t cp = ReadHex4(text, i);
        i = std::min(i + 4, text.size());
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i] == '\\' && text[i + 1] == 'u') {
          // The partner must be four real hexadecimal digits; with "DCzz" the high surrogate stays alone.
          const uint32_t low = ReadHex4(text, i + 2);
          if (low >= 0xDC00 && low <= 0xDFFF && IsHex4(text, i + 2)) {
            cp = 0x10000 + (cp - 0xD800) * 1024 + (low - 0xDC00);
            i = i + 6;
          }
        }
        AppendUtf8(bytes, cp);
        break;
      }
      default:
        bytes.push_back(e);
        break;
    }
  }
  return Utf8ToWide(bytes);
}

double JsonGetNumber(std::string_view text, std::string_view key) {
  const JsonPosition at = JsonFindValue(text, key);
  if (!at.found || at.position >= text.size()) return 0.0;
  return StrtodC(text.substr(at.position));
}

bool JsonGetBool(std::string_view text, std::string_view key) {
  const JsonPosition at = JsonFindValue(text, key);
  return at.found && text.substr(at.position, 4) == "true";
}

}  // namespace tolvane
