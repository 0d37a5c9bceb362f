// Facts about the running process.
#pragma once

#include <cstdint>
#include <string>

namespace tolvane {

// The process id of the calling process.
uint32_t CurrentProcessId();
// The file name (no folder) of the running executable, for example "tolvane.exe".
std::wstring CurrentExecutableName();

}  // namespace tolvane
