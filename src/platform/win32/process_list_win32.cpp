// The process list through one NtQuerySystemInformation(SystemProcessInformation) call: process id,
// image file name and creation time of every process at once (what a Toolhelp snapshot is built
// from, without the copy into a shared section and the handle). The answer buffer is kept between
// calls and grown when the system asks for more. Every offset and name in it is checked against the
// buffer's end before it is read.
#include <windows.h>
#include <winternl.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <vector>

#include "platform/process_list.h"

namespace tolvane {
namespace {

constexpr NTSTATUS kInfoLengthMismatch = static_cast<NTSTATUS>(0xC0000004L);
constexpr size_t kMaxBufferBytes = 64u * 1024u * 1024u;

class Win32ProcessList final : public ProcessList {
 public:
  bool Snapshot(std::vector<ProcessEntry>& out) override {
    std::lock_guard<std::mutex> guard(lock_);
    size_t count = 0;
    const bool ok = Query();
    const auto* base = reinterpret_cast<const unsigned char*>(buffer_.data());
    const size_t bytes = ok ? used_ : 0;
    for (size_t at = 0; ok && at + sizeof(SYSTEM_PROCESS_INFORMATION) <= bytes;) {
      SYSTEM_PROCESS_INFORMATION p;
      std::memcpy(&p, base + at, sizeof p);
      if (count == out.size()) out.emplace_back();
      ProcessEntry& e = out[count++];
      e.pid = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p.UniqueProcessId));
      e.creationTime = static_cast<uint64_t>(p.CreateTime.QuadPart);
      const auto* name = reinterpret_cast<const unsigned char*>(p.ImageName.Buffer);
      const size_t length = p.ImageName.Length / sizeof(wchar_t);
      if (name >= base && name <= base + bytes &&
          length * sizeof(wchar_t) <= static_cast<size_t>(base + bytes - name)) {
        e.exeName.assign(p.ImageName.Buffer, length);
      } else {
        e.exeName.clear();  // the idle process has no name; anything outside the buffer is not read
      }
      if (p.NextEntryOffset == 0) break;
      at += p.NextEntryOffset;
    }
    out.resize(count);
    return ok;
  }

 private:
  bool Query() {
    if (buffer_.empty()) buffer_.resize(256 * 1024 / sizeof(uint64_t));
    for (int attempt = 0; attempt < 4; ++attempt) {
      const size_t size = buffer_.size() * sizeof(uint64_t);
      ULONG needed = 0;
      const NTSTATUS status =
          NtQuerySystemInformation(SystemProcessInformation, buffer_.data(), static_cast<ULONG>(size), &needed);
      if (status >= 0) {
        used_ = needed != 0 && needed <= size ? needed : size;
        return true;
      }
      if (status != kInfoLengthMismatch) return false;
      // Processes may start between the calls: ask for a little more than was reported.
      const size_t grown = std::max<size_t>(needed, size) + 64 * 1024;
      if (grown > kMaxBufferBytes) return false;
      buffer_.resize(grown / sizeof(uint64_t) + 1);
    }
    return false;
  }

  std::mutex lock_;               // the refresh thread is the one caller, but a test may call too
  std::vector<uint64_t> buffer_;  // 8-byte aligned, as the records in it need
  size_t used_ = 0;
};

}  // namespace

ProcessList& SystemProcessList() {
  static Win32ProcessList list;
  return list;
}

}  // namespace tolvane
