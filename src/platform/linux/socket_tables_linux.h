// The two kernel sources behind the Linux socket tables, apart for the tests that compare them.
#pragma once

#include <vector>

#include "platform/linux/linux_parse.h"
#include "platform/socket_tables.h"

namespace tolvane {

enum class KernelSocketSource { Netlink, ProcNet };

// One table straight from one source, in the kernel's own terms (no owners placed). False when the
// source cannot be read (netlink refused or the dump failed; the /proc/net file missing).
bool ReadKernelSockets(SocketTableKind kind, KernelSocketSource source, std::vector<KernelSocket>& out);

}  // namespace tolvane
