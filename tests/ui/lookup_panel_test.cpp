// The lookup panel's painter on the recording canvas: where the panel sits, which slots a paint
// leaves, the recent chips and their cut-off, the pills, body, map and latency card of each state,
// the command row and the credits line. Text metrics are exact (every character half the font size).
#include "ui/lookup_panel.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "ui/hit_rects.h"
#include "ui/view_fixture.h"

namespace tolvane {
namespace {

constexpr int32_t kW = 1360, kH = 880;  // X = 250, Y = 106
constexpr float X = 250, Y = 106;

class LookupPanelTest : public ViewFixture {
 protected:
  LookupPanelTest() { settings.lookupHist = L""; }

  LookupPanelSources Panel() {
    return LookupPanelSources{settings, current, cache, book, feedback, lookupText, L"ip-api.example", graphics, maps};
  }
  void Paint(int32_t W = kW, int32_t H = kH) {
    DrawContext dc = Context();
    DrawLookupPanel(dc, state, Panel(), W, H);
  }

  // Makes r the table's record of its address, as the worker would publish it.
  void Publish(const LookupResult& r) {
    current.address = r.address;
    cache.RequestLookup(r.address, true);
    std::wstring address;
    std::shared_ptr<LookupResult> record;
    ASSERT_TRUE(cache.TakeNext(address, record));
    cache.PublishResult(*record, r);
  }

  static LookupResult Done(bool hosting = false, bool proxy = false, bool mobile = false) {
    LookupResult r;
    r.address = L"8.8.4.4";
    r.state = LookupState::Done;
    r.country = L"Germany";
    r.countryCode = L"DE";
    r.regionName = L"Berlin";
    r.timezone = L"Europe/Berlin";
    r.isp = L"Example ISP";
    r.lat = 52.52;
    r.lon = -13.405;
    r.hosting = hosting;
    r.proxy = proxy;
    r.mobile = mobile;
    r.mapState = MapState::Failed;
    return r;
  }

  static std::shared_ptr<const MapImage> Map() {
    auto map = std::make_shared<MapImage>();
    map->pixels.assign(static_cast<size_t>(MapImage::kSize) * MapImage::kSize, 0xFF336699u);
    return map;
  }

  const HitRect& Hit(int32_t slot) const { return state.hits[slot]; }

  // Texts drawn with TextAt at x (the Done rows' labels).
  std::vector<std::wstring> TextsAtX(float x) const {
    std::vector<std::wstring> out;
    for (const CanvasCall& c : canvas.calls())
      if (c.kind == CallKind::TextAt && c.a.x == x) out.push_back(c.text);
    return out;
  }

