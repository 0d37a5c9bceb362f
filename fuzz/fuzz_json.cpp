// Fuzz target for the JSON field reader: arbitrary bytes as the answer text and as the key must
// never crash, hang or read out of bounds, and a found value position never passes the text's end.
// The first byte picks the key length, taken from the front of the remaining bytes; the rest is
// the text. Look-ups with fixed keys exercise the usual case of real string, number and boolean
// field names.
#include <cstddef>
#include <cstdint>
#include <algorithm>
#include <cstdlib>
#include <initializer_list>
#include <string_view>

#include "lookup/json.h"

namespace {

void Probe(std::string_view text, std::string_view key) {
  const tolvane::JsonPosition p = tolvane::JsonFindValue(text, key);
  if (p.found && p.position > text.size()) std::abort();
  if (!p.found && (tolvane::JsonGetBool(text, key) || tolvane::JsonGetNumber(text, key) != 0.0 ||
                   !tolvane::JsonGetString(text, key).empty())) {
    std::abort();  // a value read for a key that is not there
  }
  (void)tolvane::JsonGetString(text, key);
  (void)tolvane::JsonGetNumber(text, key);
  (void)tolvane::JsonGetBool(text, key);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const std::string_view all(reinterpret_cast<const char*>(data), size);
  const size_t keyLength = std::min<size_t>(static_cast<uint8_t>(all[0]) % 16, size - 1);
  const std::string_view key = all.substr(1, keyLength);
  const std::string_view text = all.substr(1 + keyLength);
  Probe(text, key);
  for (const char* field : {"city", "lat", "mobile"}) Probe(text, field);
  return 0;
}
