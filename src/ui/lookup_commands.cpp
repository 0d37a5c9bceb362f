// The lookup panel's commands: its clicks, tested in the order in which overlapping targets win,
// its keys (Escape is the router's, see ui/commands.cpp) and typing into the lookup box. The panel
// painter (ui/lookup_panel.cpp) records the slots tested here; a button it did not draw has no slot.
// Main thread only.
#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "clipboard/copy_actions.h"
#include "lookup/lookup_service.h"
#include "lookup/lookup_target.h"
#include "ui/commands.h"
#include "ui/lookup_panel.h"
#include "ui/main_window.h"

namespace tolvane {
namespace {

constexpr TextFieldId kBox = TextFieldId::kLookup;
constexpr int32_t kBoxId = static_cast<int32_t>(TextFieldId::kLookup);

// Enter in the box, "Look up" or a recent entry. An answer that opens a lookup closes the settings
// panel (the two panels are never open together).
void Submit(MainWindow& w, std::wstring_view text) {
  if (LookupCommands* commands = w.app().lookupCommands()) commands->SubmitLookupText(text);
  w.NoteLookupOpened();
}

// The current address through the IP template with the context the lookup was opened from.
void CopyCurrentAddress(MainWindow& w) {
  const CurrentLookup& cur = w.app().currentLookup();
  if (cur.address.empty()) return;
  CopyLookupAddress(w.app().copyFeedback(), w.app().settings(), w.state().window, cur.address, cur.context.app,
                    cur.context.protocol, static_cast<uint32_t>(cur.context.pid), cur.context.port);
}

}  // namespace

void LookupPanelClick(MainWindow& w, int32_t x, int32_t y) {
  const HitRectTable& h = w.state().hits;
  Application& app = w.app();
  SettingsEditor& editor = w.editor();
  CurrentLookup& current = app.currentLookup();
  auto hit = [&](int32_t slot) { return h[slot].Contains(x, y); };

  if (hit(Slot::LookupClose) || !hit(Slot::LookupCard)) {
    current.panelOpen.store(false);
    editor.focusedField = kNoField;
    return;
  }
  if (hit(kLookupBoxSlot)) {
    editor.focusedField = kBoxId;
    return;
  }
  if (hit(Slot::LookupGo)) {
    const std::wstring text = editor.lookupText;
    Submit(w, text);
    return;
  }
  const std::vector<std::wstring> recent = LoadRecentLookups(app.settings());
  const auto chips = static_cast<int32_t>(std::min(recent.size(), kMaxRecentLookups));
  for (int32_t i = 0; i < chips; ++i) {
    if (hit(Slot::RecentLookup + i)) {
      const std::wstring& entry = recent[static_cast<size_t>(i)];
      editor.lookupText = entry;
      Submit(w, entry);  // recent is a copy: the submit may rewrite the list it came from
      return;
    }
  }

  editor.focusedField = kNoField;
  if (current.address.empty()) return;
  const LookupResult result = SnapshotCurrentLookup(app.lookupCache(), current);
  CopyFeedback& feedback = app.copyFeedback();
  if (hit(Slot::LookupCopyIp)) {
    CopyCurrentAddress(w);
  } else if (hit(Slot::LookupCopyAll)) {
    const std::wstring text = BuildCopyAllText(result);
    if (feedback.SetClipboardText(w.state().window, text)) {
      feedback.RecordCopied(text);
      feedback.ShowToast(L"Copied all info for " + current.address);
    }
  } else if (hit(Slot::LookupOpenMap)) {
    // The slot is from the last paint; a refresh since then may have left the result without a
    // location, so the state is checked again.
    if (result.state == LookupState::Done) {
      const std::wstring link = WebMapLink(result.lat, result.lon);
      if (!link.empty()) w.host().OpenLink(link);
    }
  } else if (hit(Slot::LookupRefresh)) {
    app.lookupCache().RequestLookup(current.address, true);
  }
}

void LookupPanelKey(MainWindow& w, uint32_t key, bool ctrl) {
  SettingsEditor& editor = w.editor();
  if (ctrl && key == Key::V) {
    const std::wstring text = w.app().copyFeedback().GetClipboardText(w.state().window);
    if (!text.empty()) {
      editor.lookupText.clear();
      editor.focusedField = kBoxId;
      editor.FieldInsert(kBox, text);
    }
  } else if (ctrl && key == Key::C) {
    CopyCurrentAddress(w);
  } else if (key == Key::Delete) {
    if (editor.focusedField == kBoxId) editor.FieldClear(kBox);
  } else if (ctrl && key == Key::L) {
    editor.focusedField = kBoxId;
  }
}

void LookupPanelChar(MainWindow& w, wchar_t c) {
  SettingsEditor& editor = w.editor();
  if (editor.focusedField != kBoxId) return;
  if (c == L'\b') {
    editor.FieldBackspace(kBox);
  } else if (c == L'\r') {
    const std::wstring text = editor.lookupText;
    Submit(w, text);
  } else if (static_cast<uint32_t>(c) >= 32) {
    editor.FieldInsert(kBox, std::wstring_view(&c, 1));
  }
  w.FullRepaint();
}

}  // namespace tolvane
