// The JSON field reader against the shapes a geolocation answer (or a hostile server) can take:
// keys that also appear as values or inside inner objects, every escape, cut-off text, numbers in
// all the forms strtod reads, and booleans that only look like booleans.
#include "lookup/json.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

namespace tolvane {
namespace {

TEST(JsonFindValue, PositionsAndMisses) {
  struct Case {
    std::string text;
    std::string key;
    bool found;
    size_t position;
  };
  const Case cases[] = {
      {R"({"a":1})", "a", true, 5},  {"{\"a\" \t\r\n: \n 7}", "a", true, 12},
      {R"({"a":)", "a", true, 5},                                            // value position may equal the text length
      {R"({"a" )", "a", false, 0},                                           // text ends while skipping white space
      {R"({"a")", "a", false, 0},    {R"({"b":"a","a":2})", "a", true, 13},  // a value equal to the key is passed over
      {R"("a""a":3)", "a", true, 7}, {"{\"a\"\v:1}", "a", false, 0},         // only four bytes count as white space
      {R"({"A":1})", "a", false, 0}, {R"({"ab":1})", "a", false, 0},
      {"", "a", false, 0},
  };
  for (const Case& c : cases) {
    const JsonPosition p = JsonFindValue(c.text, c.key);
    EXPECT_EQ(p.found, c.found) << c.text;
    if (c.found) {
      EXPECT_EQ(p.position, c.position) << c.text;
    }
  }
}

TEST(JsonGetString, KeysEscapesAndCutOffText) {
  struct Case {
    std::string text;
    std::string key;
    std::wstring expected;
  };
  const Case cases[] = {
      {R"({"org":"as","as":"AS15169 Google LLC"})", "as", L"AS15169 Google LLC"},
      {R"({"inner":{"city":"Inner"},"city":"Outer"})", "city", L"Inner"},
      {R"({"City":"Paris"})", "city", L""},
      {R"({"city":"Montr\u00E9al"})", "city", L"Montr\u00E9al"},
      {R"({"city":"Montr\u00e9al"})", "city", L"Montr\u00E9al"},
      {"{\"city\":\"K\xC3\xB8"
       "benhavn\"}",
       "city",
       L"K\u00F8"
       L"benhavn"},
      {R"({"s":"a\bb\fc"})", "s", L"a b c"},
      {R"({"s":"l\nr\rt\t."})", "s", L"l\nr\rt\t."},
      {R"({"s":"q\"b\\s\/x\q"})", "s", L"q\"b\\s/xq"},
      {R"({"s":"\u20AC"})", "s", L"\u20AC"},
      {R"({"s":"\u00G9"})", "s", L"\t"},  // a non-hex character counts as the digit 0
      {R"({"city":"Berl)", "city", L"Berl"},
      {R"({"city":"ab\)", "city", L"ab\\"},  // a backslash as the last byte stays itself
      {R"({"city":"")", "city", L""},
      {R"({"city":123})", "city", L""},
      {R"({"city":null})", "city", L""},
      {R"({"city":)", "city", L""},
      {R"({"town":"x"})", "city", L""},
  };
  for (const Case& c : cases) EXPECT_EQ(JsonGetString(c.text, c.key), c.expected) << c.text;
}

TEST(JsonGetString, CutOffUnicodeEscapeGivesCodePointZero) {
  const std::wstring s = JsonGetString(R"({"s":"x\u00)", "s");
  EXPECT_EQ(s, std::wstring(L"x") + L'\0');
}

TEST(JsonGetString, SurrogatePairGivesOneCharacterOutsideTheBasicPlane) {
  const std::wstring s = JsonGetString(R"({"s":"\uD83D\uDE00!"})", "s");
  if constexpr (sizeof(wchar_t) == 4) {
    ASSERT_EQ(s.size(), 2u);
    EXPECT_EQ(static_cast<uint32_t>(s[0]), 0x1F600u);
  } else {
    ASSERT_EQ(s.size(), 3u);
    EXPECT_EQ(static_cast<uint32_t>(s[0]), 0xD83Du);
    EXPECT_EQ(static_cast<uint32_t>(s[1]), 0xDE00u);
  }
  EXPECT_EQ(s.back(), L'!');
}

