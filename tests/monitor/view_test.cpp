// The connection view: filter rules, search, sort order, first-seen and fade, selection, scroll
// clamp and the change bits, on a hand-made snapshot shaped like the demonstration rows.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "fakes/fake_clock.h"
#include "monitor/view.h"

namespace tolvane {
namespace {

ConnectionRow MakeRow(const std::wstring& name, uint32_t pid, const std::wstring& protocol, int32_t localPort,
                      const std::wstring& remote, int32_t remotePort, const std::wstring& state,
                      const std::wstring& category, const std::wstring& role, uint64_t packets = 0, int32_t age = -1) {
  ConnectionRow r;
  r.processName = name;
  r.pid = pid;
  r.protocol = protocol;
  r.localPort = localPort;
  r.localEndpoint = L"192.168.1.23:" + std::to_wstring(localPort);
  r.remoteAddress = remote;
  r.remotePort = remotePort;
  r.remoteEndpoint =
      remote == L"*" ? L"Voice UDP :" + std::to_wstring(localPort) : remote + L":" + std::to_wstring(remotePort);
  r.state = state;
  r.category = category;
  r.role = role;
  r.packets = packets;
  r.ageMs = age;
  return r;
}

RowList DemoLikeRows() {
  return {
      MakeRow(L"Discord.exe", 4242, L"UDP4", 56012, L"35.214.40.77", 50031, L"ACTIVE", L"discord",
              L"Discord Voice Call", 18234, 90),
      MakeRow(L"Discord.exe", 4242, L"UDP4", 56013, L"104.18.12.201", 50004, L"ACTIVE", L"discord",
              L"Discord Voice Call", 640, 300),
      MakeRow(L"Discord.exe", 4242, L"UDP4", 56014, L"66.22.199.5", 50040, L"RECENT", L"discord", L"Discord Voice Call",
              22, 9000),
      MakeRow(L"Discord.exe", 4242, L"TCP4", 51022, L"162.159.135.234", 443, L"ACTIVE", L"discord", L"Discord API"),
      MakeRow(L"Discord.exe", 4242, L"TCP4", 51023, L"104.18.32.47", 443, L"ACTIVE", L"discord", L"Discord API"),
      MakeRow(L"Discord.exe", 4242, L"UDP4", 56020, L"*", 0, L"OPEN", L"discord", L"Discord Voice Call"),
      MakeRow(L"chrome.exe", 5151, L"TCP4", 51500, L"142.250.80.46", 443, L"ACTIVE", L"browser", L"Browser HTTPS"),
      MakeRow(L"chrome.exe", 5151, L"UDP4", 51501, L"142.250.80.46", 443, L"ACTIVE", L"browser", L"Browser HTTP/3 QUIC",
              500, 100),
      MakeRow(L"cs2.exe", 6262, L"TCP4", 54242, L"23.45.67.89", 27015, L"ACTIVE", L"game", L"Game Server"),
      MakeRow(L"cs2.exe", 6262, L"UDP6", 54300, L"2600:1f18::5", 27015, L"ACTIVE", L"game", L"Game Server"),
  };
}

struct Rig {
  Rig() : calls(settings, prefixes, clock), view(published, calls, book, settings, prefixes, clock) {
    prefixes.RebuildPrefixList(L"104,3");
    Publish(DemoLikeRows());
  }
  void Publish(RowList rows) {
    std::lock_guard<std::mutex> guard(published.lock);
    published.rows = std::move(rows);
  }
  std::set<std::wstring> ShownRemotes() const {
    std::set<std::wstring> out;
    for (const ViewRow& r : view.ViewRows()) out.insert(r.remoteEndpoint);
    return out;
  }
  Settings settings;
  PublishedRows published;
  CallPrefixList prefixes;
  LatencyBook book;
  FakeClock clock;
  CallList calls;
  ConnectionView view;
  ViewInputs inputs;
};

TEST(ViewTest, CallOnlyHidesDiscordRowsOutsideTheCallPrefixes) {
  struct Case {
    bool callOnly;
    std::set<std::wstring> discordShown;
  };
  const Case cases[] = {
      {true, {L"35.214.40.77:50031", L"104.18.12.201:50004", L"104.18.32.47:443"}},
      {false,
       {L"35.214.40.77:50031", L"104.18.12.201:50004", L"104.18.32.47:443", L"66.22.199.5:50040",
        L"162.159.135.234:443", L"Voice UDP :56020"}},
  };
  for (const Case& c : cases) {
    Rig rig;
    rig.settings.callOnly = c.callOnly;
    rig.view.RebuildView(rig.inputs);
    std::set<std::wstring> discord;
    for (const ViewRow& r : rig.view.ViewRows()) {
      if (r.category == L"discord") discord.insert(r.remoteEndpoint);
    }
    EXPECT_EQ(discord, c.discordShown) << c.callOnly;
    // Other categories are never touched by callOnly, and AllRows keeps the whole snapshot.
    EXPECT_EQ(rig.view.ViewRows().size() - discord.size(), 4u) << c.callOnly;
    EXPECT_EQ(rig.view.AllRows().size(), 10u);
  }
}

TEST(ViewTest, FiltersAndSearch) {
  struct Case {
    const char* name;
    bool discordFocus;
    int32_t category;
    int32_t protocol;
    std::wstring search;
    std::set<std::wstring> shown;
  };
  const std::set<std::wstring> all = {L"35.214.40.77:50031",  L"104.18.12.201:50004", L"66.22.199.5:50040",
                                      L"162.159.135.234:443", L"104.18.32.47:443",    L"Voice UDP :56020",
                                      L"142.250.80.46:443",   L"23.45.67.89:27015",   L"2600:1f18::5:27015"};
  const Case cases[] = {
      {"nothing", false, 0, 0, L"", all},
      {"focus + browsers", true, 2, 0, L"", {}},
      {"focus",
       true,
       0,
       0,
       L"",
       {L"35.214.40.77:50031", L"104.18.12.201:50004", L"66.22.199.5:50040", L"162.159.135.234:443",
        L"104.18.32.47:443", L"Voice UDP :56020"}},
      {"browsers", false, 2, 0, L"", {L"142.250.80.46:443"}},
      {"games + UDP", false, 4, 2, L"", {L"2600:1f18::5:27015"}},
      {"TCP",
       false,
       0,
       1,
       L"",
       {L"162.159.135.234:443", L"104.18.32.47:443", L"142.250.80.46:443", L"23.45.67.89:27015"}},
      {"udp4",
       false,
       0,
       0,
       L"UDP4",
       {L"35.214.40.77:50031", L"104.18.12.201:50004", L"66.22.199.5:50040", L"Voice UDP :56020",
        L"142.250.80.46:443"}},
      // pid 4242, plus the game row whose local port 54242 holds the digits.
      {"4242",
       false,
       0,
       0,
       L"4242",
       {L"35.214.40.77:50031", L"104.18.12.201:50004", L"66.22.199.5:50040", L"162.159.135.234:443",
        L"104.18.32.47:443", L"Voice UDP :56020", L"23.45.67.89:27015"}},
      {"voice",
       false,
       0,
       0,
       L"voice",
       {L"35.214.40.77:50031", L"104.18.12.201:50004", L"66.22.199.5:50040", L"Voice UDP :56020"}},
      // The searched text joins the fields with spaces, so a needle may span two of them.
      {"across fields", false, 0, 0, L"CS2.EXE 192", {L"23.45.67.89:27015", L"2600:1f18::5:27015"}},
      {"no match", false, 0, 0, L"zzz", {}},
  };
  for (const Case& c : cases) {
    Rig rig;
    rig.settings.callOnly = false;
    rig.settings.discordFocus = c.discordFocus;
    rig.inputs.categoryFilter = c.category;
    rig.inputs.protocolFilter = c.protocol;
    rig.inputs.searchText = c.search;
    rig.view.RebuildView(rig.inputs);
    EXPECT_EQ(rig.ShownRemotes(), c.shown) << c.name;
  }
}

std::vector<std::wstring> Order(const ConnectionView& view) {
  std::vector<std::wstring> out;
  for (const ViewRow& r : view.ViewRows()) out.push_back(r.remoteEndpoint);
  return out;
}

TEST(ViewTest, SortOrders) {
  auto row = [](const std::wstring& name, uint32_t pid, const std::wstring& remote, const std::wstring& state) {
    return MakeRow(name, pid, L"TCP4", 50000, remote, 443, state, L"other", L"HTTPS");
  };
  const RowList rows = {
      row(L"beta.exe", 2, L"9.0.0.1", L"RECENT"),  row(L"Alpha.exe", 1, L"9.0.0.2", L"OPEN"),
      row(L"alpha.exe", 3, L"9.0.0.3", L"ACTIVE"), row(L"gamma.exe", 4, L"9.0.0.4", L"ACTIVE"),
      row(L"delta.exe", 5, L"9.0.0.5", L"OPEN"),
  };
  struct Case {
    int32_t sortKey;
    bool ascending;
    std::vector<std::wstring> order;
  };
  // Latency: .1 = 80, .2 = 12, .3 = timeout (-1), .4 = 12, .5 = no value (-2).
  const Case cases[] = {
      {0, true, {L"9.0.0.2:443", L"9.0.0.3:443", L"9.0.0.1:443", L"9.0.0.5:443", L"9.0.0.4:443"}},
      {0, false, {L"9.0.0.4:443", L"9.0.0.5:443", L"9.0.0.1:443", L"9.0.0.3:443", L"9.0.0.2:443"}},
      {1, false, {L"9.0.0.5:443", L"9.0.0.4:443", L"9.0.0.3:443", L"9.0.0.2:443", L"9.0.0.1:443"}},
      // Missing values after every measured row; between themselves by name (alpha < delta).
      {2, true, {L"9.0.0.2:443", L"9.0.0.4:443", L"9.0.0.1:443", L"9.0.0.3:443", L"9.0.0.5:443"}},
      {2, false, {L"9.0.0.5:443", L"9.0.0.3:443", L"9.0.0.1:443", L"9.0.0.4:443", L"9.0.0.2:443"}},
      {3, true, {L"9.0.0.3:443", L"9.0.0.4:443", L"9.0.0.2:443", L"9.0.0.5:443", L"9.0.0.1:443"}},
      {3, false, {L"9.0.0.1:443", L"9.0.0.5:443", L"9.0.0.2:443", L"9.0.0.4:443", L"9.0.0.3:443"}},
  };
  for (const Case& c : cases) {
    Rig rig;
    rig.Publish(rows);
    rig.book.RecordSample(L"9.0.0.1", 80);
    rig.book.RecordSample(L"9.0.0.2", 12);
    rig.book.RecordSample(L"9.0.0.3", -1);
    rig.book.RecordSample(L"9.0.0.4", 12);
    rig.inputs.sortKey = c.sortKey;
    rig.inputs.sortAscending = c.ascending;
    rig.view.RebuildView(rig.inputs);
    EXPECT_EQ(Order(rig.view), c.order) << c.sortKey << " " << c.ascending;
  }
}

TEST(ViewTest, LargeViewIsSortedAndKeepsEveryRow) {
  // Many rows with colliding names, endpoints and latencies: the rebuilt view holds exactly the
  // published rows, in an order that agrees with ViewCompare for every column and direction.
  RowList rows;
  uint32_t seed = 12345;
  auto next = [&seed](uint32_t range) {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 16) % range;
  };
  static const wchar_t* kNames[] = {L"a.exe", L"B.exe", L"b.exe", L"c.exe"};
  static const wchar_t* kStates[] = {L"ACTIVE", L"OPEN", L"RECENT"};
  for (int i = 0; i < 300; ++i) {
    rows.push_back(MakeRow(kNames[next(4)], next(5), L"TCP4", 50000 + static_cast<int32_t>(next(40)),
                           L"9.0.0." + std::to_wstring(next(30)), 443, kStates[next(3)], L"other", L"HTTPS"));
  }
  for (int32_t sortKey = 0; sortKey < 4; ++sortKey) {
    for (bool ascending : {true, false}) {
      Rig rig;
      rig.Publish(rows);
      for (int a = 0; a < 30; a += 3) rig.book.RecordSample(L"9.0.0." + std::to_wstring(a), 10 + a % 7);
      rig.inputs.sortKey = sortKey;
      rig.inputs.sortAscending = ascending;
      rig.view.RebuildView(rig.inputs);
      rig.view.RebuildView(rig.inputs);  // a second pass reuses the storage of the first
      const std::vector<ViewRow>& shown = rig.view.ViewRows();
      ASSERT_EQ(shown.size(), rows.size());
      EXPECT_TRUE(
          std::is_sorted(shown.begin(), shown.end(),
                         [&](const ViewRow& a, const ViewRow& b) { return ViewCompare(a, b, sortKey, ascending); }))
          << sortKey << " " << ascending;
      std::multiset<std::wstring> expected, actual;
      for (const ConnectionRow& r : rows) expected.insert(RowKey(r));
      for (const ViewRow& r : shown) {
        actual.insert(RowKey(r));
        EXPECT_EQ(r.latencyMs, rig.view.LatencyOf(r.remoteAddress));
      }
      EXPECT_EQ(actual, expected) << sortKey << " " << ascending;
    }
  }
}

TEST(ViewTest, TieBreakersAfterTheName) {
  // Same name: remote endpoint, then local endpoint, then pid decide; descending reverses them all.
  ConnectionRow a = MakeRow(L"x.exe", 9, L"TCP4", 50002, L"9.0.0.1", 443, L"OPEN", L"other", L"r");
  ConnectionRow b = MakeRow(L"X.exe", 9, L"TCP4", 50001, L"9.0.0.1", 443, L"OPEN", L"other", L"r");
  ConnectionRow c = MakeRow(L"x.exe", 8, L"TCP4", 50001, L"9.0.0.1", 443, L"OPEN", L"other", L"r");
  ConnectionRow d = MakeRow(L"x.exe", 1, L"TCP4", 50000, L"9.0.0.0", 443, L"OPEN", L"other", L"r");
  ViewRow va, vb, vc, vd;
  static_cast<ConnectionRow&>(va) = a;
  static_cast<ConnectionRow&>(vb) = b;
  static_cast<ConnectionRow&>(vc) = c;
  static_cast<ConnectionRow&>(vd) = d;
  std::vector<ViewRow> rows = {va, vb, vc, vd};
  std::sort(rows.begin(), rows.end(), [](const ViewRow& l, const ViewRow& r) { return ViewCompare(l, r, 2, true); });
  EXPECT_EQ(rows[0].pid, 1u);
  EXPECT_EQ(rows[1].pid, 8u);
  EXPECT_EQ(rows[2].localPort, 50001);
  EXPECT_EQ(rows[3].localPort, 50002);
  EXPECT_FALSE(ViewCompare(va, va, 0, true));
  EXPECT_FALSE(ViewCompare(va, va, 0, false));
  EXPECT_TRUE(ViewCompare(vc, vb, 0, true));
  EXPECT_TRUE(ViewCompare(vb, vc, 0, false));
}

TEST(ViewTest, FirstSeenAndFade) {
  Rig rig;
  rig.settings.callOnly = false;
  RowList rows = DemoLikeRows();
  const ConnectionRow extra = rows.back();
  rows.pop_back();
  rig.Publish({});
  rig.view.RebuildView(rig.inputs);
  EXPECT_FALSE(rig.view.viewShownBefore());

  rig.Publish(rows);
  rig.view.RebuildView(rig.inputs);
  // The first non-empty view does not fade in.
  EXPECT_TRUE(rig.view.viewShownBefore());
  for (const ViewRow& r : rig.view.ViewRows()) EXPECT_EQ(r.firstSeen, 0u);
  EXPECT_EQ(rig.inputs.animateUntil, 0u);
  EXPECT_EQ(rig.view.RowFirstSeenCount(), rows.size());
  EXPECT_EQ(rig.view.RowFirstSeen(RowKey(rows[0])), 0u);
  EXPECT_FALSE(rig.view.RowFirstSeen(RowKey(extra)).has_value());

  rig.clock.Advance(5000);
  const uint64_t arrival = rig.clock.TickMs();
  rows.push_back(extra);
  rig.Publish(rows);
  rig.view.RebuildView(rig.inputs);
  for (const ViewRow& r : rig.view.ViewRows()) {
    EXPECT_EQ(r.firstSeen, RowKey(r) == RowKey(extra) ? arrival : 0u);
  }
  EXPECT_EQ(rig.inputs.animateUntil, arrival + 700);

  // 699 ms later the row still fades (the deadline stays); at 700 ms it no longer pushes it.
  rig.clock.Advance(699);
  rig.inputs.animateUntil = 0;
  rig.view.RebuildView(rig.inputs);
  EXPECT_EQ(rig.inputs.animateUntil, arrival + 700);
  rig.clock.Advance(1);
  rig.inputs.animateUntil = 0;
  rig.view.RebuildView(rig.inputs);
  EXPECT_EQ(rig.inputs.animateUntil, 0u);

  // A later deadline is never pulled back.
  rig.inputs.animateUntil = arrival + 100000;
  rig.view.RebuildView(rig.inputs);
  EXPECT_EQ(rig.inputs.animateUntil, arrival + 100000);

  // A row that leaves a non-empty view is forgotten; when it comes back it fades in anew.
  rows.pop_back();
  rig.Publish(rows);
  rig.view.RebuildView(rig.inputs);
  EXPECT_EQ(rig.view.RowFirstSeenCount(), rows.size());
  EXPECT_FALSE(rig.view.RowFirstSeen(RowKey(extra)).has_value());
  rig.clock.Advance(20);
  rows.push_back(extra);
  rig.Publish(rows);
  rig.view.RebuildView(rig.inputs);
  EXPECT_EQ(rig.view.RowFirstSeen(RowKey(extra)), rig.clock.TickMs());
  EXPECT_EQ(rig.view.RowFirstSeen(RowKey(rows[0])), 0u);

  // An empty view forgets every first-seen time; rows that come back then fade in again.
  rig.Publish({});
  rig.view.RebuildView(rig.inputs);
  EXPECT_EQ(rig.view.RowFirstSeenCount(), 0u);
  rig.clock.Advance(10);
  rig.Publish(rows);
  rig.inputs.animateUntil = 0;
  rig.view.RebuildView(rig.inputs);
  for (const ViewRow& r : rig.view.ViewRows()) EXPECT_EQ(r.firstSeen, rig.clock.TickMs());
  EXPECT_EQ(rig.inputs.animateUntil, rig.clock.TickMs() + 700);
}

TEST(ViewTest, SelectionFollowsTheKey) {
  Rig rig;
  rig.settings.callOnly = false;
  RowList rows = DemoLikeRows();
  const ConnectionRow chosen = rows[7];  // chrome QUIC
  rig.view.SetSelectedRowKey(RowKey(chosen));
  rig.view.RebuildView(rig.inputs);
  ASSERT_GE(rig.inputs.selectedRow, 0);
  EXPECT_EQ(RowKey(rig.view.ViewRows()[rig.inputs.selectedRow]), RowKey(chosen));

  rows.erase(rows.begin() + 7);
  rig.Publish(rows);
  rig.view.RebuildView(rig.inputs);
  EXPECT_EQ(rig.inputs.selectedRow, -1);
  EXPECT_EQ(rig.view.SelectedRowKey(), RowKey(chosen));

  rows.insert(rows.begin(), chosen);
  rig.Publish(rows);
  rig.inputs.sortKey = 1;  // a different order: the index follows the row
  rig.view.RebuildView(rig.inputs);
  ASSERT_GE(rig.inputs.selectedRow, 0);
  EXPECT_EQ(RowKey(rig.view.ViewRows()[rig.inputs.selectedRow]), RowKey(chosen));

  rig.view.SetSelectedRowKey(L"");
  rig.view.RebuildView(rig.inputs);
  EXPECT_EQ(rig.inputs.selectedRow, -1);
}

TEST(ViewTest, ScrollClamp) {
  struct Case {
    size_t rows;
    int32_t scroll;
    int32_t expected;
  };
  const Case cases[] = {{10, 25, 9}, {10, 9, 9}, {10, 3, 3}, {0, 25, 0}, {0, 0, 0}, {10, -4, 0}};
  for (const Case& c : cases) {
    Rig rig;
    RowList rows;
    for (size_t i = 0; i < c.rows; ++i) {
      rows.push_back(MakeRow(L"app.exe", 7, L"TCP4", 50000 + static_cast<int32_t>(i), L"9.1.1.1", 443, L"ACTIVE",
                             L"other", L"HTTPS"));
    }
    rig.Publish(rows);
    rig.inputs.scrollRow = c.scroll;
    rig.view.RebuildView(rig.inputs);
    EXPECT_EQ(rig.view.ViewRows().size(), c.rows);
    EXPECT_EQ(rig.inputs.scrollRow, c.expected) << c.rows << " " << c.scroll;
    if (c.rows == 0) {
      EXPECT_EQ(rig.inputs.selectedRow, -1);
    }
  }
}

TEST(ViewTest, ChangeBits) {
  Rig rig;
  const uint32_t both = ConnectionView::kRowsChanged | ConnectionView::kCallsChanged;
  const uint32_t latencies = ConnectionView::kMetersChanged;
  EXPECT_EQ(rig.view.RebuildView(rig.inputs), both);
  EXPECT_EQ(rig.view.RebuildView(rig.inputs), 0u);

  struct Step {
    const char* name;
    std::function<void(Rig&, RowList&)> change;
    uint32_t bits;
  };
  const Step steps[] = {
      {"ping sample for a shown non-call address", [](Rig& r, RowList&) { r.book.RecordSample(L"23.45.67.89", 30); },
       latencies},
      {"ping sample for a call address", [](Rig& r, RowList&) { r.book.RecordSample(L"35.214.40.77", 30); },
       latencies | ConnectionView::kCallLinesChanged},
      {"packets of a row that feeds no call entry", [](Rig&, RowList& rows) { rows[7].packets += 100; }, 0},
      {"age of a row that feeds no call entry", [](Rig&, RowList& rows) { rows[8].ageMs = 5; }, 0},
      {"packets of a call row", [](Rig&, RowList& rows) { rows[0].packets += 1; }, ConnectionView::kCallLinesChanged},
      {"rate of a shown row", [](Rig&, RowList& rows) { rows[6].traffic = RowTraffic{true, 0, 0, 5000, 0, 0, 0}; },
       latencies},
      {"state of a shown row", [](Rig&, RowList& rows) { rows[6].state = L"RECENT"; }, ConnectionView::kRowsChanged},
      {"a hidden row changes", [](Rig&, RowList& rows) { rows[2].state = L"ACTIVE"; }, 0},
      {"search hides rows", [](Rig& r, RowList&) { r.inputs.searchText = L"chrome"; }, ConnectionView::kRowsChanged},
      {"ping sample for a searched row", [](Rig& r, RowList&) { r.book.RecordSample(L"142.250.80.46", 9); }, latencies},
      {"ping sample for a row the search hides", [](Rig& r, RowList&) { r.book.RecordSample(L"23.45.67.89", 31); }, 0},
      {"ping turned off", [](Rig& r, RowList&) { r.settings.enablePing = false; },
       latencies | ConnectionView::kCallLinesChanged},
  };
  RowList rows = DemoLikeRows();
  for (const Step& s : steps) {
    s.change(rig, rows);
    rig.Publish(rows);
    EXPECT_EQ(rig.view.RebuildView(rig.inputs), s.bits) << s.name;
  }
}

TEST(ViewTest, LatencyOfAndMedian) {
  Rig rig;
  rig.book.RecordSample(L"9.9.9.9", 44);
  rig.book.RecordSample(L"8.8.8.8", -1);
  rig.book.RecordSample(L"2001:db8::1", 5);
  struct Case {
    std::wstring address;
    bool ping;
    int32_t expected;
  };
  const Case cases[] = {
      {L"9.9.9.9", true, 44}, {L"8.8.8.8", true, -1},     {L"7.7.7.7", true, -2},  {L"", true, -2},
      {L"*", true, -2},       {L"2001:db8::1", true, -3}, {L"9.9.9.9", false, -2},
  };
  for (const Case& c : cases) {
    rig.settings.enablePing = c.ping;
    EXPECT_EQ(rig.view.LatencyOf(c.address), c.expected) << c.address.size() << c.ping;
  }

  rig.settings.enablePing = true;
  rig.settings.callOnly = false;
  rig.book.RecordSample(L"35.214.40.77", 20);
  rig.book.RecordSample(L"104.18.12.201", 60);
  rig.book.RecordSample(L"142.250.80.46", 40);  // two rows share it and both count
  rig.view.RebuildView(rig.inputs);
  EXPECT_EQ(MedianLatency(rig.view.ViewRows(), true), 40);
  EXPECT_EQ(MedianLatency(rig.view.ViewRows(), false), -1);
  for (const ViewRow& r : rig.view.ViewRows()) {
    if (r.remoteAddress == L"2600:1f18::5") {
      EXPECT_EQ(r.latencyMs, -3);
    }
    if (r.remoteAddress == L"142.250.80.46") {
      EXPECT_EQ(r.latencyMs, 40);
    }
  }
}

TEST(ConnectionView, ByApplicationFoldsFilteredSocketsSumsAndSortsThem) {
  Rig rig;
  rig.settings.callOnly = false;
  rig.settings.byApp = true;
  RowList rows = DemoLikeRows();
  const auto traffic = [](uint64_t received, uint64_t sent) { return RowTraffic{true, 0, 0, received, sent, 10, 20}; };
  rows[0].traffic = traffic(60000, 50000);  // the call
  rows[1].traffic = traffic(3000, 2000);
  rows[6].traffic = traffic(2000000, 40000);  // chrome's download
  rows[7].traffic = traffic(150000, 10000);
  rows[7].pid = 5152;
  rig.Publish(rows);
  rig.book.RecordSample(L"35.214.40.77", 40);
  rig.book.RecordSample(L"104.18.12.201", 25);
  rig.inputs.sortKey = 4;
  rig.inputs.sortAscending = false;
  rig.view.RebuildView(rig.inputs);

  const std::vector<ViewRow>& apps = rig.view.ViewRows();
  ASSERT_EQ(apps.size(), 3u);
  EXPECT_EQ(apps[0].processName, L"chrome.exe");
  EXPECT_EQ(apps[0].localEndpoint, L"2 connections");
  EXPECT_EQ(apps[0].remoteEndpoint, L"1 address");
  EXPECT_EQ(apps[0].protocol, L"TCP/UDP");
  EXPECT_EQ(apps[0].app.processes, 2u);
  EXPECT_EQ(apps[0].traffic.rateReceived, 2150000u);
  const ViewRow& discord = apps[1];
  EXPECT_EQ(discord.localEndpoint, L"6 connections");
  EXPECT_EQ(discord.remoteEndpoint, L"5 addresses");
  EXPECT_EQ(discord.traffic.rateSent, 52000u);
  EXPECT_EQ(discord.latencyMs, 25);     // its best
  EXPECT_EQ(discord.app.signalMs, 40);  // the call's
  EXPECT_EQ(discord.remoteAddress, L"35.214.40.77");
  EXPECT_EQ(apps[2].processName, L"cs2.exe");  // no rate: last
  EXPECT_FALSE(apps[2].traffic.metered);
  EXPECT_EQ(rig.view.RemoteAddressesOf(discord),
            (std::vector<std::wstring>{L"35.214.40.77", L"104.18.12.201", L"66.22.199.5", L"162.159.135.234",
                                       L"104.18.32.47"}));

  // The filters and the search choose the sockets an application row sums up.
  rig.inputs.protocolFilter = 1;
  rig.inputs.searchText = L"chrome";
  rig.view.RebuildView(rig.inputs);
  ASSERT_EQ(rig.view.ViewRows().size(), 1u);
  EXPECT_EQ(rig.view.ViewRows()[0].protocol, L"TCP4");
  EXPECT_EQ(rig.view.ViewRows()[0].traffic.rateReceived, 2000000u);
  EXPECT_EQ(ViewRowKey(rig.view.ViewRows()[0]), L"app|chrome.exe");

  // Back to the sockets: rows whose storage held application rows forget them.
  rig.settings.byApp = false;
  rig.inputs = ViewInputs{};
  for (int i = 0; i < 2; ++i) rig.view.RebuildView(rig.inputs);
  for (const ViewRow& r : rig.view.ViewRows()) EXPECT_EQ(r.app.connections, 0u) << r.remoteEndpoint;
}

}  // namespace
}  // namespace tolvane
