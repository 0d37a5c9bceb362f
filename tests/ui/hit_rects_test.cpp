// HitTest: which slot a point lands on for each face, with the cards and the backdrop behind the
// controls they hold.
#include "ui/hit_rects.h"

#include <gtest/gtest.h>

namespace tolvane {
namespace {

TEST(IsContainerSlot, OnlyTheCardsAndTheBackdrop) {
  for (int32_t s = 0; s < Slot::Count; ++s) {
    const bool want = s == Slot::CallCard || s == Slot::CallCard + 1 || s == Slot::CallCard + 2 ||
                      s == Slot::CallCard + 3 || s == Slot::SettingsCard || s == Slot::OverlayBackdrop ||
                      s == Slot::LookupCard || s == Slot::HistoryCard;
    EXPECT_EQ(IsContainerSlot(s), want) << s;
  }
}

// A window with every face's slots filled, overlapping the way the painters lay them out.
HitRectTable FilledTable() {
  HitRectTable t;
  t[Slot::CloseButton].Set(12, 12, 40, 40);
  t[Slot::SearchBox].Set(24, 300, 400, 330);
  t[Slot::PasteButton].Set(380, 300, 440, 330);  // overlaps the search box's right end
  t[Slot::TableArea].Set(24, 400, 1200, 700);
  // Call card 1 with its three buttons, card 0 beside it.
  t[Slot::CallCard].Set(24, 64, 300, 220);
  t[Slot::CallCard + 1].Set(310, 64, 600, 220);
  t[Slot::CallCopyIp + 1].Set(320, 180, 400, 210);
  t[Slot::CallCopyEndpoint + 1].Set(410, 180, 490, 210);
  t[Slot::CallInfo + 1].Set(500, 180, 590, 210);
  // Settings: the backdrop covers the window, the card sits on it with a tab and a text field.
  t[Slot::OverlayBackdrop].Set(0, 0, 1360, 880);
  t[Slot::SettingsCard].Set(200, 100, 1100, 800);
  t[Slot::SettingsTab].Set(220, 120, 320, 150);
  t[Slot::TextField].Set(220, 200, 700, 230);
  // Lookup: its card, the close button and the lookup box inside it.
  t[Slot::LookupCard].Set(150, 80, 1200, 820);
  t[Slot::LookupClose].Set(1150, 90, 1190, 120);
  t[kLookupBoxSlot].Set(170, 100, 900, 130);
  t[Slot::RecentLookup + 2].Set(170, 140, 300, 160);
  return t;
}

TEST(HitTest, ControlsBeforeTheirContainersAndTableOrderBetweenOverlaps) {
  const HitRectTable t = FilledTable();
  struct Case {
    Face face;
    int32_t x, y;
    int32_t want;
  } cases[] = {
      // Main view.
      {Face::MainView, 12, 12, Slot::CloseButton},  // inclusive corners
      {Face::MainView, 40, 40, Slot::CloseButton},
      {Face::MainView, 41, 40, Slot::None},
      {Face::MainView, 330, 190, Slot::CallCopyIp + 1},  // a card's button, not the card
      {Face::MainView, 495, 190, Slot::CallCard + 1},    // between two buttons: the card
      {Face::MainView, 550, 200, Slot::CallInfo + 1},
      {Face::MainView, 100, 100, Slot::CallCard},
      {Face::MainView, 390, 310, Slot::SearchBox},  // overlap: the earlier slot
      {Face::MainView, 430, 310, Slot::PasteButton},
      {Face::MainView, 600, 500, Slot::TableArea},
      {Face::MainView, 250, 210, Slot::CallCard},  // settings slots do not exist in the main view
      // Settings panel: controls, then the card, then the backdrop.
      {Face::SettingsPanel, 250, 130, Slot::SettingsTab},
      {Face::SettingsPanel, 300, 215, Slot::TextField},
      {Face::SettingsPanel, 900, 500, Slot::SettingsCard},
      {Face::SettingsPanel, 30, 30, Slot::OverlayBackdrop},  // the close button is covered
      {Face::SettingsPanel, 200, 90, Slot::OverlayBackdrop},
      // Lookup panel: its controls, then the box, then the card; nothing outside.
      {Face::LookupPanel, 1160, 100, Slot::LookupClose},
      {Face::LookupPanel, 400, 110, kLookupBoxSlot},
      {Face::LookupPanel, 200, 150, Slot::RecentLookup + 2},
      {Face::LookupPanel, 600, 500, Slot::LookupCard},
      {Face::LookupPanel, 250, 215, Slot::LookupCard},  // a settings field is not scanned
      {Face::LookupPanel, 30, 30, Slot::None},          // nor is the backdrop
      // The loading screen has no slots.
      {Face::LoadingScreen, 30, 30, Slot::None},
      {Face::LoadingScreen, 330, 190, Slot::None},
  };
  for (const Case& c : cases)
    EXPECT_EQ(HitTest(t, c.face, c.x, c.y), c.want) << static_cast<int>(c.face) << " at " << c.x << "," << c.y;
}

TEST(HitTest, AbsentSlotsNeverMatch) {
  HitRectTable t = FilledTable();
  t[Slot::CallCopyIp + 1].present = false;
  EXPECT_EQ(HitTest(t, Face::MainView, 330, 190), Slot::CallCard + 1);
  t[Slot::CallCard + 1].present = false;
  EXPECT_EQ(HitTest(t, Face::MainView, 330, 190), Slot::None);
  t[kLookupBoxSlot].present = false;
  EXPECT_EQ(HitTest(t, Face::LookupPanel, 400, 110), Slot::LookupCard);
  EXPECT_EQ(HitTest(HitRectTable{}, Face::MainView, 0, 0), Slot::None);  // all-zero slots, none present
}

TEST(HitTest, LastSlotOfEachFaceIsScanned) {
  HitRectTable t;
  t[kMainViewLastSlot].Set(10, 10, 20, 20);
  t[kSettingsLastSlot].Set(30, 30, 40, 40);
  t[kLookupLastSlot].Set(50, 50, 60, 60);
  EXPECT_EQ(HitTest(t, Face::MainView, 15, 15), kMainViewLastSlot);
  EXPECT_EQ(HitTest(t, Face::SettingsPanel, 35, 35), kSettingsLastSlot);
  EXPECT_EQ(HitTest(t, Face::LookupPanel, 55, 55), kLookupLastSlot);
  EXPECT_EQ(HitTest(t, Face::MainView, 35, 35), Slot::None);
  EXPECT_EQ(HitTest(t, Face::SettingsPanel, 55, 55), Slot::None);
}

}  // namespace
}  // namespace tolvane
