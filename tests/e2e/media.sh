#!/usr/bin/env bash
# End-to-end checks of the background medium and the loading screen in tolvane.exe under Wine, on a
# private virtual display in a fresh prefix, checked from outside with screenshots:
#   - a settings file naming a PNG as bgPath: the picture covers the window behind the main view;
#   - a normal start with splashMs=0 and a loading-screen picture: the picture stays on screen,
#     centred 70 pixels above the middle, until a click.
# (That --bench never shows the loading screen is a unit test: from outside, a benchmark run that
# drew it would look the same.)
# The pictures are written here as solid-colour PNGs. Prints one line per check and
# "e2e media: N passed, M failed"; exits non-zero when any check failed. Cleans up on exit.
#
#   tests/e2e/media.sh path/to/tolvane.exe
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
exe=${1:?usage: tests/e2e/media.sh path/to/tolvane.exe}
exe=$(cd "$(dirname "$exe")" && pwd)/$(basename "$exe")
[ -f "$exe" ] || { echo "e2e media: no program at $exe"; exit 2; }

e2e_dir=$here
. "$here/lib.sh"

work=$(mktemp -d /tmp/tolvane-e2e-media.XXXXXX)
export WINEPREFIX=$work/prefix
mkdir -p "$WINEPREFIX"
wineserver_bin=""
cleanup() {
  [ -n "$wineserver_bin" ] && WINEPREFIX=$work/prefix "$wineserver_bin" -k 2>/dev/null
  e2e_stop_display
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

wine_loader=$(dpkg -L wine64 2>/dev/null | grep -E '/wine64$' | head -n 1)
[ -n "$wine_loader" ] && wineserver_bin=$(dirname "$wine_loader")/wineserver
[ -x "$wineserver_bin" ] || wineserver_bin=$(command -v wineserver || true)

e2e_start_display 200 259 || { echo "e2e media: no X display"; exit 2; }

probe=$work/window_probe.exe
if ! x86_64-w64-mingw32-g++-posix -O1 -static -o "$probe" "$here/window_probe.cpp" -lgdi32 >"$work/probe.log" 2>&1; then
  fail "window probe build" "$(head -n 5 "$work/probe.log")"
  echo "e2e media: $passed passed, $failed failed"
  exit 1
fi
timeout 120 "$root/scripts/wine-run.sh" wineboot -i >"$work/wineboot.log" 2>&1
"$wineserver_bin" -p 2>/dev/null
probe_out() { timeout 30 "$root/scripts/wine-run.sh" "$probe" "$@" 2>/dev/null | tr -d '\r'; }
window_count() { probe_out list | grep -c '^window '; }
app_count() { window_count; }
winpath() { timeout 30 "$root/scripts/wine-run.sh" winepath -w "$1" 2>/dev/null | tr -d '\r' | tail -n 1; }

appdata_win=$(timeout 30 "$root/scripts/wine-run.sh" cmd /c echo %APPDATA% 2>/dev/null | tr -d '\r' | tail -n 1)
appdata_dir=$(timeout 30 "$root/scripts/wine-run.sh" winepath -u "$appdata_win" 2>/dev/null | tr -d '\r' | tail -n 1)
settings_file=${appdata_dir%/}/Tolvane/settings.ini
mkdir -p "$(dirname "$settings_file")" "$work/media"

# Solid RGB PNGs: name width height r g b.
python3 - "$work/media" <<'EOF'
import struct, sys, zlib
def png(path, w, h, rgb):
    raw = b"".join(b"\x00" + bytes(rgb) * w for _ in range(h))
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 2, 0, 0, 0))
                + chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b""))
png(sys.argv[1] + "/background.png", 64, 48, (0xC8, 0x32, 0x32))
png(sys.argv[1] + "/splash.png", 100, 100, (0x20, 0xC0, 0x40))
EOF
bg_win=$(winpath "$work/media/background.png")
splash_win=$(winpath "$work/media/splash.png")

launch() {
  local tag=$1
  shift
  (
    timeout 200 "$root/scripts/wine-run.sh" "$exe" "$@" >"$work/out.$tag" 2>&1
    echo $? >"$work/rc.$tag"
  ) &
}

