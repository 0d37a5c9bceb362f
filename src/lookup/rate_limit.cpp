// The lookup rate limit: a pause the service asked for, and a sliding one-minute window.
#include "lookup/rate_limit.h"

#include <optional>

#include "lookup/header_values.h"

namespace tolvane {

bool LookupRateLimit::TryStart() {
  const uint64_t now = clock_.TickMs();
  if (now < pauseEndMs_) return false;
  while (!sentMs_.empty() && now - sentMs_.front() >= kLookupWindowMs) sentMs_.pop_front();
  if (sentMs_.size() >= kLookupRequestsPerWindow) return false;
  sentMs_.push_back(now);
  return true;
}

bool LookupRateLimit::HasRoom(size_t reserve) const {
  const uint64_t now = clock_.TickMs();
  if (now < pauseEndMs_) return false;
  size_t recent = 0;
  for (uint64_t sent : sentMs_) recent += now - sent < kLookupWindowMs;
  return recent + reserve < kLookupRequestsPerWindow;
}

void LookupRateLimit::Finished(int32_t status, const HttpHeaders& headers) {
  const std::optional<int64_t> left = ParseHeaderNumber(headers.rateLeft);
  if (status != 429 && left != 0) return;
  int64_t seconds = ParseHeaderNumber(headers.rateReset).value_or(kLookupDefaultPauseS);
  if (seconds > kLookupLongestPauseS) seconds = kLookupLongestPauseS;
  pauseEndMs_ = clock_.TickMs() + static_cast<uint64_t>(seconds) * 1000;
}

uint64_t LookupRateLimit::PauseLeftMs() const {
  const uint64_t now = clock_.TickMs();
  return now < pauseEndMs_ ? pauseEndMs_ - now : 0;
}

}  // namespace tolvane
