// The settings file: settings.ini in the platform's settings folder (%APPDATA%\Tolvane on Windows),
// 98 UTF-8 "key=value" lines ending in CR LF.
//
// The writer always writes every key in one fixed order and replaces the file through a temporary
// file that is flushed to the disk before the replacing move, so neither a failed write nor a
// power cut after the move leaves a half-written or empty settings file. The reader tolerates
// anything: missing, unknown, repeated and out-of-range entries are skipped, read as 0 or clamped,
// so every field is within its valid range after a load. Main thread only; saves never overlap.
#pragma once

#include <string>
#include <string_view>

#include "capture/call_prefix.h"
#include "platform/files.h"
#include "settings/settings.h"

namespace tolvane {

// The platform's settings folder (created when missing) + "\settings.ini"; ".\settings.ini" when
// the folder cannot be had. The separator follows the one the folder path uses, so Linux's "/"
// paths work as well.
std::wstring SettingsFilePath(FileSystem& files);

// The exact bytes of a settings file holding s (ver is always written as 2).
std::string FormatSettingsFile(const Settings& s);

// Applies the lines of a settings file to s, then the format-generation rule (ver < 2 caps
// refreshMs at 500 and sets ver 2) and the theme range check.
void ApplySettingsFile(std::string_view bytes, Settings& s);

// Writes bytes to path + ".tmp", flushed to the disk, then moves that over path. False when path
// was not replaced; it is then untouched and no temporary file is left behind.
bool WriteReplacing(FileSystem& files, const std::wstring& path, const std::string& bytes);

// Writes s through path + ".tmp" and a replacing move. False when nothing was replaced; the
// previous file is then untouched and no temporary file is left behind. Callers may ignore it.
bool SaveSettings(const Settings& s, FileSystem& files);

// Reads the file into s when it can be read (otherwise s stays as it is), then rebuilds the call
// prefix list from s.prefixes in either case.
void LoadSettings(Settings& s, FileSystem& files, CallPrefixList& prefixList);

// The standard atoi reading: leading white space, an optional sign, digits; no digits gives 0.
// Out-of-range values saturate at the 32-bit limits, as the Windows C runtime does.
int32_t AtoiValue(std::string_view text);

// The characters "0"-"9", "," and "." of text, cut to 60.
std::wstring FilterPrefixes(std::wstring_view text);

}  // namespace tolvane
