// The call-prefix filter: which remote IPv4 addresses count as call servers.
//
// The user's prefixes text ("104,3") is split into tokens of digits and dots. A token is compared
// with the start of the address text, so "3" matches 3.x and 30-39.x while "3." matches only 3.x.
// The token list is shared by the main thread (which rebuilds it) and the ping thread (which
// matches against it); every access holds the list's own lock.
#pragma once

#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace tolvane {

class CallPrefixList {
 public:
  // Rebuilds the token list from the prefixes text: digits and "." build a token, any other
  // character ends it; empty tokens are dropped. Swaps the whole list under the lock.
  void RebuildPrefixList(std::wstring_view prefixesText);

  // False for an empty text, a text that does not start with a digit, or one holding ":".
  // Otherwise true when the list is empty (no filter) or some token begins the address.
  bool MatchesCallPrefix(std::wstring_view address) const;

  // "all IPs (no filter)", or each token followed by "*", joined with "  ·  ".
  std::wstring PrefixSummary() const;

  std::vector<std::string> Tokens() const;

 private:
  mutable std::mutex lock_;
  std::vector<std::string> tokens_;
};

}  // namespace tolvane
