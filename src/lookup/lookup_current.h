// The current lookup: the address the lookup panel shows, where it was opened from, and whether the
// panel is open.
//
// Main-thread state (it lives with the window's state). Only panelOpen is read by other threads (the
// ping thread pings the panel's address more often while it is open), hence the one atomic member.
// The record is not copyable because of that atomic; callers pass it by reference.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

namespace tolvane {

// Where a lookup was opened from; all empty / zero for typed lookups. These are the {app}, {proto},
// {pid} and {port} of the IP copy template when the current lookup's address is copied.
struct LookupContext {
  std::wstring app;       // process name
  std::wstring protocol;  // "TCP4", "TCP6", "UDP4" or "UDP6"
  int32_t pid = 0;
  int32_t port = 0;  // remote port
};

struct CurrentLookup {
  std::wstring address;      // canonical IP text; empty until the first lookup is opened
  std::wstring websiteName;  // host name typed by the user when address came from resolving it
  LookupContext context;
  std::atomic<bool> panelOpen{false};
};

}  // namespace tolvane
