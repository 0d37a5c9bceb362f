// The lookup worker at the program's end, its lookup or its nine tiles waiting on a silent server:
// where the stack can cancel, the cancel ends the lookup; where it cannot, Stop leaves the worker.
#include <gtest/gtest.h>

#include "fakes/fake_clock.h"
#include "fakes/fake_http.h"
#include "fakes/fake_image_decoder.h"
#include "lookup/lookup_service.h"
#include "lookup/map_tiles.h"

namespace tolvane {

TEST(LookupWorkerStop, AHungLookupOrMapIsCancelledWhereTheStackCanAndLeftBehindWhereItCannot) {
  const std::wstring api = L"http://127.0.0.1:1", address = L"203.0.113.7";
  for (const int c : {0, 1, 2, 3}) {
    const bool tilesHang = c & 1, cancelEnds = c & 2;
    FakeHttpClient http;
    http.Hang(true, cancelEnds);
    if (tilesHang) http.Answer(LookupUrl(api, address), 200, R"({"status":"success","lat":50.1,"lon":8.6})");
    FakeImageDecoder decoder;
    MapSources tiles{http, decoder, L"http://127.0.0.1:2"};
    FakeClock clock;
    std::atomic<bool> running{true};
    LookupCache cache;
    LookupWorker worker(
        cache, http, [&](double la, double lo, int z, float& x, float& y) { return BuildMap(tiles, la, lo, z, x, y); },
        clock, running, api);
    worker.Start();
    cache.RequestLookup(address, false);
    ASSERT_TRUE(http.WaitForRequests(tilesHang ? 10 : 1));
    running = false;
    http.Cancel();
    const uint64_t before = clock.TickMs();
    if (cancelEnds) worker.Join();  // returns only because the cancel reached every blocked call
    EXPECT_EQ(cancelEnds || worker.Stop(500), cancelEnds) << c;
    EXPECT_GE(clock.TickMs() - before, cancelEnds ? 0u : 500u) << c;
    const LookupResult r = cache.Snapshot(address);
    EXPECT_EQ(r.state, tilesHang ? LookupState::Done : cancelEnds ? LookupState::Failed : LookupState::Pending) << c;
    EXPECT_EQ(r.mapState == MapState::Failed, tilesHang && cancelEnds) << c;
    http.Hang(false);  // so a worker left behind can end before the test does
  }
}

}  // namespace tolvane
