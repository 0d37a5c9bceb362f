#!/usr/bin/env bash
# Starts Tolvane. On Windows (Git Bash / MSYS) it runs the built tolvane.exe. On Linux it builds what
# is missing and runs tolvane.exe under Wine with "--demo" (so there is something to see): on your
# display when $DISPLAY is reachable, otherwise on a virtual display, where it saves a screenshot
# after a few seconds, says where, and stops the program. Extra arguments go to the program.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
case "$(uname -s)" in
  MINGW* | MSYS* | CYGWIN*)
    exe=build/windows/src/app/win32/tolvane.exe
    [ -f "$exe" ] || { cmake --preset windows && cmake --build build/windows --target tolvane; }
    exec "$exe" "$@"
    ;;
esac

scripts/install-deps.sh
exe=$root/build/windows/src/app/win32/tolvane.exe
if [ ! -f "$exe" ]; then
  cmake --preset windows >/dev/null
  cmake --build build/windows --target tolvane
fi
export WINEPREFIX=${WINEPREFIX:-$HOME/.local/share/tolvane-wine}
mkdir -p "$WINEPREFIX"

if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  exec scripts/wine-run.sh "$exe" --demo "$@"
fi

# No display: a virtual one, a screenshot, then stop.
display=""
for n in $(seq 200 260); do
  if [ ! -e /tmp/.X$n-lock ] && [ ! -e /tmp/.X11-unix/X$n ]; then display=:$n; break; fi
done
[ -n "$display" ] || { echo "run: no free X display number"; exit 1; }
Xvfb "$display" -screen 0 1920x1080x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
export DISPLAY=$display
wineserver_bin=$(dirname "$(dpkg -L wine64 | grep -E '/wine64$' | head -n 1)")/wineserver
stop() {
  "$wineserver_bin" -k 2>/dev/null || true
  kill "$xvfb_pid" 2>/dev/null || true
}
trap stop EXIT
sleep 1
echo "run: no display found; starting Tolvane on the virtual display $display"
scripts/wine-run.sh "$exe" --demo "$@" &
# The first start in a new Wine prefix takes 20-40 s; wait for the window.
for _ in $(seq 1 90); do
  if xdotool search --name '^Tolvane$' >/dev/null 2>&1; then break; fi
  sleep 1
done
sleep 3
mkdir -p artifacts
import -window root artifacts/screenshot.png
echo "run: screenshot saved to $root/artifacts/screenshot.png"
