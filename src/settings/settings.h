// The settings record: every user choice of the program, with its default.
//
// One instance lives for the whole process (owned by the application object). Only the main thread
// writes it. Worker threads read the boolean and integer switches without a lock, which is why those
// fields are Relaxed atomics; the text fields are main-thread only. Field names are the keys of the
// settings file. The valid ranges are enforced by the loader and by the editing operations.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "settings/relaxed.h"

namespace tolvane {

struct CustomTheme {
  std::wstring accent;                  // colour text "RRGGBB"; empty = derived automatically
  int32_t count = 2;                    // 2..8 gradient colours in use
  int32_t mode = 0;                     // text colour: 0 auto, 1 for dark, 2 for light
  int32_t angle = 1;                    // 0 horizontal, 1 diagonal, 2 vertical
  std::array<std::wstring, 8> colours;  // slots at or beyond count are kept but ignored
};

struct Settings {
  Relaxed<int32_t> theme = 0;  // 0..9: 0-4 built-in themes, 5-9 custom themes 1-5
  Relaxed<bool> showLan = false;
  Relaxed<bool> showSystem = false;
  Relaxed<bool> enableIpv6 = true;
  Relaxed<bool> enableUdp = true;
  Relaxed<bool> enablePing = true;
  Relaxed<bool> discordFocus = false;
  Relaxed<bool> autoRefresh = true;
  Relaxed<bool> alwaysOnTop = false;
  Relaxed<bool> splash = true;
  Relaxed<int32_t> refreshMs = 500;  // 250..5000
  Relaxed<int32_t> scrollSpeed = 3;  // 1..10
  Relaxed<bool> callOnly = true;
  Relaxed<bool> autoCopyCall = false;
  Relaxed<bool> packetCapture = true;
  Relaxed<bool> webCalls = false;
  std::wstring prefixes = L"104,3";  // "0"-"9", ",", "." only; at most 60
  std::wstring tplIp = L"IP";        // at most 300, no character below 32
  std::wstring tplEp = L"IP:port";   // as tplIp
  Relaxed<bool> tplWords = true;
  Relaxed<int32_t> splashMs = 1000;                            // 0..300000; 0 = until a click or key
  std::wstring splashTitle = L"Tolvane";                       // at most 60
  std::wstring splashSub = L"Initializing socket capture...";  // at most 100
  Relaxed<bool> splashBar = true;
  std::wstring splashImage;  // at most 400
  std::wstring splashSound;  // at most 400
  Relaxed<bool> splashStopSound = true;
  std::array<CustomTheme, 5> customThemes;
  std::wstring bgPath;          // at most 400
  Relaxed<int32_t> bgDim = 35;  // 0..85
  std::wstring bgSound;         // at most 400
  Relaxed<int32_t> bgVol = 50;  // 0..100
  Relaxed<bool> bgMute = false;
  Relaxed<bool> bgMotion = true;
  std::wstring lookupHist;              // at most 400; recent lookups, comma-joined
  Relaxed<int32_t> ver = 0;             // format generation read from the file
  Relaxed<bool> byApp = false;          // the table folds into one row per application
  Relaxed<bool> locateCalls = true;     // each new call server is located once
  Relaxed<bool> callMoveSound = false;  // the notification sound when the voice server moves
};

// A record holding every default, the five default custom themes included.
Settings MakeDefaultSettings();

// Removes every character below 32, then cuts to at most limit characters (UTF-16 units). A
// surrogate pair is kept or dropped whole, so a cut never leaves half a character.
std::wstring SanitizeText(const std::wstring& text, size_t limit);

// The two halves of a UTF-16 surrogate pair. Texts are UTF-16 on Windows; elsewhere a wchar_t can
// still hold the halves as units, and the same rules apply to them.
constexpr bool IsHighSurrogate(wchar_t c) {
  return static_cast<uint32_t>(c) >= 0xD800 && static_cast<uint32_t>(c) <= 0xDBFF;
}
constexpr bool IsLowSurrogate(wchar_t c) {
  return static_cast<uint32_t>(c) >= 0xDC00 && static_cast<uint32_t>(c) <= 0xDFFF;
}

}  // namespace tolvane
