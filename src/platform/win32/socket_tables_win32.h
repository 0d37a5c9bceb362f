// The raw Windows table call behind SystemSocketTables, for the tests of its decoding.
#pragma once

#include "monitor/socket_table_reader.h"

namespace tolvane {

SocketTableQuery& SystemSocketTableQuery();

}  // namespace tolvane
