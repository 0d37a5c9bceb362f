#!/usr/bin/env bash
# Starts Tolvane. On Linux it builds what is missing and runs the native program (build/linux) on
# this machine: its real sockets, real ping, and packet capture when the program may capture (root,
# or the capability granted as printed below). With no reachable display it starts a virtual one
# with "--demo" (so there is something to see), saves a screenshot after a few seconds, says where,
# and stops the program. Extra arguments go to the program (scripts/run.sh --demo).
#
#   scripts/run.sh --wine [args]   the Windows program under Wine instead (demo mode, as before)
#
# On Windows (Git Bash / MSYS) it runs the built tolvane.exe.
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
wine=0
if [ "${1:-}" = "--wine" ]; then
  wine=1
  shift
fi
if [ $wine -eq 1 ]; then
  exe=$root/build/windows/src/app/win32/tolvane.exe
  if [ ! -f "$exe" ]; then
    cmake --preset windows >/dev/null
    cmake --build build/windows --target tolvane
  fi
  export WINEPREFIX=${WINEPREFIX:-$HOME/.local/share/tolvane-wine}
  mkdir -p "$WINEPREFIX"
  program=("$root/scripts/wine-run.sh" "$exe" --demo)
else
  exe=$root/build/linux/src/app/linux/tolvane
  cmake --preset linux >/dev/null
  cmake --build build/linux --target tolvane
  program=("$exe")
  if [ "$(id -u)" -ne 0 ] && ! getcap "$exe" 2>/dev/null | grep -q cap_net_raw; then
    echo "run: packet capture and ping need CAP_NET_RAW; to grant it to this build:"
    echo "       sudo setcap cap_net_raw+ep $exe"
  fi
fi

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && { [ -n "${WAYLAND_DISPLAY:-}" ] || xdpyinfo >/dev/null 2>&1; }; then
  exec "${program[@]}" "$@"
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
program_pid=""
stop() {
  [ -n "$program_pid" ] && kill "$program_pid" 2>/dev/null
  if [ $wine -eq 1 ]; then
    "$(dirname "$(dpkg -L wine64 | grep -E '/wine64$' | head -n 1)")/wineserver" -k 2>/dev/null || true
  fi
  kill "$xvfb_pid" 2>/dev/null || true
}
trap stop EXIT
sleep 1
echo "run: no display found; starting Tolvane on the virtual display $display"
[ $wine -eq 1 ] || program+=(--demo)
"${program[@]}" "$@" &
program_pid=$!
# The first start in a new Wine prefix takes 20-40 s; wait for the window.
for _ in $(seq 1 90); do
  if xdotool search --name '^Tolvane$' >/dev/null 2>&1; then break; fi
  sleep 1
done
sleep 3
mkdir -p artifacts
import -window root artifacts/screenshot.png
echo "run: screenshot saved to $root/artifacts/screenshot.png"
