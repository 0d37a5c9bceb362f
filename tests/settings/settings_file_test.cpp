// The settings file: the exact bytes of a default file, the reader's clamps and filters, the
// format-generation rule, and the save protocol through the in-memory file system.
#include <gtest/gtest.h>

#include <string>

#include "fakes/fake_file_system.h"
#include "settings/settings_file.h"

namespace tolvane {
namespace {

const std::wstring kFolder = L"C:\\Users\\tester\\AppData\\Roaming\\Tolvane";
const std::wstring kPath = kFolder + L"\\settings.ini";

// Written out by hand, not produced by the writer: 98 lines, CR LF, no byte-order mark.
const char kDefaultFile[] =
    "theme=0\r\nshowLan=0\r\nshowSystem=0\r\nenableIpv6=1\r\nenableUdp=1\r\nenablePing=1\r\n"
    "discordFocus=0\r\nautoRefresh=1\r\nalwaysOnTop=0\r\nsplash=1\r\nrefreshMs=500\r\nscrollSpeed=3\r\n"
    "callOnly=1\r\nautoCopyCall=0\r\npacketCapture=1\r\nwebCalls=0\r\nprefixes=104,3\r\ntplIp=IP\r\n"
    "tplEp=IP:port\r\ntplWords=1\r\nsplashMs=1000\r\nsplashTitle=Tolvane\r\n"
    "splashSub=Initializing socket capture...\r\nsplashBar=1\r\nsplashImage=\r\nsplashSound=\r\n"
    "splashStopSound=1\r\nver=2\r\nbgPath=\r\nbgDim=35\r\nbgSound=\r\nbgVol=50\r\nbgMute=0\r\nbgMotion=1\r\n"
    "lookupHist=\r\n"
    "ct1accent=\r\nct1count=2\r\nct1mode=0\r\nct1angle=1\r\nct1c1=FF4D9D\r\nct1c2=FF2D3D\r\nct1c3=\r\n"
    "ct1c4=\r\nct1c5=\r\nct1c6=\r\nct1c7=\r\nct1c8=\r\n"
    "ct2accent=\r\nct2count=2\r\nct2mode=0\r\nct2angle=1\r\nct2c1=000000\r\nct2c2=FFFFFF\r\nct2c3=\r\n"
    "ct2c4=\r\nct2c5=\r\nct2c6=\r\nct2c7=\r\nct2c8=\r\n"
    "ct3accent=\r\nct3count=3\r\nct3mode=0\r\nct3angle=1\r\nct3c1=00D4C8\r\nct3c2=3C78FF\r\nct3c3=A855F7\r\n"
    "ct3c4=\r\nct3c5=\r\nct3c6=\r\nct3c7=\r\nct3c8=\r\n"
    "ct4accent=\r\nct4count=4\r\nct4mode=0\r\nct4angle=1\r\nct4c1=FF9A3C\r\nct4c2=FF4D6D\r\nct4c3=B517FF\r\n"
    "ct4c4=2B2BFF\r\nct4c5=\r\nct4c6=\r\nct4c7=\r\nct4c8=\r\n"
    "ct5accent=\r\nct5count=3\r\nct5mode=0\r\nct5angle=1\r\nct5c1=0F2027\r\nct5c2=2C5364\r\nct5c3=43C6AC\r\n"
    "ct5c4=\r\nct5c5=\r\nct5c6=\r\nct5c7=\r\nct5c8=\r\n"
    "byApp=0\r\nlocateCalls=1\r\ncallMoveSound=0\r\n";

size_t CountLines(const std::string& bytes) {
  size_t n = 0;
  for (size_t i = 0; i + 1 < bytes.size(); ++i) n += bytes[i] == '\r' && bytes[i + 1] == '\n';
  return n;
}

Settings Loaded(const std::string& file) {
  Settings s = MakeDefaultSettings();
  ApplySettingsFile(file, s);
  return s;
}

TEST(SettingsFile, DefaultFileHasExactBytes) {
  const std::string bytes = FormatSettingsFile(MakeDefaultSettings());
  EXPECT_EQ(CountLines(bytes), 98u);
  EXPECT_EQ(bytes, std::string(kDefaultFile));
}

TEST(SettingsFile, SaveWritesDefaultsThroughTemporaryFile) {
  FakeFileSystem fs;
  EXPECT_TRUE(SaveSettings(MakeDefaultSettings(), fs));
  EXPECT_EQ(fs.folders.count(kFolder), 1u);
  ASSERT_EQ(fs.files.size(), 1u);
  EXPECT_EQ(fs.files[kPath], std::string(kDefaultFile));
  EXPECT_EQ(fs.moveCalls, 1);
}

TEST(SettingsFile, PathFallsBackToCurrentFolderAndFollowsSeparator) {
  FakeFileSystem fs;
  fs.settingsFolder.clear();
  EXPECT_EQ(SettingsFilePath(fs), L".\\settings.ini");
  EXPECT_TRUE(fs.folders.empty());
  fs.settingsFolder = L"/home/tester/.config/tolvane";
  EXPECT_EQ(SettingsFilePath(fs), L"/home/tester/.config/tolvane/settings.ini");
  EXPECT_EQ(fs.folders.count(L"/home/tester/.config/tolvane"), 1u);
  // An existing folder makes the creation fail, which does not change the path.
  EXPECT_EQ(SettingsFilePath(fs), L"/home/tester/.config/tolvane/settings.ini");
}

TEST(SettingsFile, FailedWriteKeepsPreviousFileAndLeavesNoTemporary) {
  FakeFileSystem fs;
  Settings s = MakeDefaultSettings();
  ASSERT_TRUE(SaveSettings(s, fs));
  const std::string before = fs.files[kPath];
  s.refreshMs = 1000;
  fs.failWrite = true;
  EXPECT_FALSE(SaveSettings(s, fs));
  EXPECT_EQ(fs.files.size(), 1u);
  EXPECT_EQ(fs.files.count(kPath + L".tmp"), 0u);
  EXPECT_EQ(fs.files[kPath], before);
  // A failed move leaves no temporary file behind either.
  fs.failWrite = false;
  fs.failMove = true;
  EXPECT_FALSE(SaveSettings(s, fs));
  EXPECT_EQ(fs.files.count(kPath + L".tmp"), 0u);
  EXPECT_EQ(fs.files[kPath], before);
}

TEST(SettingsFile, TwoSavesLeaveOneFile) {
  FakeFileSystem fs;
  Settings s = MakeDefaultSettings();
  ASSERT_TRUE(SaveSettings(s, fs));
  s.bgDim = 70;
  ASSERT_TRUE(SaveSettings(s, fs));
  ASSERT_EQ(fs.files.size(), 1u);
  EXPECT_NE(fs.files[kPath].find("\r\nbgDim=70\r\n"), std::string::npos);
}

TEST(SettingsFile, LoadClampsAndFilters) {
  struct Case {
    const char* line;
    const char* field;
    int32_t expected;
  };
  const Case cases[] = {
      {"refreshMs=fast", "refreshMs", 250},
      {"refreshMs=9000", "refreshMs", 5000},
      {"refreshMs= 2000", "refreshMs", 2000},
      {"scrollSpeed=99", "scrollSpeed", 10},
      {"scrollSpeed=0", "scrollSpeed", 1},
      {"bgDim=-5", "bgDim", 0},
      {"bgDim=86", "bgDim", 85},
      {"bgVol=101", "bgVol", 100},
      {"splashMs=300001", "splashMs", 300000},
      {"splashMs=-1", "splashMs", 0},
      {"theme=12", "theme", 0},
      {"theme=-1", "theme", 0},
      {"theme=9", "theme", 9},
      {"theme=99999999999", "theme", 0},
      {"ct1count=1", "ct1count", 2},
      {"ct1count=0", "ct1count", 2},
      {"ct1count=12", "ct1count", 8},
      {"ct2mode=3", "ct2mode", 2},
      {"ct2mode=-4", "ct2mode", 0},
      {"ct5angle=7", "ct5angle", 2},
      {"showLan=2", "showLan", 1},
      {"showLan=-1", "showLan", 1},
      {"enableIpv6=no", "enableIpv6", 0},
      {"enableIpv6=0x1", "enableIpv6", 0},
      {"byApp=1", "byApp", 1},
  };
  for (const Case& c : cases) {
    // ver=2 keeps refreshMs as read.
    const Settings s = Loaded(std::string("ver=2\r\n") + c.line + "\r\n");
    const std::string field = c.field;
    int32_t got = -100;
    if (field == "refreshMs") got = s.refreshMs;
    if (field == "scrollSpeed") got = s.scrollSpeed;
    if (field == "bgDim") got = s.bgDim;
    if (field == "bgVol") got = s.bgVol;
    if (field == "splashMs") got = s.splashMs;
    if (field == "theme") got = s.theme;
    if (field == "ct1count") got = s.customThemes[0].count;
    if (field == "ct2mode") got = s.customThemes[1].mode;
    if (field == "ct5angle") got = s.customThemes[4].angle;
    if (field == "showLan") got = s.showLan ? 1 : 0;
    if (field == "enableIpv6") got = s.enableIpv6 ? 1 : 0;
    if (field == "byApp") got = s.byApp ? 1 : 0;
    EXPECT_EQ(got, c.expected) << c.line;
  }
}

TEST(SettingsFile, LoadTextFields) {
  struct Case {
    std::string file;
    std::wstring Settings::*field;
    std::wstring expected;
  };
  const std::string longPath(450, 'p');
  const Case cases[] = {
      {"prefixes=104, 3;x", &Settings::prefixes, L"104,3"},
      {"prefixes=" + std::string(70, '1'), &Settings::prefixes, std::wstring(60, L'1')},
      {"tplIp=a=b=c", &Settings::tplIp, L"a=b=c"},
      {"tplEp=IP\tport", &Settings::tplEp, L"IPport"},
      {"splashTitle=" + std::string(70, 'T'), &Settings::splashTitle, std::wstring(60, L'T')},
      {"splashSub=" + std::string(120, 's'), &Settings::splashSub, std::wstring(100, L's')},
      {"bgPath=" + longPath, &Settings::bgPath, std::wstring(400, L'p')},
      {"lookupHist=1.1.1.1,example.com", &Settings::lookupHist, L"1.1.1.1,example.com"},
      {"splashTitle=Caf\xC3\xA9", &Settings::splashTitle, L"Caf\u00E9"},
      {"splashTitle=a\xFFz", &Settings::splashTitle, L"a\uFFFDz"},
      {"splashTitle=", &Settings::splashTitle, L""},
      // last occurrence wins
      {"tplIp=one\r\ntplIp=two", &Settings::tplIp, L"two"},
      // unknown and mis-spelled keys are ignored
      {" tplIp=x\r\nTplIp=y\r\ntplip=z\r\ntplIp =w", &Settings::tplIp, L"IP"},
      {"tplIp", &Settings::tplIp, L"IP"},
      // a bare LF ends a line too; CRs at the end are all removed
      {"tplIp=lf\nprefixes=1.2\r\r\r\n", &Settings::tplIp, L"lf"},
      {"tplIp=lf\nprefixes=1.2\r\r\r\n", &Settings::prefixes, L"1.2"},
  };
  for (const Case& c : cases) {
    const Settings s = Loaded(c.file);
    EXPECT_EQ(s.*c.field, c.expected) << c.file;
  }
}

TEST(SettingsFile, LongLineIsReadInPieces) {
  // 2047 bytes form the first piece; the rest of the line is a line of its own.
  std::string file = "tplIp=" + std::string(2041, 'a') + "splashTitle=tail\r\n";
  Settings s = Loaded(file);
  EXPECT_EQ(s.tplIp, std::wstring(300, L'a'));
  EXPECT_EQ(s.splashTitle, L"tail");
  // One byte fewer and the key lands inside the first piece's value instead.
  file = "tplIp=" + std::string(2040, 'a') + "splashTitle=tail\r\n";
  s = Loaded(file);
  EXPECT_EQ(s.splashTitle, L"Tolvane");
}

TEST(SettingsFile, CustomThemeKeys) {
  const Settings s = Loaded(
      "ct6count=5\r\nct0count=5\r\nct1c9=ABCDEF\r\nct1c0=ABCDEF\r\nct1c10=ABCDEF\r\nct1colour=1\r\n"
      "ct2c3=12345678\r\nct3accent=#ff00aaX\r\nct4c8=00FF00\r\nct5count=8\r\nct1Count=7\r\n");
  const Settings d = MakeDefaultSettings();
  EXPECT_EQ(s.customThemes[0].count, 2);
  EXPECT_EQ(s.customThemes[0].colours, d.customThemes[0].colours);
  EXPECT_EQ(s.customThemes[1].colours[2], L"1234567");
  EXPECT_EQ(s.customThemes[2].accent, L"#ff00aa");
  EXPECT_EQ(s.customThemes[3].colours[7], L"00FF00");
  EXPECT_EQ(s.customThemes[4].count, 8);
}

TEST(SettingsFile, FormatGenerationRule) {
  struct Case {
    const char* name;
    std::string file;
    int32_t refreshInMemory;
    int32_t expected;
  };
  const Case cases[] = {
      {"empty file lowers memory value", "", 2000, 500},
      {"no ver line", "refreshMs=2000\r\n", 500, 500},
      {"ver 1", "ver=1\r\nrefreshMs=2000\r\n", 500, 500},
      {"ver 2", "ver=2\r\nrefreshMs=2000\r\n", 500, 2000},
      {"ver 2 after refreshMs", "refreshMs=2000\r\nver=2\r\n", 500, 2000},
      {"ver 3", "ver=3\r\nrefreshMs=300\r\n", 500, 300},
  };
  for (const Case& c : cases) {
    Settings s = MakeDefaultSettings();
    s.refreshMs = c.refreshInMemory;
    ApplySettingsFile(c.file, s);
    EXPECT_EQ(s.refreshMs, c.expected) << c.name;
    EXPECT_GE(s.ver, 2) << c.name;
  }
}

TEST(SettingsFile, AtoiReading) {
  struct Case {
    const char* text;
    int32_t expected;
  };
  const Case cases[] = {
      {"", 0},
      {"abc", 0},
      {"42", 42},
      {"  \t-17x", -17},
      {"+8", 8},
      {"- 3", 0},
      {"007", 7},
      {"12 34", 12},
      {"2147483647", 2147483647},
      {"2147483648", 2147483647},
      {"-2147483648", -2147483647 - 1},
      {"-99999999999999", -2147483647 - 1},
  };
  for (const Case& c : cases) EXPECT_EQ(AtoiValue(c.text), c.expected) << c.text;
}

TEST(SettingsFile, LoadRoundTripAndMissingFile) {
  FakeFileSystem fs;
  CallPrefixList prefixList;
  Settings s = MakeDefaultSettings();
  s.prefixes = L"66.22,35.";
  s.tplIp = L"ip=IP \u00E9";
  s.refreshMs = 4000;
  s.customThemes[2].accent = L"00FF00";
  s.theme = 7;
  ASSERT_TRUE(SaveSettings(s, fs));
  Settings back = MakeDefaultSettings();
  LoadSettings(back, fs, prefixList);
  EXPECT_EQ(FormatSettingsFile(back), FormatSettingsFile(s));
  EXPECT_EQ(prefixList.Tokens(), (std::vector<std::string>{"66.22", "35."}));

  // A missing file leaves the record as it was (no generation rule) and still rebuilds the list.
  FakeFileSystem empty;
  Settings kept = MakeDefaultSettings();
  kept.refreshMs = 3000;
  kept.prefixes = L"1.2";
  LoadSettings(kept, empty, prefixList);
  EXPECT_EQ(kept.refreshMs, 3000);
  EXPECT_EQ(kept.ver, 0);
  EXPECT_EQ(prefixList.Tokens(), (std::vector<std::string>{"1.2"}));
}

TEST(SettingsFile, WriterNeverSplitsALine) {
  Settings s = MakeDefaultSettings();
  s.tplIp = L"IP\r\ntheme=4";
  const std::string bytes = FormatSettingsFile(s);
  EXPECT_EQ(CountLines(bytes), 98u);
  EXPECT_NE(bytes.find("\r\ntplIp=IPtheme=4\r\n"), std::string::npos);
  EXPECT_EQ(Loaded(bytes).theme, 0);
}

}  // namespace
}  // namespace tolvane
