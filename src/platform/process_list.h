// The operating system's process list: process id, executable file name and start time of every
// process (one system process-information query on Windows, /proc on Linux). Names are file names
// without a folder, as the system gives them. A process id is reused once its process has ended; the
// id together with the start time names one process, so a caller can keep what it learnt about a
// process across lists.
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
  // Fills out with the current processes, overwriting the entries it already holds (so a list passed
  // back again keeps its memory). False (and out empty) when no snapshot can be taken.
  virtual bool Snapshot(std::vector<ProcessEntry>& out) = 0;
};

// The system's process list. On the host, which never runs the program, the snapshot fails.
ProcessList& SystemProcessList();

}  // namespace tolvane
