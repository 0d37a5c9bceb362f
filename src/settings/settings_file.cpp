// Reading and writing the settings file. The key order of the writer is part of the file format:
// users diff and hand-edit the file, and a golden test holds the exact bytes.
#include "settings/settings_file.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <span>

#include "platform/utf8.h"

namespace tolvane {
namespace {

constexpr size_t kLineBuffer = 2048;  // like fgets into char[2048]: pieces of at most 2047 bytes
constexpr size_t kPrefixLimit = 60;
constexpr size_t kTemplateLimit = 300;
constexpr size_t kTitleLimit = 60;
constexpr size_t kSubtitleLimit = 100;
constexpr size_t kPathLimit = 400;
constexpr size_t kColourLimit = 7;

enum class Kind { kFlag, kInt, kText };

// One scalar or text field of the record with its key, in file order, and how the loader reads it.
struct Field {
  const char* key;
  Kind kind;
  Relaxed<bool> Settings::*flag;
  Relaxed<int32_t> Settings::*number;
  std::wstring Settings::*text;
  int32_t lo;
  int32_t hi;
  size_t limit;  // text limit; 0 = the prefix filter
};

constexpr Field Flag(const char* key, Relaxed<bool> Settings::*f) {
  return {key, Kind::kFlag, f, nullptr, nullptr, 0, 0, 0};
}
constexpr Field Int(const char* key, Relaxed<int32_t> Settings::*f, int32_t lo, int32_t hi) {
  return {key, Kind::kInt, nullptr, f, nullptr, lo, hi, 0};
}
constexpr Field Text(const char* key, std::wstring Settings::*f, size_t limit) {
  return {key, Kind::kText, nullptr, nullptr, f, 0, 0, limit};
}

// theme and ver are read unclamped: theme is checked after the last line, ver may hold anything.
const Field kFields[] = {
    Int("theme", &Settings::theme, INT_MIN, INT_MAX),
    Flag("showLan", &Settings::showLan),
    Flag("showSystem", &Settings::showSystem),
    Flag("enableIpv6", &Settings::enableIpv6),
    Flag("enableUdp", &Settings::enableUdp),
    Flag("enablePing", &Settings::enablePing),
    Flag("discordFocus", &Settings::discordFocus),
    Flag("autoRefresh", &Settings::autoRefresh),
    Flag("alwaysOnTop", &Settings::alwaysOnTop),
    Flag("splash", &Settings::splash),
    Int("refreshMs", &Settings::refreshMs, 250, 5000),
    Int("scrollSpeed", &Settings::scrollSpeed, 1, 10),
    Flag("callOnly", &Settings::callOnly),
    Flag("autoCopyCall", &Settings::autoCopyCall),
    Flag("packetCapture", &Settings::packetCapture),
    Flag("webCalls", &Settings::webCalls),
    Text("prefixes", &Settings::prefixes, 0),
    Text("tplIp", &Settings::tplIp, kTemplateLimit),
    Text("tplEp", &Settings::tplEp, kTemplateLimit),
    Flag("tplWords", &Settings::tplWords),
    Int("splashMs", &Settings::splashMs, 0, 300000),
    Text("splashTitle", &Settings::splashTitle, kTitleLimit),
    Text("splashSub", &Settings::splashSub, kSubtitleLimit),
    Flag("splashBar", &Settings::splashBar),
    Text("splashImage", &Settings::splashImage, kPathLimit),
    Text("splashSound", &Settings::splashSound, kPathLimit),
    Flag("splashStopSound", &Settings::splashStopSound),
    Int("ver", &Settings::ver, INT_MIN, INT_MAX),
    Text("bgPath", &Settings::bgPath, kPathLimit),
    Int("bgDim", &Settings::bgDim, 0, 85),
    Text("bgSound", &Settings::bgSound, kPathLimit),
    Int("bgVol", &Settings::bgVol, 0, 100),
    Flag("bgMute", &Settings::bgMute),
    Flag("bgMotion", &Settings::bgMotion),
    Text("lookupHist", &Settings::lookupHist, kPathLimit),
};

// Keys that came after the custom themes' keys: written after them, so older files keep their order.
const Field kLaterFields[] = {
    Flag("byApp", &Settings::byApp),
    Flag("locateCalls", &Settings::locateCalls),
    Flag("callMoveSound", &Settings::callMoveSound),
};

bool IsCSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

int32_t Clamp(int32_t v, int32_t lo, int32_t hi) { return std::min(std::max(v, lo), hi); }

void AppendInt(std::string& out, std::string_view key, int32_t value) {
  char digits[16];
  std::snprintf(digits, sizeof digits, "%d", static_cast<int>(value));
  out.append(key).append("=").append(digits).append("\r\n");
}

// A stored text never holds a character below 32, but a line break written here would split the
// line and inject keys into the file, so the writer drops such characters rather than trust that.
void AppendText(std::string& out, std::string_view key, const std::wstring& value) {
  out.append(key).append("=").append(WideToUtf8(SanitizeText(value, value.size()))).append("\r\n");
}

void AppendField(std::string& out, const Field& f, const Settings& s) {
  switch (f.kind) {
    case Kind::kFlag:
      AppendInt(out, f.key, (s.*f.flag).load() ? 1 : 0);
      break;
    case Kind::kInt:
      AppendInt(out, f.key, s.*f.number);
      break;
    case Kind::kText:
      AppendText(out, f.key, s.*f.text);
      break;
  }
}

std::string CustomKey(int theme, const char* suffix) {
  char key[32];
  std::snprintf(key, sizeof key, "ct%d%s", theme, suffix);
  return key;
}

void ApplyCustomThemeKey(std::string_view key, std::string_view value, Settings& s) {
  // "ct" + theme digit 1-5 + suffix
  if (key.size() < 4 || key.substr(0, 2) != "ct" || key[2] < '1' || key[2] > '5') return;
  CustomTheme& t = s.customThemes[static_cast<size_t>(key[2] - '1')];
  const std::string_view suffix = key.substr(3);
  if (suffix == "count") {
    t.count = Clamp(AtoiValue(value), 2, 8);
  } else if (suffix == "accent") {
    t.accent = SanitizeText(Utf8ToWide(value), kColourLimit);
  } else if (suffix == "mode") {
    t.mode = Clamp(AtoiValue(value), 0, 2);
  } else if (suffix == "angle") {
    t.angle = Clamp(AtoiValue(value), 0, 2);
  } else if (suffix.size() == 2 && suffix[0] == 'c' && suffix[1] >= '1' && suffix[1] <= '8') {
    t.colours[static_cast<size_t>(suffix[1] - '1')] = SanitizeText(Utf8ToWide(value), kColourLimit);
  }
}

void ApplyField(const Field& f, std::string_view value, Settings& s) {
  switch (f.kind) {
    case Kind::kFlag:
      s.*f.flag = AtoiValue(value) != 0;
      break;
    case Kind::kInt:
      s.*f.number = Clamp(AtoiValue(value), f.lo, f.hi);
      break;
    case Kind::kText:
      s.*f.text = f.limit == 0 ? FilterPrefixes(Utf8ToWide(value)) : SanitizeText(Utf8ToWide(value), f.limit);
      break;
  }
}

void ApplyLine(std::string_view line, Settings& s) {
  const size_t eq = line.find('=');
  if (eq == std::string_view::npos) return;
  const std::string_view key = line.substr(0, eq);
  const std::string_view value = line.substr(eq + 1);
  for (const auto& table : {std::span<const Field>(kFields), std::span<const Field>(kLaterFields)}) {
    for (const Field& f : table) {
      if (key != f.key) continue;
      ApplyField(f, value, s);
      return;
    }
  }
  ApplyCustomThemeKey(key, value, s);
}

}  // namespace

int32_t AtoiValue(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && IsCSpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  int64_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > static_cast<int64_t>(INT_MAX) + 1) value = static_cast<int64_t>(INT_MAX) + 1;
  }
  if (negative) value = -value;
  return static_cast<int32_t>(std::clamp<int64_t>(value, INT_MIN, INT_MAX));
}

