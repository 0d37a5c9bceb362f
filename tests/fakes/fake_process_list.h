// A process list held in memory; available = false makes the snapshot fail as the system's can.
#pragma once

#include <vector>

#include "platform/process_list.h"

namespace tolvane {

class FakeProcessList final : public ProcessList {
 public:
  std::vector<ProcessEntry> processes;
  bool available = true;
  int snapshots = 0;

  bool Snapshot(std::vector<ProcessEntry>& out) override {
    ++snapshots;
    out.clear();
    if (!available) return false;
    out = processes;
    return true;
  }
};

}  // namespace tolvane
