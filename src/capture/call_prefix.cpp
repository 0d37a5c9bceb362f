#include "capture/call_prefix.h"

namespace tolvane {

void CallPrefixList::RebuildPrefixList(std::wstring_view text) {
  std::vector<std::string> tokens;
  std::string current;
  for (wchar_t c : text) {
    if ((c >= L'0' && c <= L'9') || c == L'.') {
      current.push_back(static_cast<char>(c));
    } else if (!current.empty()) {
      tokens.push_back(std::move(current));
      current.clear();
    }
  }
  if (!current.empty()) tokens.push_back(std::move(current));
  std::lock_guard<std::mutex> guard(lock_);
  tokens_.swap(tokens);
}

bool CallPrefixList::MatchesCallPrefix(std::wstring_view address) const {
  if (address.empty() || address[0] < L'0' || address[0] > L'9') return false;
  if (address.find(L':') != std::wstring_view::npos) return false;
  std::lock_guard<std::mutex> guard(lock_);
  if (tokens_.empty()) return true;
  for (const std::string& token : tokens_) {
    if (token.size() > address.size()) continue;
    size_t i = 0;
    while (i < token.size() && static_cast<wchar_t>(token[i]) == address[i]) ++i;
    if (i == token.size()) return true;
  }
  return false;
}

std::wstring CallPrefixList::PrefixSummary() const {
  std::lock_guard<std::mutex> guard(lock_);
  if (tokens_.empty()) return L"all IPs (no filter)";
  std::wstring out;
  for (size_t i = 0; i < tokens_.size(); ++i) {
    if (i > 0) out += L"  \u00B7  ";
    out.append(tokens_[i].begin(), tokens_[i].end());
    out += L'*';
  }
  return out;
}

std::vector<std::string> CallPrefixList::Tokens() const {
  std::lock_guard<std::mutex> guard(lock_);
  return tokens_;
}

}  // namespace tolvane
