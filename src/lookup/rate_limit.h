// The geolocation service's rate limit, kept on our side so the service never has to block us.
//
// The free service allows 45 requests a minute per client address and says in every answer how
// many are left (X-Rl) and in how many seconds its window resets (X-Ttl). After an answer with
// X-Rl 0, or a 429, no request is sent until X-Ttl seconds have passed (60 when the header is
// absent or no number, at most kLookupLongestPauseS whatever it says); and whatever the headers
// say, never more than kLookupRequestsPerWindow requests go out in any kLookupWindowMs. A lookup
// refused here fails at once with the 429 message and costs the service nothing.
//
// Time is the injected clock's TickMs. Used only by the lookup worker (one thread); not locked.
#pragma once

#include <cstdint>
#include <deque>

#include "platform/clock.h"
#include "platform/http.h"

namespace tolvane {

inline constexpr size_t kLookupRequestsPerWindow = 45;
inline constexpr uint64_t kLookupWindowMs = 60000;
inline constexpr int64_t kLookupDefaultPauseS = 60;
// An X-Ttl beyond an hour is held to an hour: a broken header must not stop lookups for days.
inline constexpr int64_t kLookupLongestPauseS = 3600;

class LookupRateLimit {
 public:
  explicit LookupRateLimit(Clock& clock) : clock_(clock) {}

  // True when a request may go out now, which is then counted as sent; false while the service's
  // pause lasts or the last minute already holds kLookupRequestsPerWindow requests.
  bool TryStart();

  // True when TryStart would allow a request now and still leave reserve requests of the current
  // window unused (background requests keep room for the user's own). Counts nothing.
  bool HasRoom(size_t reserve) const;

  // The outcome of a request that TryStart allowed: status 429, or X-Rl 0, starts a pause.
  void Finished(int32_t status, const HttpHeaders& headers);

  // How long the service's pause still lasts; 0 when there is none.
  uint64_t PauseLeftMs() const;

 private:
  Clock& clock_;
  std::deque<uint64_t> sentMs_;  // send times within the last window, oldest first
  uint64_t pauseEndMs_ = 0;
};

}  // namespace tolvane