  CurrentLookup current;
  LookupCache cache;
  std::wstring lookupText;
  MapImageCache maps;
};

TEST_F(LookupPanelTest, PanelIsCentredFromAClientHeightOf684AndAtTheTopBelowIt) {
  struct Case {
    int32_t W, H, x, y;
  } cases[] = {
      {1360, 880, 250, 106}, {1360, 684, 250, 8}, {1360, 683, 250, 8},  // centred would be 7
      {1360, 600, 250, 8},   {1000, 700, 70, 16}, {1361, 701, 250, 16},
  };
  for (const Case& c : cases) {
    Paint(c.W, c.H);
    const HitRect& card = Hit(Slot::LookupCard);
    EXPECT_EQ(card.left, c.x) << c.W << "x" << c.H;
    EXPECT_EQ(card.top, c.y) << c.W << "x" << c.H;
    EXPECT_EQ(card.right - card.left, 860);
    EXPECT_EQ(card.bottom - card.top, 668);
    // The scrim covers the whole client area first.
    ASSERT_FALSE(canvas.calls().empty());
    EXPECT_EQ(canvas.calls().front().argb, 0xAA04060Eu);
    EXPECT_EQ(canvas.calls().front().rect.w, static_cast<float>(c.W));
    EXPECT_EQ(canvas.calls().front().rect.h, static_cast<float>(c.H));
    EXPECT_EQ(Hit(Slot::LookupClose).left, c.x + 814);
    EXPECT_EQ(Hit(kLookupBoxSlot).left, c.x + 428);
  }
}

TEST_F(LookupPanelTest, EveryPaintClearsTheSlotsAndRecordsOnlyWhatItDraws) {
  for (int32_t slot = kLookupFirstSlot; slot <= kLookupLastSlot; ++slot) state.hits[slot].Set(1, 1, 2000, 2000);
  Paint();  // no address: no command row, no chips
  for (int32_t slot : std::vector<int32_t>{Slot::LookupCopyIp, Slot::LookupCopyAll, Slot::LookupOpenMap,
                                           Slot::LookupRefresh, Slot::RecentLookup, Slot::RecentLookup + 7})
    EXPECT_FALSE(Hit(slot).present) << slot;
  EXPECT_TRUE(Hit(Slot::LookupGo).present);
  EXPECT_TRUE(Hit(Slot::LookupClose).present);

  struct Case {
    LookupState state;
    bool map, refresh;
    int32_t refreshLeft;
  } cases[] = {
      {LookupState::Done, true, true, 488},
      {LookupState::Failed, false, true, 290},
      {LookupState::Pending, false, false, 0},
      {LookupState::Done, true, true, 488},  // and back: a slot comes back when drawn again
  };
  for (const Case& c : cases) {
    LookupResult r = Done();
    r.state = c.state;
    Publish(r);
    Paint();
    EXPECT_TRUE(Hit(Slot::LookupCopyIp).present);
    EXPECT_EQ(Hit(Slot::LookupCopyAll).left, 250 + 142);
    EXPECT_EQ(Hit(Slot::LookupOpenMap).present, c.map) << static_cast<int>(c.state);
    EXPECT_EQ(Drew(L"Open in Google Maps"), c.map);
    EXPECT_EQ(Hit(Slot::LookupRefresh).present, c.refresh) << static_cast<int>(c.state);
    if (c.refresh) {
      EXPECT_EQ(Hit(Slot::LookupRefresh).left, 250 + c.refreshLeft);
      EXPECT_EQ(Hit(Slot::LookupRefresh).right, 250 + c.refreshLeft + 90);
    }
  }
}

TEST_F(LookupPanelTest, RecentChipsAreCutTo22CharactersAndStopBeforeTheRightEdge) {
  // FontButton is 10 px: 5 px per character, chip width 5n + 20, 6 apart from X + 68. Five labels
  // of 21 characters and one of n: the sixth chip ends at X + 833 for n = 18 and X + 838 for n = 19.
  const std::wstring long21(21, L'a');
  struct Case {
    size_t sixth;
    int32_t drawn;
  } cases[] = {{18, 6}, {19, 5}};
  for (const Case& c : cases) {
    settings.lookupHist = long21 + L"," + long21 + L"," + long21 + L"," + long21 + L"," + long21 + L"," +
                          std::wstring(c.sixth, L'b') + L",example.org";
    Paint();
    int32_t present = 0;
    for (int32_t i = 0; i < 8; ++i) present += Hit(Slot::RecentLookup + i).present ? 1 : 0;
    EXPECT_EQ(present, c.drawn) << c.sixth;
    EXPECT_EQ(Drew(std::wstring(c.sixth, L'b')), c.drawn == 6);
    EXPECT_FALSE(Drew(L"example.org"));  // after a chip that did not fit, none is drawn
    if (c.drawn == 6) {
      EXPECT_EQ(Hit(Slot::RecentLookup + 5).right, 250 + 833);
    }
  }
  settings.lookupHist = L"a-very-long-website-name.example.com,1.1.1.1";
  Paint();
  EXPECT_TRUE(Drew(L"a-very-long-website..."));  // 19 characters and "..."
  EXPECT_EQ(Hit(Slot::RecentLookup).left, 250 + 68);
  EXPECT_EQ(Hit(Slot::RecentLookup).right, 250 + 68 + 22 * 5 + 20);
  EXPECT_EQ(Hit(Slot::RecentLookup + 1).left, 250 + 68 + 130 + 6);
  EXPECT_EQ(Hit(Slot::RecentLookup).top, 106 + 68);
  EXPECT_FALSE(Drew(L"Your recent lookups show up here"));

  settings.lookupHist = L"";
  Paint();
  EXPECT_TRUE(Drew(L"Your recent lookups show up here"));
  EXPECT_FALSE(Hit(Slot::RecentLookup).present);
}

TEST_F(LookupPanelTest, HoveredChipIsFilledStronger) {
  settings.lookupHist = L"1.1.1.1";
  state.mouseX = 250 + 70;
  state.mouseY = 106 + 70;
  Paint();
  EXPECT_FALSE(canvas.FillsWithColour(WithAlpha(palette().accent, 0x50)).empty());
  EXPECT_FALSE(canvas.StrokesWithColour(WithAlpha(palette().accent, 0xDC)).empty());
  state.mouseX = state.mouseY = -1;
  Paint();
  EXPECT_FALSE(canvas.FillsWithColour(WithAlpha(palette().accent, 0x28)).empty());
}

TEST_F(LookupPanelTest, PillsFollowTheStateAndTheThreeFlags) {
  const ThemePalette& p = palette();
  struct PillWant {
    const wchar_t* text;
    uint32_t colour;
  };
  struct Case {
    LookupState state;
    bool hosting, proxy, mobile;
    std::vector<PillWant> pills;
  } cases[] = {
      {LookupState::Pending, false, false, false, {{L"Looking up...", p.accent}}},
      {LookupState::Failed, false, false, false, {{L"LOOKUP FAILED", p.bad}}},
      {LookupState::Done,
       false,
       false,
       false,
       {{L"DATA CENTER: NO", p.good}, {L"VPN / PROXY: NO", p.good}, {L"MOBILE NETWORK: NO", p.textDim}}},
      {LookupState::Done,
       true,
       true,
       true,
       {{L"DATA CENTER: YES", p.warn}, {L"VPN / PROXY: YES", p.bad}, {L"MOBILE NETWORK: YES", p.warn}}},
  };
  for (const Case& c : cases) {
    LookupResult r = Done(c.hosting, c.proxy, c.mobile);
    r.state = c.state;
    Publish(r);
    Paint();
    float left = 0;
    for (const PillWant& pill : c.pills) {
      const CanvasCall* t = canvas.FindText(pill.text);
      ASSERT_NE(t, nullptr) << pill.text;
      EXPECT_EQ(t->argb, pill.colour) << pill.text;
      EXPECT_EQ(t->rect.y, Y + 100) << pill.text;
      EXPECT_GT(t->rect.x, left) << pill.text;  // left to right from X + 24
      left = t->rect.x;
    }
    EXPECT_EQ(canvas.FindText(c.pills.front().text)->rect.x, X + 24 + 20);
  }
  current.address = L"192.168.1.10";
  cache.RequestLookup(current.address, false);  // Private at once
  Paint();
  ASSERT_NE(canvas.FindText(L"PRIVATE / LOCAL ADDRESS"), nullptr);
  EXPECT_EQ(canvas.FindText(L"PRIVATE / LOCAL ADDRESS")->argb, p.textDim);
}

TEST_F(LookupPanelTest, DoneRowsLeaveOutEmptyFieldsAndAlwaysShowTheCoordinates) {
  Publish(Done());  // no city, district or zip
  Paint();
  const std::vector<std::wstring> labels = TextsAtX(X + 24);
  const std::vector<std::wstring> want = {L"Recent", L"Country", L"Region", L"Coordinates", L"Timezone", L"ISP"};
  EXPECT_EQ(labels, want);
  const CanvasCall* coordinates = canvas.FindText(L"52.52000, -13.40500");
  ASSERT_NE(coordinates, nullptr);
  EXPECT_EQ(coordinates->rect.y, Y + 142 + 26 * 2);  // third row
  EXPECT_EQ(coordinates->rect.x, X + 128);
  EXPECT_EQ(canvas.FindText(L"Coordinates")->a.y, Y + 142 + 26 * 2 + 3);
  EXPECT_TRUE(Drew(L"Germany (DE)"));

  LookupResult full = Done();
  full.address = L"9.9.9.9";
  full.city = L"Berlin";
  full.district = L"Mitte";
  full.zip = L"10115";
  full.org = L"Org";
  full.as = L"AS3320 Example";
  full.asname = L"EXAMPLE";
  full.reverse = L"host.example";
  full.continent = L"Europe";
  full.currency = L"EUR";
  full.countryCode.clear();
  Publish(full);
  Paint();
  const std::vector<std::wstring> all = {L"Recent",       L"Country",     L"Region",      L"City",      L"District",
                                         L"ZIP / postal", L"Coordinates", L"Timezone",    L"ISP",       L"Organization",
                                         L"AS number",    L"AS name",     L"Reverse DNS", L"Continent", L"Currency"};
  EXPECT_EQ(TextsAtX(X + 24), all);
  EXPECT_TRUE(Drew(L"Germany"));  // no code: no brackets
  EXPECT_EQ(canvas.FindText(L"EUR")->rect.y, Y + 142 + 26 * 13);
}

TEST_F(LookupPanelTest, BodyTextsOfTheOtherStates) {
  Paint();  // no address
  EXPECT_TRUE(Drew(L"IP / website lookup"));
  // The paragraph is wrapped into lines 17 apart in its 390 wide box, not cut after one line.
  std::wstring joined;
  int32_t lines = 0;
  for (const CanvasCall& c : canvas.calls()) {
    if (c.kind != CallKind::TextInRect || c.rect.x != X + 24 || c.fontSize != 12) continue;
    EXPECT_EQ(c.rect.y, Y + 142 + 17 * lines);
    EXPECT_LE(c.text.size() * 6, 390u) << c.text;
    EXPECT_EQ(c.argb, palette().textDim);
    joined += (lines++ ? L" " : L"") + c.text;
  }
  EXPECT_EQ(lines, 4);
  EXPECT_EQ(joined,
            L"Type any IP address or website above and press Enter. You get the location, data center / VPN flags, "
            L"network owner, a map and a live ping graph. This is separate from the IPs in your capture list.");
  EXPECT_FALSE(Drew(L"Looking up..."));

  LookupResult r = Done();
  r.state = LookupState::Pending;
  Publish(r);
  Paint();
  ASSERT_NE(canvas.FindText(L"Contacting the lookup server..."), nullptr);
  EXPECT_EQ(canvas.FindText(L"8.8.4.4")->fontSize, 20);  // the title in FontMonoLarge

  r.state = LookupState::Failed;
  r.message = L"Rate limit reached. Wait a minute and press Refresh.";
  Publish(r);
  Paint();
  const CanvasCall* message = canvas.FindText(r.message);
  ASSERT_NE(message, nullptr);
  EXPECT_EQ(message->argb, palette().bad);
  EXPECT_EQ(message->rect.x, X + 24);
  EXPECT_EQ(message->rect.y, Y + 142);

  current.address = L"10.0.0.1";
  cache.RequestLookup(current.address, false);
  Paint();
  EXPECT_NE(canvas.FindTextContaining(L"This address belongs to your own network"), nullptr);
  EXPECT_NE(canvas.FindTextContaining(L"public location."), nullptr);
}

TEST_F(LookupPanelTest, SubtitleNamesTheWebsiteTheRowOrAManualLookup) {
  struct Case {
    std::wstring address, website, app, protocol;
    int32_t port, pid;
    std::wstring want;
  } cases[] = {
      {L"", L"", L"", L"", 0, 0, L""},
      {L"1.2.3.4", L"", L"", L"", 0, 0, L"Manual lookup"},
      {L"1.2.3.4", L"example.org", L"", L"", 0, 0, L"example.org  \u2192  1.2.3.4"},
      {L"1.2.3.4", L"", L"Discord.exe", L"UDP4", 50004, 4242,
       L"Discord.exe  \u00b7  UDP4  \u00b7  port 50004  \u00b7  PID 4242"},
      {L"1.2.3.4", L"", L"game.exe", L"UDP4", 0, 4242, L"game.exe  \u00b7  UDP4  \u00b7  PID 4242"},
  };
  for (const Case& c : cases) {
    current.address = c.address;
    current.websiteName = c.website;
    current.context = LookupContext{c.app, c.protocol, c.pid, c.port};
    EXPECT_EQ(LookupSubtitle(current), c.want);
  }
  Paint();
  const CanvasCall* sub = canvas.FindText(L"game.exe  \u00b7  UDP4  \u00b7  PID 4242");
  ASSERT_NE(sub, nullptr);
  EXPECT_EQ(sub->rect.x, X + 26);
  EXPECT_EQ(sub->argb, palette().textMuted);
}

TEST_F(LookupPanelTest, MapShowsTheCropAroundTheMarkerWithPinAndAttribution) {
  LookupResult r = Done();
  r.mapState = MapState::Ready;
  r.map = Map();
  r.markerX = 300.5f;
  r.markerY = 420.25f;
  Publish(r);
  Paint();
  ASSERT_EQ(canvas.Count(CallKind::ImageRect), 1u);
  const CanvasCall& image = *canvas.OfKind(CallKind::ImageRect).front();
  EXPECT_EQ(image.rect.x, X + 440);
  EXPECT_EQ(image.rect.y, Y + 142);
  EXPECT_EQ(image.rect.w, 396);
  EXPECT_EQ(image.rect.h, 270);
  EXPECT_FLOAT_EQ(image.source.x, 300.5f - 198);
  EXPECT_FLOAT_EQ(image.source.y, 420.25f - 135);
  EXPECT_EQ(image.source.w, 396);  // 1:1
  EXPECT_EQ(image.source.h, 270);
  ASSERT_NE(image.image, nullptr);
  EXPECT_EQ(image.image->Width(), 768);

  const float cx = X + 638, cy = Y + 277;
  bool head = false, shadow = false, dot = false;
  for (const CanvasCall* e : canvas.OfKind(CallKind::FillEllipse)) {
    if (e->rect.x == cx - 10 && e->rect.y == cy - 28 && e->rect.w == 20)
      head = e->argb == (palette().accent | 0xFF000000u);
    if (e->rect.x == cx - 9 && e->rect.y == cy + 4 && e->rect.w == 18) shadow = e->argb == 0x3C000000u;
    if (e->rect.x == cx - 4 && e->rect.y == cy - 22 && e->rect.w == 8) dot = e->argb == 0xFFFFFFFFu;
  }
  EXPECT_TRUE(head);
  EXPECT_TRUE(shadow);
  EXPECT_TRUE(dot);
  const CanvasCall* attribution = canvas.FindText(L"\u00a9 OpenStreetMap contributors");
  ASSERT_NE(attribution, nullptr);
  EXPECT_EQ(attribution->horizontal, TextAlign::Far);
  EXPECT_EQ(attribution->rect.y, Y + 394);
  EXPECT_EQ(canvas.Count(CallKind::PushClipPath), 1u);
  EXPECT_EQ(canvas.ClipDepth(), 0);

  // The image is made once per map, not per paint; a refreshed lookup brings a new one.
  Paint();
  EXPECT_EQ(maps.conversions(), 1);
  r.map = Map();
  Publish(r);
  Paint();
  EXPECT_EQ(maps.conversions(), 2);
}

TEST_F(LookupPanelTest, MapTextFollowsTheMapStateAndTheLookupState) {
  struct Case {
    LookupState state;
    MapState map;
    const wchar_t* text;
  } cases[] = {
      {LookupState::Done, MapState::Loading, L"Loading map..."},
      {LookupState::Pending, MapState::Loading, L"Loading map..."},
      {LookupState::Failed, MapState::Loading, L"No map available"},
      {LookupState::Failed, MapState::None, L"No map available"},
      {LookupState::Done, MapState::Failed, L"Map unavailable (tiles could not be downloaded)"},
      {LookupState::Done, MapState::Ready, L"Map unavailable (tiles could not be downloaded)"},  // no image
  };
  for (const Case& c : cases) {
    LookupResult r = Done();
    r.state = c.state;
    r.mapState = c.map;
    Publish(r);
    Paint();
    const CanvasCall* t = canvas.FindText(c.text);
    ASSERT_NE(t, nullptr) << c.text;
    EXPECT_EQ(t->argb, 0xFF5A5A5Au);
    EXPECT_EQ(t->horizontal, TextAlign::Center);
    EXPECT_EQ(canvas.Count(CallKind::ImageRect), 0u);
    EXPECT_FALSE(Drew(L"\u00a9 OpenStreetMap contributors"));
  }
  current.address = L"192.168.0.7";
  cache.RequestLookup(current.address, false);
  Paint();
  EXPECT_TRUE(Drew(L"No map for private addresses"));
  EXPECT_TRUE(Drew(L"No ping for private addresses"));
  current.address.clear();
  Paint();
  EXPECT_TRUE(Drew(L"The map appears here"));
  EXPECT_TRUE(Drew(L"Ping graph"));
}

TEST_F(LookupPanelTest, LatencyCardWithALostSampleShowsStatisticsAxisTickAreaLineAndDot) {
  Publish(Done());
  for (int32_t s : {20, -1, 30}) book.RecordSample(L"8.8.4.4", s);
  Paint();
  const ThemePalette& p = palette();
  ASSERT_NE(canvas.FindText(L"min 20   avg 25   max 30   jitter 0   loss 33%"), nullptr);
  EXPECT_EQ(canvas.FindText(L"min 20   avg 25   max 30   jitter 0   loss 33%")->a.y, Y + 584);
  const CanvasCall* now = canvas.FindText(L"30 ms");
  ASSERT_NE(now, nullptr);
  EXPECT_EQ(now->argb, p.good);
  EXPECT_EQ(now->a.x, X + 454);
  // The axis of 50: the grid labels from the top, at y - 13 of lines 52 apart from T = Y + 436.
  const wchar_t* labels[] = {L"50", L"34", L"17", L"0"};
  for (int32_t k = 0; k < 4; ++k) {
    const CanvasCall* t = canvas.FindText(labels[k]);
    ASSERT_NE(t, nullptr) << k;
    EXPECT_EQ(t->a.y, Y + 436 + 52 * k - 13) << k;
  }
  // One loss tick, for the middle sample (slot 58 of 60).
  const auto ticks = canvas.StrokesWithColour(WithAlpha(p.bad, 0x96));
  ASSERT_EQ(ticks.size(), 1u);
  EXPECT_NEAR(ticks[0]->a.x, X + 590 + 58 * 200.0 / 59, 0.01);
  EXPECT_EQ(ticks[0]->a.y, Y + 584);
  EXPECT_EQ(ticks[0]->b.y, Y + 592);
  // The area and the gradient line through the two points.
  const CanvasCall* line = nullptr;
  for (const CanvasCall* s : canvas.OfKind(CallKind::StrokePath))
    if (s->pen.width == 2.25f) line = s;
  ASSERT_NE(line, nullptr);
  EXPECT_TRUE(line->pen.roundJoins);
  EXPECT_TRUE(line->pen.brush.gradient);
  EXPECT_EQ(line->pen.brush.colours, (std::vector<uint32_t>{p.accent2, p.accent}));
  EXPECT_EQ(line->pen.brush.p0.x, X + 590);
  EXPECT_EQ(line->pen.brush.p1.x, X + 820);
  EXPECT_FALSE(canvas.FillsWithColour(WithAlpha(p.accent, 0x60)).empty());
  // The last point's dot in the latest sample's colour, at the right edge of the plot.
  bool dot = false;
  for (const CanvasCall* e : canvas.OfKind(CallKind::FillEllipse))
    if (e->rect.w == 7 && e->argb == p.good) dot = std::abs(e->rect.x + 3.5f - (X + 790)) < 0.01f;
  EXPECT_TRUE(dot);
  EXPECT_FALSE(Drew(L"collecting samples..."));
  EXPECT_EQ(canvas.ClipDepth(), 0);
}

TEST_F(LookupPanelTest, LatencyCardNotesWithoutAGraph) {
  struct Case {
    std::wstring address;
    std::vector<int32_t> samples;
    bool ping;
    const wchar_t* note;   // drawn
    const wchar_t* value;  // the large current value
  } cases[] = {
      {L"8.8.4.1", {}, true, L"collecting samples...", L"\u2014"},
      {L"8.8.4.2", {42}, true, L"collecting samples...", L"42 ms"},
      {L"8.8.4.3", {42, 43}, false, L"Ping measurement is turned off in Settings", L"43 ms"},
      {L"2001:db8::1", {}, true, L"Ping graph is available for IPv4 addresses", L"\u2014"},
  };
  for (const Case& c : cases) {
    LookupResult r = Done();
    r.address = c.address;
    Publish(r);
    for (int32_t s : c.samples) book.RecordSample(c.address, s);
    settings.enablePing = c.ping;
    Paint();
    EXPECT_TRUE(Drew(c.note)) << c.note;
    EXPECT_TRUE(Drew(c.value)) << c.value;
    const bool graph = c.ping && c.address.find(L':') == std::wstring::npos;
    EXPECT_EQ(Drew(L"50"), graph) << c.note;  // grid labels only with the graph
    EXPECT_EQ(canvas.Count(CallKind::ImageRect), 0u);
  }
}

TEST_F(LookupPanelTest, CopyIpReadsCopiedWhileItsTextWasJustCopiedAndCreditsNameTheService) {
  Publish(Done());
  Paint();
  EXPECT_TRUE(Drew(L"Copy IP"));
  const CanvasCall* credits = canvas.FindTextContaining(L"Lookup by ");
  ASSERT_NE(credits, nullptr);
  EXPECT_EQ(credits->text,
            L"Lookup by ip-api.example  \u00b7  map \u00a9 OpenStreetMap  \u00b7  the IP is sent to those services");
  EXPECT_EQ(credits->rect.y, Y + 650);
  ASSERT_TRUE(feedback.CopyWithFeedback(1, L"8.8.4.4", L"IP"));
  Paint();
  EXPECT_TRUE(Drew(L"Copied \u2713"));
  clock.Advance(1600);
  Paint();
  EXPECT_TRUE(Drew(L"Copy IP"));
}

TEST(LookupPanelTexts, ServiceHostAndWebMapLink) {
  struct Host {
    const wchar_t* base;
    const wchar_t* host;
  } hosts[] = {
      {L"http://ip-api.com", L"ip-api.com"},
      {L"http://127.0.0.1:8080", L"127.0.0.1"},
      {L"https://user@geo.example/api", L"geo.example"},
      {L"http://[::1]:9000/x", L"::1"},
      {L"geo.example", L"geo.example"},
      {L"http://u:p@ss@geo.example:81/a@b?c://d", L"geo.example"},  // "@" and "://" beyond the host count for nothing
  };
  for (const Host& h : hosts) EXPECT_EQ(ServiceHostName(h.base), h.host) << h.base;

  struct Link {
    double lat, lon;
    const wchar_t* link;
  } links[] = {
      {52.520008, 13.404954, L"https://www.google.com/maps?q=52.520008,13.404954"},
      {-33.8688197, 151.20929, L"https://www.google.com/maps?q=-33.868820,151.209290"},
      {0, 0, L"https://www.google.com/maps?q=0.000000,0.000000"},
      {1e300, 0, L""},
      {0, std::nan(""), L""},
  };
  for (const Link& l : links) EXPECT_EQ(WebMapLink(l.lat, l.lon), l.link) << l.lat;
}

}  // namespace
}  // namespace tolvane
