// Fuzz target for the command-line reader: any wide text must parse without a crash, and an
// option's value never holds a space and is always a tail piece of the command line.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "app/startup.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::wstring line;
  for (size_t i = 0; i + 1 < size; i += 2) line.push_back(static_cast<wchar_t>(data[i] | (data[i + 1] << 8)));
  const tolvane::CommandLineState s = tolvane::ParseCommandLine(line);
  for (const std::wstring* v : {&s.apiBase, &s.tileBase}) {
    if (v->find(L' ') != std::wstring::npos) std::abort();
    if (!v->empty() && line.find(*v) == std::wstring::npos) std::abort();
  }
  return 0;
}