TEST(JsonGetString, LoneSurrogatesBecomeReplacementCharacters) {
  // Each case ends in a plain letter that must survive; no surrogate code unit may come out alone.
  struct Case {
    std::string text;
    wchar_t last;
  };
  const Case cases[] = {
      {R"({"s":"\uD83Dx"})", L'x'},        // high surrogate without a partner
      {R"({"s":"\uD83D\u0041"})", L'A'},   // followed by an escape that is not a low surrogate
      {R"({"s":"\uDE00y"})", L'y'},        // lone low surrogate
      {R"({"s":"\uD83D\uD83Dz"})", L'z'},  // two highs
      {R"({"s":"\uD83D\uDE0)", L'\0'},     // partner cut off by the end of the text
      {R"({"s":"\uD83D\uDCzzq"})", L'q'},  // partner with letters that are no hexadecimal digits
  };
  for (const Case& c : cases) {
    const std::wstring s = JsonGetString(c.text, "s");
    ASSERT_FALSE(s.empty()) << c.text;
    EXPECT_EQ(s.back(), c.last) << c.text;
    EXPECT_NE(s.find(L'\uFFFD'), std::wstring::npos) << c.text;
    bool loneSurrogate = false;
    for (size_t i = 0; i < s.size(); ++i) {
      const uint32_t u = static_cast<uint32_t>(s[i]);
      if (u >= 0xD800 && u <= 0xDFFF) loneSurrogate = true;
    }
    EXPECT_FALSE(loneSurrogate) << c.text;
  }
}

TEST(JsonGetNumber, ReadsWhatStrtodReads) {
  const double inf = std::numeric_limits<double>::infinity();
  struct Case {
    std::string value;
    double expected;
  };
  const Case cases[] = {
      {"1e3", 1000.0},
      {"-33.8688,", -33.8688},
      {"52.52}", 52.52},
      {"+5", 5.0},
      {".5", 0.5},
      {"7.", 7.0},
      {"12abc", 12.0},
      {"1e", 1.0},
      {"2E+2", 200.0},
      {"0x1A", 26.0},
      {"0x1p4", 16.0},
      {"0x", 0.0},
      {"-0x10", -16.0},
      {"1e999", inf},
      {"-1e999", -inf},
      {"1e-999", 0.0},
      {"0.000000000000000000000000000000000000000000000000000000000000000000001e-300", 0.0},
      {"Infinity", inf},
      {"-inf", -inf},
      {"null", 0.0},
      {"\"12\"", 0.0},
      {"-", 0.0},
      {"+.", 0.0},
      {"", 0.0},
      {"true", 0.0},
  };
  for (const Case& c : cases) {
    const std::string text = "{\"lat\":" + c.value;
    EXPECT_EQ(JsonGetNumber(text, "lat"), c.expected) << text;
  }
  EXPECT_TRUE(std::isnan(JsonGetNumber(R"({"lat":nan})", "lat")));
  EXPECT_TRUE(std::signbit(JsonGetNumber(R"({"lat":-1e-999})", "lat")));
  EXPECT_EQ(JsonGetNumber(R"({"lon":1})", "lat"), 0.0);
  EXPECT_EQ(JsonGetNumber(R"({"Lat":1})", "lat"), 0.0);
}

TEST(JsonGetBool, OnlyTheFourLettersTrue) {
  struct Case {
    std::string text;
    bool expected;
  };
  const Case cases[] = {
      {R"({"mobile": true})", true},  {R"({"mobile":true)", true},     {R"({"mobile":trueish})", true},
      {R"({"mobile":false})", false}, {R"({"mobile":"true"})", false}, {R"({"mobile":tru)", false},
      {R"({"mobile":null})", false},  {R"({"mobile":)", false},        {R"({"Mobile":true})", false},
      {R"({"proxy":true})", false},
  };
  for (const Case& c : cases) EXPECT_EQ(JsonGetBool(c.text, "mobile"), c.expected) << c.text;
}

TEST(JsonReader, TypicalGeolocationAnswer) {
  const std::string body =
      R"({"status":"success","country":"Germany","countryCode":"DE","city":"Frankfurt am Main",)"
      R"("lat":50.1109,"lon":8.68213,"isp":"Example \"Net\" GmbH","as":"AS64500 Example","asname":"EX",)"
      R"("mobile":false,"proxy":false,"hosting":true,"query":"203.0.113.7"})";
  EXPECT_EQ(JsonGetString(body, "status"), L"success");
  EXPECT_EQ(JsonGetString(body, "isp"), L"Example \"Net\" GmbH");
  EXPECT_EQ(JsonGetString(body, "as"), L"AS64500 Example");
  EXPECT_EQ(JsonGetString(body, "asname"), L"EX");
  EXPECT_DOUBLE_EQ(JsonGetNumber(body, "lat"), 50.1109);
  EXPECT_DOUBLE_EQ(JsonGetNumber(body, "lon"), 8.68213);
  EXPECT_TRUE(JsonGetBool(body, "hosting"));
  EXPECT_FALSE(JsonGetBool(body, "mobile"));
  EXPECT_EQ(JsonGetString(body, "message"), L"");
}

}  // namespace
}  // namespace tolvane