# The X window of the program: sets ax ay xw xh; false when there is not exactly one.
find_window() {
  local xids
  xids=$(xdotool search --onlyvisible --name '^Tolvane$' 2>/dev/null)
  [ "$(wc -w <<<"$xids")" -eq 1 ] || return 1
  local geo
  geo=$(xwininfo -id "$xids")
  ax=$(awk '/Absolute upper-left X/ {print $NF}' <<<"$geo")
  ay=$(awk '/Absolute upper-left Y/ {print $NF}' <<<"$geo")
  xw=$(awk '/Width:/ {print $NF}' <<<"$geo")
  xh=$(awk '/Height:/ {print $NF}' <<<"$geo")
}
px() { convert "$1" -format "%[fx:int(255*p{$2,$3}.r)] %[fx:int(255*p{$2,$3}.g)] %[fx:int(255*p{$2,$3}.b)]" info:; }
near() { local d=$(($1 - $2)); [ ${d#-} -le $3 ]; }
near_rgb() { near "$1" "$4" 12 && near "$2" "$5" 12 && near "$3" "$6" 12; }

# Closes the windows and waits until the launched program has ended (a second start while the
# first is still shutting down would hand over to it and exit).
close_all() {
  timeout 30 "$root/scripts/wine-run.sh" "$probe" close >/dev/null 2>&1
  wait_for 30 none_left && wait_for 30 test -s "$work/rc.$1"
}

mkdir -p "$root/artifacts/e2e"

# ---- a PNG as bgPath covers the window behind the main view (no dimming, no loading screen)
printf 'splash=0\r\nbgDim=0\r\nbgPath=%s\r\n' "$bg_win" >"$settings_file"
launch background
if wait_for 60 at_least 1 && sleep 3 && wait_for 10 find_window; then
  shot=$root/artifacts/e2e/background_picture.png
  import -window root "$shot" 2>/dev/null
  read -r r1 g1 b1 <<<"$(px "$shot" $((ax + 20)) $((ay + 20)))"
  read -r r2 g2 b2 <<<"$(px "$shot" $((ax + xw - 20)) $((ay + xh - 20)))"
  if near_rgb "$r1" "$g1" "$b1" 0xC8 0x32 0x32 && near_rgb "$r2" "$g2" "$b2" 0xC8 0x32 0x32; then
    pass "background picture $shot: $r1,$g1,$b1 at the upper left, $r2,$g2,$b2 at the lower right"
  else
    fail "background picture" "upper left $r1,$g1,$b1, lower right $r2,$g2,$b2 (want 200,50,50)"
  fi
else
  fail "background picture" "no single window within 60 s (windows: $(probe_out list); $(head -n 3 "$work/out.background" 2>/dev/null))"
fi
close_all background || fail "background picture" "the window did not close"

# ---- a normal start shows the loading screen with its picture until a click
printf 'splash=1\r\nsplashMs=0\r\nsplashImage=%s\r\n' "$splash_win" >"$settings_file"
launch splash
if wait_for 60 at_least 1 && sleep 3 && wait_for 10 find_window; then
  shot=$root/artifacts/e2e/loading_screen.png
  import -window root "$shot" 2>/dev/null
  cx=$((ax + xw / 2))
  cy=$((ay + xh / 2 - 70))
  read -r r g b <<<"$(px "$shot" $cx $cy)"
  read -r re ge be <<<"$(px "$shot" $((cx + 120)) $cy)"  # beside the 200-pixel box: no picture
  if near_rgb "$r" "$g" "$b" 0x20 0xC0 0x40 && ! near_rgb "$re" "$ge" "$be" 0x20 0xC0 0x40; then
    pass "loading screen $shot: its picture at the centre ($r,$g,$b), not beside it ($re,$ge,$be)"
  else
    fail "loading screen" "centre $r,$g,$b, beside $re,$ge,$be (want 32,192,64 only at the centre)"
  fi
  # A click ends it: the main view replaces the picture.
  xdotool mousemove $((ax + xw / 2)) $((ay + xh / 2)) click 1 2>/dev/null
  sleep 2
  import -window root "$work/after_click.png" 2>/dev/null
  read -r r g b <<<"$(px "$work/after_click.png" $cx $cy)"
  if ! near_rgb "$r" "$g" "$b" 0x20 0xC0 0x40; then
    pass "loading screen: a click ends it"
  else
    fail "loading screen" "the picture is still shown after a click"
  fi
else
  fail "loading screen" "no single window within 60 s (windows: $(probe_out list); X: $(xdotool search --onlyvisible --name '^Tolvane$' 2>/dev/null | tr '\n' ' '); $(head -n 3 "$work/out.splash" 2>/dev/null))"
fi
close_all splash || fail "loading screen" "the window did not close"

e2e_summary "e2e media"
