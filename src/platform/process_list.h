// The operating system's process list: process id and executable file name of every process
// (a Toolhelp snapshot on Windows, /proc on Linux). Names are file names without a folder, as the
// system gives them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tolvane {

struct ProcessEntry {
  uint32_t pid = 0;
  std::wstring exeName;
  uint64_t creationTime = 0;  // when the process started, in the system's own units; 0 unknown
};

class ProcessList {
 public:
  virtual ~ProcessList() = default;
  // Fills out with the current processes. False (and out empty) when no snapshot can be taken.
  virtual bool Snapshot(std::vector<ProcessEntry>& out) = 0;
};

// The system's process list. On the host, which never runs the program, the snapshot fails.
ProcessList& SystemProcessList();

}  // namespace tolvane