std::wstring FilterPrefixes(std::wstring_view text) {
  std::wstring out;
  for (wchar_t c : text) {
    if (out.size() >= kPrefixLimit) break;
    if ((c >= L'0' && c <= L'9') || c == L',' || c == L'.') out.push_back(c);
  }
  return out;
}

std::wstring SettingsFilePath(FileSystem& files) {
  const std::wstring folder = files.SettingsFolder();
  if (folder.empty()) return L".\\settings.ini";
  const wchar_t sep =
      folder.find(L'\\') == std::wstring::npos && folder.find(L'/') != std::wstring::npos ? L'/' : L'\\';
  files.CreateFolder(folder);  // an existing folder fails here, which is fine
  return folder + sep + L"settings.ini";
}

std::string FormatSettingsFile(const Settings& s) {
  std::string out;
  out.reserve(4096);
  for (const Field& f : kFields) {
    if (std::string_view(f.key) == "ver") {
      AppendInt(out, f.key, 2);
      continue;
    }
    AppendField(out, f, s);
  }
  for (int n = 1; n <= 5; ++n) {
    const CustomTheme& t = s.customThemes[static_cast<size_t>(n - 1)];
    AppendText(out, CustomKey(n, "accent"), t.accent);
    AppendInt(out, CustomKey(n, "count"), t.count);
    AppendInt(out, CustomKey(n, "mode"), t.mode);
    AppendInt(out, CustomKey(n, "angle"), t.angle);
    for (int m = 1; m <= 8; ++m) {
      char suffix[8];
      std::snprintf(suffix, sizeof suffix, "c%d", m);
      AppendText(out, CustomKey(n, suffix), t.colours[static_cast<size_t>(m - 1)]);
    }
  }
  for (const Field& f : kLaterFields) AppendField(out, f, s);
  return out;
}

