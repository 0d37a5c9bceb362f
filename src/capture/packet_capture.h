// Packet capture: the thread that puts a raw IPv4 socket on each active adapter into receive-all
// mode and counts every UDP datagram and TCP segment of this machine into the CaptureTable.
//
// PacketCapture owns the thread, its sockets and its 64 KiB packet buffer; the table, the settings,
// the raw-capture service and the clock belong to the application object and must outlive it. The
// thread retries on its own every 2.5 s when no socket opens (rights or adapters may appear later),
// reopens its sockets when the set of local addresses changes (checked every 5 s), and notices a
// stop or a switched-off packetCapture within one 200 ms select. All its waiting goes through
// Clock::SleepMs in 50 ms steps, so a fake clock drives it without real time passing.
//
// Status is one atomic 32-bit value: written only by the thread, read by anyone.
#pragma once

#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

#include "capture/capture_datagram.h"
#include "monitor/capture_table.h"
#include "platform/clock.h"
#include "platform/raw_capture.h"
#include "settings/settings.h"

namespace tolvane {

enum class CaptureStatus : int32_t {
  Off = 0,         // packetCapture is off, or the thread has ended
  Capturing = 1,   // at least one raw socket is open
  NeedsAdmin = 2,  // no socket opened and the last error was WSAEACCES
  Error = 3,       // no socket opened for any other error
  NoAdapter = 4,   // no usable local IPv4 address
};

// The usable addresses among adapters: those of adapters that are up and not software loopback,
// without 0.x, 127.x and 169.254.x, de-duplicated and sorted.
LocalAddressList LocalIPv4FromAdapters(const std::vector<CaptureAdapter>& adapters);
// LocalIPv4FromAdapters over the system's current adapters.
LocalAddressList ListLocalIPv4(RawCapture& raw);

class PacketCapture {
 public:
  static constexpr size_t kMaxSockets = 8;
  static constexpr uint32_t kSelectTimeoutMs = 200;
  static constexpr uint64_t kAdapterCheckMs = 5000;
  static constexpr uint32_t kWaitStepMs = 50;
  static constexpr int kOffWaitSteps = 6;
  static constexpr int kNoAdapterWaitSteps = 30;
  static constexpr int kOpenFailedWaitSteps = 50;
  static constexpr size_t kPacketBufferBytes = 65536;

  PacketCapture(const Settings& settings, CaptureTable& table, RawCapture& raw, Clock& clock,
                const std::atomic<bool>& appRunning);
  // Joins the thread; appRunning must have been cleared before, or this waits for ever.
  ~PacketCapture();
  PacketCapture(const PacketCapture&) = delete;
  PacketCapture& operator=(const PacketCapture&) = delete;

  // Starts the capture thread (once; later calls do nothing while it runs).
  void Start();
  // Waits for the thread to end; it ends once appRunning is cleared (within about 200 ms).
  void Join();

  CaptureStatus status() const { return static_cast<CaptureStatus>(status_.load()); }

  // The thread body; runs until appRunning is cleared. Tests call it directly on their own thread.
  void CaptureThread();

 private:
  void SetStatus(CaptureStatus s) {
    table_.SetCounting(s == CaptureStatus::Capturing);
    status_.exchange(static_cast<int32_t>(s));
  }
  bool Running() const { return appRunning_.load(); }
  // steps waits of kWaitStepMs, ending early when appRunning clears.
  void Wait(int steps);
  // The inner loop over open sockets; returns when it is time to close them.
  void CaptureOn(const LocalAddressList& addresses, const std::vector<RawSocketHandle>& sockets,
                 std::vector<uint8_t>& packet);

  const Settings& settings_;
  CaptureTable& table_;
  RawCapture& raw_;
  Clock& clock_;
  const std::atomic<bool>& appRunning_;
  std::atomic<int32_t> status_{0};
  std::thread thread_;
};

}  // namespace tolvane
