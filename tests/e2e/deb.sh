#!/usr/bin/env bash
# The Debian package on this machine (needs root): it installs with dpkg, grants /usr/bin/tolvane
# cap_net_raw, puts the desktop entry and the icon in place, "tolvane --bench" from the installed
# path writes its line on a private virtual display, and it removes cleanly (no file of it left).
#
#   tests/e2e/deb.sh dist/tolvane_<version>_amd64.deb
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
deb=${1:?usage: tests/e2e/deb.sh path/to/tolvane.deb}
[ -f "$deb" ] || { echo "e2e deb: no package at $deb"; exit 2; }
[ "$(id -u)" -eq 0 ] || { echo "e2e deb: needs root (dpkg -i)"; exit 2; }
e2e_dir=$here
. "$here/lib.sh"
work=$(mktemp -d /tmp/tolvane-e2e-deb.XXXXXX)
cleanup() {
  e2e_stop_display
  dpkg -s tolvane >/dev/null 2>&1 && dpkg -r tolvane >/dev/null 2>&1
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM
e2e_start_display 360 399 || { echo "e2e deb: no X display"; exit 2; }

if dpkg -i "$deb" >"$work/install.log" 2>&1 || { apt-get install -f -y -qq >>"$work/install.log" 2>&1 && dpkg -s tolvane >/dev/null 2>&1; }; then
  files=$(dpkg -L tolvane)
  if getcap /usr/bin/tolvane | grep -q cap_net_raw && grep -qx /usr/share/applications/tolvane.desktop <<<"$files" \
    && grep -qx /usr/share/icons/hicolor/256x256/apps/tolvane.png <<<"$files"; then
    pass "install: /usr/bin/tolvane with cap_net_raw, the desktop entry and the icon"
  else
    fail "install" "capabilities '$(getcap /usr/bin/tolvane)', files: $(tr '\n' ' ' <<<"$files" | head -c 300)"
  fi
  mkdir -p "$work/home" "$work/tmp"
  HOME=$work/home XDG_CONFIG_HOME=$work/home/.config TMPDIR=$work/tmp timeout 60 tolvane --bench >"$work/bench.log" 2>&1
  rc=$?
  if [ $rc -eq 0 ] && grep -Eq '^full [0-9.]+ ms/frame, hover-partial [0-9.]+ ms/frame' "$work/tmp/tolvane_bench.txt" 2>/dev/null; then
    pass "installed tolvane --bench: $(head -n 1 "$work/tmp/tolvane_bench.txt")"
  else
    fail "installed tolvane --bench" "exit $rc: $(head -n 3 "$work/bench.log")"
  fi
  dpkg -r tolvane >"$work/remove.log" 2>&1
  left=""
  while read -r f; do [ -f "$f" ] && left="$left $f"; done <<<"$files"
  if ! dpkg -s tolvane >/dev/null 2>&1 && [ -z "$left" ]; then
    pass "remove: the package and all its files are gone"
  else
    fail "remove" "files left:$left"
  fi
else
  fail "install" "$(tail -n 5 "$work/install.log")"
fi
e2e_summary "e2e deb"
