// Host stand-in for the process list: the host build never runs the program, so the snapshot
// reports that it cannot be taken (processes are then named "Unknown").
#include "platform/process_list.h"

namespace tolvane {
namespace {

class HostProcessList final : public ProcessList {
 public:
  bool Snapshot(std::vector<ProcessEntry>& out) override {
    out.clear();
    return false;
  }
};

}  // namespace

ProcessList& SystemProcessList() {
  static HostProcessList list;
  return list;
}

}  // namespace tolvane
