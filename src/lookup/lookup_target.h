// Lookup targets: turning what the user typed, a table row or a call endpoint into one canonical IP
// address and making it the current lookup; resolving website names on short-lived threads.
//
// Everything here runs on the main thread except the body of the StartLookup threads. Those are
// detached: each owns a copy of the host text and shared ownership of the resolver and the poster,
// so it never refers to anything the window may have destroyed; it hands its outcome to the window
// only through the poster. Several may run at once; their answers are handled in arrival order, so
// the last to arrive wins, even after the panel was closed or another lookup opened.
//
// Typed text is untrusted: CleanLookupText is pure and never fails, whatever the input.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "capture/call_list.h"
#include "clipboard/toast.h"
#include "lookup/lookup_current.h"
#include "lookup/lookup_service.h"
#include "monitor/connection_row.h"
#include "platform/name_resolution.h"
#include "settings/settings.h"

namespace tolvane {

enum class LookupTextKind {
  Empty,    // nothing left after cleaning
  Ipv4,     // text is the system's canonical dotted form
  Ipv6,     // text is the system's canonical compressed lower-case form
  Website,  // text passes IsWebsiteName
  Invalid,  // text is the cleaned text that is neither
};

struct CleanedLookupText {
  LookupTextKind kind = LookupTextKind::Empty;
  std::wstring text;
};

inline constexpr size_t kMaxWebsiteNameLength = 253;

// Strips blanks, a scheme, path / query / fragment, user information, brackets and a port, then
// classifies what remains.
CleanedLookupText CleanLookupText(std::wstring_view text);

// 1 to 253 characters, at least one ".", only letters, digits, "-" and "." (wide classification, so
// non-ASCII letters count), not beginning with "." or "-", not ending with ".".
bool IsWebsiteName(std::wstring_view name);

// text when it has at most n characters, else its first n - 3 characters and "..." (for n below 3,
// the first n characters).
std::wstring TruncateWithDots(std::wstring_view text, size_t n);

// How a resolver thread reports back to the window. The window layer implements it with
// PostMessageW and heap strings (WM_HOST_RESOLVED / WM_HOST_NOT_FOUND); it must be callable from any
// thread and must free the string itself when the post fails (the window may be gone).
class LookupPoster {
 public:
  virtual ~LookupPoster() = default;
  virtual void PostHostResolved(std::wstring hostBarIp) = 0;  // host + "|" + IPv4 text
  virtual void PostHostNotFound(std::wstring host) = 0;
};

// The resolver thread's body: resolve host, post host + "|" + ip or the not-found host.
void ResolveAndPost(NameResolver& resolver, LookupPoster& poster, const std::wstring& host);

// Starts one detached resolver thread. When the system cannot start a thread, the not-found answer
// is posted at once from the calling thread.
void StartLookup(std::shared_ptr<NameResolver> resolver, std::shared_ptr<LookupPoster> poster, std::wstring host);

// What opening a lookup needs from other services, taken as callables so this part does not depend
// on how they are built.
struct LookupHooks {
  std::function<void(const std::wstring&)> requestPing;   // ping this address out of turn
  std::function<void(const std::wstring&)> setPingFocus;  // under the ping focus lock
  std::function<void()> saveSettings;                     // write the settings file
};

class LookupCommands {
 public:
  LookupCommands(CurrentLookup& current, LookupCache& cache, Settings& settings, Toast& toast,
                 std::shared_ptr<NameResolver> resolver, std::shared_ptr<LookupPoster> poster, LookupHooks hooks);

  // Enter in the lookup box, the "Look up" button, or a click on a "Recent" entry (after the box
  // text was replaced by it). The box text itself is not changed.
  void SubmitLookupText(std::wstring_view text);

  // Makes address the current lookup; empty and "*" do nothing.
  void OpenLookup(const std::wstring& address, const LookupContext& context);

  void LookupRow(const ConnectionRow& row);
  void LookupCallEndpoint(const CallEndpoint& endpoint);

  // Handlers of the two resolver messages; the window repaints afterwards.
  void OnHostResolved(const std::wstring& hostBarIp);
  void OnHostNotFound(const std::wstring& host);

 private:
  CurrentLookup& current_;
  LookupCache& cache_;
  Settings& settings_;
  Toast& toast_;
  std::shared_ptr<NameResolver> resolver_;
  std::shared_ptr<LookupPoster> poster_;
  LookupHooks hooks_;
};

}  // namespace tolvane
