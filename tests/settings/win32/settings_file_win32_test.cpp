// The settings file on the real Win32 file system (under Wine in the test run): the path lies in
// the prefix's roaming AppData, and a save followed by a load gives back the record. Any settings
// file already there is put back afterwards.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cwctype>

#include "platform/files.h"
#include "platform/utf8.h"
#include "settings/settings_file.h"

namespace tolvane {
namespace {

TEST(SettingsFileWin32, PathIsInRoamingAppData) {
  FileSystem& fs = SystemFileSystem();
  const char* appData = std::getenv("APPDATA");
  ASSERT_NE(appData, nullptr);
  const std::wstring expected = Utf8ToWide(appData) + L"\\Tolvane\\settings.ini";
  const std::wstring path = SettingsFilePath(fs);
  // The shell and the environment may differ in letter case only.
  ASSERT_EQ(path.size(), expected.size());
  for (size_t i = 0; i < path.size(); ++i) EXPECT_EQ(towlower(path[i]), towlower(expected[i])) << i;
  EXPECT_FALSE(fs.CreateFolder(path.substr(0, path.size() - 13)));  // created already
}

TEST(SettingsFileWin32, SaveAndLoadRoundTrip) {
  FileSystem& fs = SystemFileSystem();
  const std::wstring path = SettingsFilePath(fs);
  std::string previous;
  const bool hadFile = fs.ReadAll(path, previous);

  Settings s = MakeDefaultSettings();
  s.refreshMs = 1500;
  s.splashTitle = L"Caf\u00E9 \u20AC";
  s.prefixes = L"66.22,35.";
  s.customThemes[4].colours[7] = L"ABCDEF";
  s.theme = 6;
  ASSERT_TRUE(SaveSettings(s, fs));
  EXPECT_FALSE(fs.Exists(path + L".tmp"));
  ASSERT_TRUE(SaveSettings(s, fs));  // replaces the existing file
  std::string bytes;
  ASSERT_TRUE(fs.ReadAll(path, bytes));
  EXPECT_EQ(bytes, FormatSettingsFile(s));
  EXPECT_NE(bytes.find("\r\nsplashTitle=Caf\xC3\xA9 \xE2\x82\xAC\r\n"), std::string::npos);

  Settings back = MakeDefaultSettings();
  CallPrefixList prefixList;
  LoadSettings(back, fs, prefixList);
  EXPECT_EQ(back.refreshMs, 1500);
  EXPECT_EQ(back.splashTitle, s.splashTitle);
  EXPECT_EQ(back.theme, 6);
  EXPECT_EQ(back.customThemes[4].colours[7], L"ABCDEF");
  EXPECT_EQ(prefixList.Tokens(), (std::vector<std::string>{"66.22", "35."}));

  if (hadFile) {
    EXPECT_TRUE(fs.WriteDurable(path, previous));
  } else {
    EXPECT_TRUE(fs.Remove(path));
  }
}

}  // namespace
}  // namespace tolvane
