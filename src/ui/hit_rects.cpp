// HitTest: one scan over the face's slots in table order, with the container slots held back
// until every other slot of the scan has been tried.
#include "ui/hit_rects.h"

namespace tolvane {

bool IsContainerSlot(int32_t slot) {
  return (slot >= Slot::CallCard && slot < Slot::CallCard + 4) || slot == Slot::SettingsCard ||
         slot == Slot::OverlayBackdrop || slot == Slot::LookupCard || slot == Slot::HistoryCard;
}

namespace {

// The first present, non-container slot of [first, last] containing the point; Slot::None if none.
int32_t ScanControls(const HitRectTable& table, int32_t first, int32_t last, int32_t x, int32_t y) {
  for (int32_t s = first; s <= last; ++s)
    if (!IsContainerSlot(s) && table[s].Contains(x, y)) return s;
  return Slot::None;
}

int32_t ScanContainers(const HitRectTable& table, int32_t first, int32_t last, int32_t x, int32_t y) {
  for (int32_t s = first; s <= last; ++s)
    if (IsContainerSlot(s) && table[s].Contains(x, y)) return s;
  return Slot::None;
}

}  // namespace

int32_t HitTest(const HitRectTable& table, Face face, int32_t x, int32_t y) {
  int32_t first = 0, last = -1;
  switch (face) {
    case Face::LoadingScreen:
      return Slot::None;
    case Face::LookupPanel: {
      int32_t hit = ScanControls(table, kLookupFirstSlot, kLookupLastSlot, x, y);
      if (hit == Slot::None && table[kLookupBoxSlot].Contains(x, y)) hit = kLookupBoxSlot;
      if (hit == Slot::None) hit = ScanContainers(table, kLookupFirstSlot, kLookupLastSlot, x, y);
      return hit;
    }
    case Face::SettingsPanel:
      first = kSettingsFirstSlot;
      last = kSettingsLastSlot;
      break;
    case Face::HistoryPanel:
      first = kHistoryFirstSlot;
      last = kHistoryLastSlot;
      break;
    case Face::MainView:
      first = kMainViewFirstSlot;
      last = kMainViewLastSlot;
      break;
  }
  const int32_t hit = ScanControls(table, first, last, x, y);
  return hit != Slot::None ? hit : ScanContainers(table, first, last, x, y);
}

}  // namespace tolvane
