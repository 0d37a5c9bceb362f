#!/usr/bin/env bash
# Runs a Windows program under Wine. Debian's wine64 package puts no `wine` on the PATH, so the loader
# is looked up in Wine's library folder. WINEPREFIX defaults to a prefix inside the build tree so that
# no test touches a real user profile; the first start in a new prefix takes 20-40 s.
set -euo pipefail
find_wine() {
  for c in wine64 wine /usr/lib/wine/wine64 /usr/lib/x86_64-linux-gnu/wine/wine64; do
    if command -v "$c" >/dev/null 2>&1; then command -v "$c"; return 0; fi
  done
  local p
  p=$(dpkg -L wine64 2>/dev/null | grep -E '/wine64$' | head -n 1 || true)
  [ -n "$p" ] && [ -x "$p" ] && { echo "$p"; return 0; }
  return 1
}
WINE=$(find_wine) || { echo "wine-run: no Wine loader found (apt-get install wine64)" >&2; exit 127; }
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
export WINEPREFIX=${WINEPREFIX:-${TOLVANE_WINEPREFIX:-/tmp/tolvane-wine-$(id -u)}}
exec "$WINE" "$@"
