// The UTF-8 conversions: one table of well-formed and ill-formed inputs, expected as code points.
// The same table runs in the host tree (portable converter) and in the Windows tree under Wine
// (the system's converters), so a difference between the two shows up as a failure in one tree.
// Expectations follow maximal-subpart replacement, which current Windows applies.
#include <gtest/gtest.h>

#include <string>

#include "platform/utf8.h"

namespace tolvane {
namespace {

// Code points to the platform's wide form: one unit each with a 32-bit wchar_t, a surrogate pair
// above U+FFFF with a 16-bit one.
std::wstring Wide(std::u32string_view points) {
  std::wstring out;
  for (char32_t c : points) {
    if constexpr (sizeof(wchar_t) == 2) {
      if (c >= 0x10000) {
        out.push_back(static_cast<wchar_t>(0xD800 + ((c - 0x10000) >> 10)));
        out.push_back(static_cast<wchar_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
        continue;
      }
    }
    out.push_back(static_cast<wchar_t>(c));
  }
  return out;
}

struct Utf8Case {
  const char* name;
  std::string bytes;
  std::u32string expected;
  // Wine takes a lead byte and a second byte outside its narrowed range (overlong, surrogate,
  // above U+10FFFF) as one subpart, where current Windows replaces each byte; the Windows tree,
  // which runs under Wine, accepts that reading for those cases only.
  std::u32string wineReading = U"-";
};

TEST(Utf8ToWide, ReplacesIllFormedSequencesByMaximalSubpart) {
  const Utf8Case cases[] = {
      {"empty", "", U""},
      {"ascii", "abc=1", U"abc=1"},
      {"two-byte", "\xC3\xA9t\xC3\xA9", U"\u00E9t\u00E9"},
      {"three-byte", "\xE2\x82\xAC", U"\u20AC"},
      {"four-byte", "\xF0\x9F\x98\x80", U"\U0001F600"},
      {"highest code point", "\xF4\x8F\xBF\xBF", U"\U0010FFFF"},
      {"lone continuation", "a\x80z", U"a\uFFFDz"},
      {"two continuations", "\x80\xBF", U"\uFFFD\uFFFD"},
      {"C0 overlong", "\xC0\xAF", U"\uFFFD\uFFFD"},
      {"C1 overlong", "\xC1\xBF", U"\uFFFD\uFFFD"},
      {"E0 overlong", "\xE0\x80\xAF", U"\uFFFD\uFFFD\uFFFD", U"\uFFFD\uFFFD"},
      {"F0 overlong", "\xF0\x80\x80\xAF", U"\uFFFD\uFFFD\uFFFD\uFFFD", U"\uFFFD\uFFFD\uFFFD"},
      {"encoded high surrogate", "\xED\xA0\x80", U"\uFFFD\uFFFD\uFFFD", U"\uFFFD\uFFFD"},
      {"encoded low surrogate", "\xED\xBF\xBF", U"\uFFFD\uFFFD\uFFFD", U"\uFFFD\uFFFD"},
      {"last before surrogates", "\xED\x9F\xBF", U"\uD7FF"},
      {"above 10FFFF", "\xF4\x90\x80\x80", U"\uFFFD\uFFFD\uFFFD\uFFFD", U"\uFFFD\uFFFD\uFFFD"},
      {"F5 lead", "\xF5\x80", U"\uFFFD\uFFFD"},
      {"FF byte", "x\xFFy", U"x\uFFFDy"},
      {"truncated two-byte at end", "a\xC3", U"a\uFFFD"},
      {"truncated three-byte at end", "\xE2\x82", U"\uFFFD"},
      {"truncated four-byte at end", "\xF0\x9F\x98", U"\uFFFD"},
      {"truncated three-byte before ascii", "\xE2\x82z", U"\uFFFDz"},
      {"truncated four-byte before lead", "\xF0\x9F\xC3\xA9", U"\uFFFD\u00E9"},
      {"lead after lead", "\xE2\xE2\x82\xAC", U"\uFFFD\u20AC"},
      {"embedded nul", std::string("a\0b", 3), std::u32string(U"a\0b", 3)},
  };
  for (const Utf8Case& c : cases) {
    const std::wstring got = Utf8ToWide(c.bytes);
    if (sizeof(wchar_t) == 2 && c.wineReading != U"-" && got == Wide(c.wineReading)) continue;
    EXPECT_EQ(got, Wide(c.expected)) << c.name;
  }
}

TEST(WideToUtf8, EncodesAndRoundTrips) {
  struct Case {
    const char* name;
    std::u32string text;
    std::string expected;
  };
  const Case cases[] = {
      {"empty", U"", ""},
      {"ascii", U"ct0c0=#FF0000", "ct0c0=#FF0000"},
      {"two-byte", U"\u00E9", "\xC3\xA9"},
      {"three-byte", U"\u20AC", "\xE2\x82\xAC"},
      {"four-byte", U"\U0001F600", "\xF0\x9F\x98\x80"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(WideToUtf8(Wide(c.text)), c.expected) << c.name;
    EXPECT_EQ(Utf8ToWide(c.expected), Wide(c.text)) << c.name;
  }
}

TEST(WideToUtf8, LoneSurrogateBecomesReplacement) {
  const std::wstring lone{L'a', static_cast<wchar_t>(0xD800), L'b'};
  EXPECT_EQ(WideToUtf8(lone),
            "a\xEF\xBF\xBD"
            "b");
}

}  // namespace
}  // namespace tolvane
