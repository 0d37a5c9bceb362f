// Stand-ins for the Linux platform services that are built on another branch (socket tables,
// capture, ICMP, name resolution, the single-instance lock); replaced when that work is merged.
#pragma once

#include <string>

namespace tolvane {

struct InstanceLockState {
  bool created = false;        // the lock file could be opened
  bool alreadyExists = false;  // another instance holds it
  std::string path;            // the lock file
};

// Takes the per-user lock for the life of the process.
InstanceLockState TakeInstanceLock();

}  // namespace tolvane
