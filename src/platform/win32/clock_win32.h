// The Windows clock's wall-clock conversion, exposed for its test.
#pragma once

#include <cstdint>

namespace tolvane {

// Nanoseconds since 1970-01-01 UTC from a FILETIME value (100 ns units since 1601).
int64_t SystemNsFromFileTime(uint64_t fileTime);

}  // namespace tolvane
