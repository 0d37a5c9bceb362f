// PublishedRows: the latest complete snapshot, handed from the refresh thread to its readers.
//
// The refresh thread swaps a finished row list in under the lock, stamps the time and bumps the
// counter; the main thread (the connection view) and the ping thread copy the rows under the same
// lock. The lock is held only for a swap or a copy, never while a snapshot is taken.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

#include "monitor/connection_row.h"

namespace tolvane {

struct PublishedRows {
  std::mutex lock;                            // PublishedRowsLock
  RowList rows;                               // guarded by lock
  std::atomic<uint32_t> snapshotCounter{0};   // SnapshotCounter: snapshots published since start
  std::atomic<uint64_t> lastSnapshotTime{0};  // LastSnapshotTime: TickMs of the last publication, 0 = never

  RowList CopyRows() {
    std::lock_guard<std::mutex> guard(lock);
    return rows;
  }
};

}  // namespace tolvane
