// Fuzz target for the settings file reader: any bytes load through the in-memory file system
// without a crash, every field ends within its valid range, and the file written afterwards
// reads back to the same bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "../tests/fakes/fake_file_system.h"
#include "settings/settings_file.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

bool NoControls(const std::wstring& text, size_t limit) {
  if (text.size() > limit) return false;
  for (wchar_t c : text)
    if (static_cast<uint32_t>(c) < 32) return false;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tolvane;
  FakeFileSystem fs;
  fs.files[SettingsFilePath(fs)] = std::string(reinterpret_cast<const char*>(data), size);
  Settings s = MakeDefaultSettings();
  CallPrefixList prefixList;
  LoadSettings(s, fs, prefixList);

  Check(s.theme >= 0 && s.theme <= 9);
  Check(s.refreshMs >= 250 && s.refreshMs <= 5000);
  Check(s.scrollSpeed >= 1 && s.scrollSpeed <= 10);
  Check(s.splashMs >= 0 && s.splashMs <= 300000);
  Check(s.bgDim >= 0 && s.bgDim <= 85);
  Check(s.bgVol >= 0 && s.bgVol <= 100);
  Check(s.ver >= 2);
  Check(s.prefixes.size() <= 60);
  for (wchar_t c : s.prefixes) Check((c >= L'0' && c <= L'9') || c == L',' || c == L'.');
  Check(NoControls(s.tplIp, 300) && NoControls(s.tplEp, 300));
  Check(NoControls(s.splashTitle, 60) && NoControls(s.splashSub, 100));
  for (const std::wstring* t : {&s.splashImage, &s.splashSound, &s.bgPath, &s.bgSound, &s.lookupHist})
    Check(NoControls(*t, 400));
  for (const CustomTheme& t : s.customThemes) {
    Check(t.count >= 2 && t.count <= 8);
    Check(t.mode >= 0 && t.mode <= 2);
    Check(t.angle >= 0 && t.angle <= 2);
    Check(NoControls(t.accent, 7));
    for (const std::wstring& c : t.colours) Check(NoControls(c, 7));
  }

  const std::string written = FormatSettingsFile(s);
  Settings back = MakeDefaultSettings();
  ApplySettingsFile(written, back);
  Check(FormatSettingsFile(back) == written);
  return 0;
}
