// The GDI+ headers for a build with WIN32_LEAN_AND_MEAN and NOMINMAX: GDI+ needs the COM
// declarations that the first leaves out, and min/max, which the second removes from the Windows
// headers, so they are lent to its namespace from <algorithm>.
#pragma once

#include <windows.h>
#include <objidl.h>

#include <algorithm>
namespace Gdiplus {
using std::max;
using std::min;
}  // namespace Gdiplus
#include <gdiplus.h>