void ApplySettingsFile(std::string_view bytes, Settings& s) {
  size_t pos = 0;
  while (pos < bytes.size()) {
    // One fgets piece: through the next LF, but never more than 2047 bytes.
    size_t end = std::min(bytes.size(), pos + (kLineBuffer - 1));
    const size_t lf = bytes.find('\n', pos);
    if (lf != std::string_view::npos && lf < end) end = lf + 1;
    std::string_view line = bytes.substr(pos, end - pos);
    pos = end;
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.remove_suffix(1);
    ApplyLine(line, s);
  }
  if (s.ver < 2) {
    s.refreshMs = std::min<int32_t>(s.refreshMs, 500);
    s.ver = 2;
  }
  if (s.theme < 0 || s.theme > 9) s.theme = 0;
}

bool WriteReplacing(FileSystem& files, const std::wstring& path, const std::string& bytes) {
  const std::wstring temp = path + L".tmp";
  // A failed write or move leaves the old file in place; the temporary file must not outlive it.
  if (!files.WriteDurable(temp, bytes) || !files.MoveReplacing(temp, path)) {
    files.Remove(temp);
    return false;
  }
  return true;
}

bool SaveSettings(const Settings& s, FileSystem& files) {
  return WriteReplacing(files, SettingsFilePath(files), FormatSettingsFile(s));
}

void LoadSettings(Settings& s, FileSystem& files, CallPrefixList& prefixList) {
  std::string bytes;
  if (files.ReadAll(SettingsFilePath(files), bytes)) ApplySettingsFile(bytes, s);
  prefixList.RebuildPrefixList(s.prefixes);
}

}  // namespace tolvane
