// What the command line asks of a run of the program. The entry point parses it (app/startup.h);
// the application and the window only read it.
#pragma once

#include <string>

namespace tolvane {

// The command-line state, set once by the entry point before any worker thread exists and only
// read afterwards. Empty bases mean the built-in defaults.
struct CommandLineState {
  bool demoMode = false;   // "--demo" anywhere: demonstration rows and ping times; allows a 2nd instance
  bool benchMode = false;  // "--bench" anywhere: run the drawing benchmark, then close
  std::wstring apiBase;    // value of "--api-base="
  std::wstring tileBase;   // value of "--tile-base="
};

}  // namespace tolvane
