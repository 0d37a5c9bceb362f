#!/usr/bin/env bash
# End-to-end checks of tolvane.exe: the real program under Wine on a private virtual display, in a
# fresh Wine prefix in a temporary folder, checked from outside. Windows' own view of the windows
# (class name, title, rectangle, minimised state) comes from tests/e2e/window_probe.cpp, built here
# with the MinGW compiler, because Wine names X windows after the executable, not the class.
#
#   tests/e2e/run.sh path/to/tolvane.exe
#
# Prints one line per check and "e2e: N passed, M failed"; exits non-zero when any check failed.
# Everything it starts (Xvfb, the Wine server of its prefix) is stopped on exit, also on failure.
# Runs in about a minute and a half; each wait has a time limit so nothing hangs CI.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
exe=${1:?usage: tests/e2e/run.sh path/to/tolvane.exe}
exe=$(cd "$(dirname "$exe")" && pwd)/$(basename "$exe")
[ -f "$exe" ] || { echo "e2e: no program at $exe"; exit 2; }

passed=0
failed=0
pass() { passed=$((passed + 1)); echo "PASS $1"; }
fail() { failed=$((failed + 1)); echo "FAIL $1${2:+: $2}"; }

work=$(mktemp -d /tmp/tolvane-e2e.XXXXXX)
export WINEPREFIX=$work/prefix
mkdir -p "$WINEPREFIX"
xvfb_pid=""
wineserver_bin=""
servers_pid=""
cleanup() {
  [ -n "$servers_pid" ] && kill "$servers_pid" 2>/dev/null
  [ -n "$wineserver_bin" ] && WINEPREFIX=$work/prefix "$wineserver_bin" -k 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

wine() { "$root/scripts/wine-run.sh" "$@"; }
wine_loader=$(dpkg -L wine64 2>/dev/null | grep -E '/wine64$' | head -n 1)
[ -n "$wine_loader" ] && wineserver_bin=$(dirname "$wine_loader")/wineserver
[ -x "$wineserver_bin" ] || wineserver_bin=$(command -v wineserver || true)

# A free display number: no lock file and no socket.
display=""
for n in $(seq 120 199); do
  if [ ! -e /tmp/.X$n-lock ] && [ ! -e /tmp/.X11-unix/X$n ]; then display=:$n; break; fi
done
[ -n "$display" ] || { echo "e2e: no free X display"; exit 2; }
Xvfb "$display" -screen 0 1920x1080x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
export DISPLAY=$display
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done

# Wait (up to $1 seconds) until the command in the remaining arguments succeeds.
wait_for() {
  local limit=$1
  shift
  local end=$((SECONDS + limit))
  while [ $SECONDS -lt $end ]; do
    "$@" && return 0
    sleep 0.5
  done
  return 1
}

# ---- resources of the executable (no Wine needed)
if out=$(python3 "$here/check_resources.py" "$exe" 2>&1); then
  pass "resources: icon group 1 with 7 PNG sizes, manifest, the project version"
else
  fail "resources" "$out"
fi

probe=$work/window_probe.exe
if ! x86_64-w64-mingw32-g++-posix -O1 -static -o "$probe" "$here/window_probe.cpp" -lgdi32 >"$work/probe.log" 2>&1; then
  fail "window probe build" "$(head -n 5 "$work/probe.log")"
  echo "e2e: $passed passed, $failed failed"
  exit 1
fi

timeout 120 "$root/scripts/wine-run.sh" wineboot -i >"$work/wineboot.log" 2>&1
"$wineserver_bin" -p 2>/dev/null  # keep one server for the whole run: each start costs less
probe_out() { timeout 30 "$root/scripts/wine-run.sh" "$probe" "$@" 2>/dev/null | tr -d '\r'; }
window_count() { probe_out list | grep -c '^window '; }
at_least() { [ "$(window_count)" -ge "$1" ]; }
none_left() { [ "$(window_count)" -eq 0 ]; }

# Launches tolvane.exe in the background with the given arguments; its exit code lands in $work/rc.<tag>.
launch() {
  local tag=$1
  shift
  (
    timeout 200 "$root/scripts/wine-run.sh" "$exe" "$@" >"$work/out.$tag" 2>&1
    echo $? >"$work/rc.$tag"
  ) &
}

# ---- (a) benchmark mode: ends by itself with code 0 and appends exactly one result line
temp_win=$(timeout 30 "$root/scripts/wine-run.sh" cmd /c echo %TEMP% 2>/dev/null | tr -d '\r' | tail -n 1)
temp_dir=$(timeout 30 "$root/scripts/wine-run.sh" winepath -u "$temp_win" 2>/dev/null | tr -d '\r' | tail -n 1)
temp_dir=${temp_dir%/}
bench_file=$temp_dir/tolvane_bench.txt
if [ -z "$temp_win" ] || [ ! -d "$temp_dir" ]; then
  fail "bench" "temporary folder of the prefix not found ('$temp_win' -> '$temp_dir')"
else
  # A settings file an older version left behind: no ver line, values out of range, a theme.
  appdata_win=$(timeout 30 "$root/scripts/wine-run.sh" cmd /c echo %APPDATA% 2>/dev/null | tr -d '\r' | tail -n 1)
  appdata_dir=$(timeout 30 "$root/scripts/wine-run.sh" winepath -u "$appdata_win" 2>/dev/null | tr -d '\r' | tail -n 1)
  settings_file=${appdata_dir%/}/Tolvane/settings.ini
  mkdir -p "$(dirname "$settings_file")"
  printf 'theme=4\r\nrefreshMs=2000\r\nscrollSpeed=99\r\nbgDim=-5\r\nprefixes=104, 3;x\r\n' >"$settings_file"
  seed="full 1.00 ms/frame, hover-partial 1.00 ms/frame, window-ready 1 ms, first paint 1 ms (earlier run)"
  printf '%s\n' "$seed" >"$bench_file"
  timeout 120 "$root/scripts/wine-run.sh" "$exe" --bench >"$work/out.bench" 2>&1
  rc=$?
  line_re='^full [0-9]+\.[0-9]{2} ms/frame, hover-partial [0-9]+\.[0-9]{2} ms/frame, window-ready [0-9]+ ms, first paint [0-9]+ ms$'
  lines=$(wc -l <"$bench_file")
  first=$(head -n 1 "$bench_file")
  second=$(sed -n 2p "$bench_file")
  if [ $rc -ne 0 ]; then
    fail "bench" "exit code $rc (124 = did not end by itself)"
  elif [ "$lines" -ne 2 ] || [ "$first" != "$seed" ] || ! grep -Eq "$line_re" <<<"$second" \
    || [ -n "$(tail -c 1 "$bench_file")" ]; then
    fail "bench" "file holds: $(cat "$bench_file")"
  else
    pass "bench: exit 0, one line appended, earlier line kept: $second"
    mkdir -p "$root/artifacts/e2e"
    printf '%s\n' "$second" >"$root/artifacts/e2e/bench.txt"
  fi
  # The program saved the normalised settings when its window closed: 97 CR LF lines, upgraded.
  if [ -f "$settings_file" ] && [ "$(grep -c $'\r$' "$settings_file")" -eq 97 ] \
    && [ "$(wc -l <"$settings_file")" -eq 97 ] && [ ! -e "$settings_file.tmp" ] \
    && grep -qx $'theme=4\r' "$settings_file" && grep -qx $'refreshMs=500\r' "$settings_file" \
    && grep -qx $'scrollSpeed=10\r' "$settings_file" && grep -qx $'bgDim=0\r' "$settings_file" \
    && grep -qx $'prefixes=104,3\r' "$settings_file" && grep -qx $'ver=2\r' "$settings_file"; then
    pass "settings: normalised file written at shutdown"
  else
    fail "settings" "file holds: $(head -c 400 "$settings_file" 2>/dev/null | tr '\r\n' ' ')"
  fi
  if wait_for 10 none_left; then
    pass "bench: no window left behind"
  else
    fail "bench" "a window is still open after the benchmark"
  fi
fi

# ---- (b) a plain start shows one window of the right class, title and start-up geometry
read -r _ dpi _ wl wt wr wb wok <<<"$(probe_out screen)"
launch first
if wait_for 60 at_least 1; then
  sleep 1
  list=$(probe_out list)
  # The same arithmetic as the program's start-up geometry, from what Windows reports here.
  read -r want_l want_t want_r want_b <<<"$(python3 - "$dpi" "$wl" "$wt" "$wr" "$wb" "$wok" <<'EOF'
import sys
dpi, l, t, r, b, ok = (int(v) for v in sys.argv[1:])
if not ok:
    l, t, r, b = 0, 0, 1920, 1080
scale = dpi / 96 if dpi > 96 else 1.0
w = min(int(1360 * scale), (r - l) - 40)
h = min(int(880 * scale), (b - t) - 40)
x = l + int(((r - l) - w) / 2)
y = t + int(((b - t) - h) / 2)
print(x, y, x + w, y + h)
EOF
)"
  want="window Tolvane $want_l $want_t $want_r $want_b iconic 0"
  if [ "$(grep -c '^window ' <<<"$list")" -eq 1 ] && [ "$list" = "$want" ]; then
    pass "plain start: one TolvaneDesktopApp window \"Tolvane\" at $want_l,$want_t size $((want_r - want_l))x$((want_b - want_t)) (dpi $dpi)"
  else
    fail "plain start" "want '$want', got '$list'"
  fi
  # The X side: exactly one mapped top-level window titled Tolvane, centred where Windows put it.
  xids=$(xdotool search --onlyvisible --name '^Tolvane$' 2>/dev/null)
  if [ "$(wc -w <<<"$xids")" -eq 1 ]; then
    geo=$(xwininfo -id "$xids")
    ax=$(awk '/Absolute upper-left X/ {print $NF}' <<<"$geo")
    ay=$(awk '/Absolute upper-left Y/ {print $NF}' <<<"$geo")
    xw=$(awk '/Width:/ {print $NF}' <<<"$geo")
    xh=$(awk '/Height:/ {print $NF}' <<<"$geo")
    # Wine may keep a thin resize border outside the X window: allow it, but the same on every side.
    bx=$((ax - want_l))
    by=$((ay - want_t))
    if [ $bx -ge 0 ] && [ $bx -le 8 ] && [ $by -eq $bx ] && [ "$xw" -eq $((want_r - want_l - 2 * bx)) ] \
      && [ "$xh" -eq $((want_b - want_t - 2 * by)) ]; then
      pass "plain start: one X window \"Tolvane\", ${xw}x${xh}+${ax}+${ay} (frame border $bx)"
    else
      fail "plain start (X)" "X window ${xw}x${xh}+${ax}+${ay}, Windows rectangle $want_l,$want_t-$want_r,$want_b"
    fi
  else
    fail "plain start (X)" "visible X windows titled Tolvane: '$xids'"
    xids=""
  fi
else
  fail "plain start" "no window within 60 s ($(cat "$work/out.first" 2>/dev/null | head -n 3))"
  xids=""
fi

# ---- (e) screenshot: the window shows the background gradient
shot=$root/artifacts/e2e/main_window.png
mkdir -p "$(dirname "$shot")"
if [ -n "$xids" ] && import -window root "$shot" 2>/dev/null; then
  # The settings file left by the benchmark run selects "Light": near the upper-left and lower-right
  # corners of the window, inside it, the gradient's two ends
  # (E0E9F8 to EEF2FB, diagonal), lighter at the lower right than at the upper left.
  px() { convert "$shot" -format "%[fx:int(255*p{$1,$2}.r)] %[fx:int(255*p{$1,$2}.g)] %[fx:int(255*p{$1,$2}.b)]" info:; }
  read -r r1 g1 b1 <<<"$(px $((ax + 20)) $((ay + 20)))"
  read -r r2 g2 b2 <<<"$(px $((ax + xw - 20)) $((ay + xh - 20)))"
  read -r r0 g0 b0 <<<"$(px 5 5)"
  near() { local d=$(($1 - $2)); [ ${d#-} -le $3 ]; }
  if near "$r1" 0xE0 6 && near "$g1" 0xE9 6 && near "$b1" 0xF8 8 && near "$r2" 0xEE 6 && near "$g2" 0xF2 6 \
    && near "$b2" 0xFB 8 && [ $((r1 + g1 + b1)) -lt $((r2 + g2 + b2)) ] && [ $((r0 + g0 + b0)) -eq 0 ]; then
    pass "screenshot $shot: gradient $r1,$g1,$b1 -> $r2,$g2,$b2, black outside"
  else
    fail "screenshot" "upper-left $r1,$g1,$b1 lower-right $r2,$g2,$b2 outside $r0,$g0,$b0"
  fi
else
  fail "screenshot" "no window to capture or import failed"
fi

# ---- (c) a second plain start hands over to the first: restores it when minimised, exits 0
if [ "$(window_count)" -eq 1 ] && timeout 30 "$root/scripts/wine-run.sh" "$probe" minimize >/dev/null 2>&1 \
  && probe_out list | grep -q 'iconic 1$'; then
  timeout 60 "$root/scripts/wine-run.sh" "$exe" >"$work/out.second" 2>&1
  rc=$?
  sleep 1
  list=$(probe_out list)
  if [ $rc -eq 0 ] && [ "$(grep -c '^window ' <<<"$list")" -eq 1 ] && grep -q 'iconic 0$' <<<"$list"; then
    pass "second start: exit 0, still one window, the minimised first window restored"
  else
    fail "second start" "exit $rc, windows: $list"
  fi
else
  fail "second start" "could not minimise the first window (windows: $(probe_out list))"
fi

# ---- (d) a second start with --demo opens a window of its own
launch demo --demo
if wait_for 60 at_least 2 && [ "$(window_count)" -eq 2 ]; then
  pass "demo start beside a running instance: two windows"
else
  fail "demo start" "windows: $(probe_out list)"
fi

# ---- closing: both windows close on request and their processes end with code 0
if timeout 30 "$root/scripts/wine-run.sh" "$probe" close >/dev/null 2>&1 \
  && wait_for 30 test -s "$work/rc.first" -a -s "$work/rc.demo"; then
  if [ "$(cat "$work/rc.first")" = 0 ] && [ "$(cat "$work/rc.demo")" = 0 ] && [ "$(window_count)" -eq 0 ]; then
    pass "close: both processes ended with code 0, no window left"
  else
    fail "close" "exit codes $(cat "$work/rc.first") and $(cat "$work/rc.demo"), windows: $(probe_out list)"
  fi
else
  fail "close" "the programs did not end within 30 s of WM_CLOSE"
fi

# ---- (f) demo mode with autoCopyCall=1: a demo call IP reaches the X clipboard by itself within two
# seconds of the window's appearance; closing writes the settings file; Ctrl+C copies the first call;
# searching by keyboard narrows the table and a double click copies a row
demo_calls_re='^(35\.214\.40\.77|104\.18\.12\.201|104\.18\.32\.47)$'
now_ms() { date +%s%3N; }
clipboard() { timeout 5 xclip -o -selection clipboard 2>/dev/null; }
if [ -n "${settings_file:-}" ] && [ "$(window_count)" -eq 0 ]; then
  printf 'autoCopyCall=1\r\n' >"$settings_file"
  launch auto --demo
  t_window=""
  t_clip=""
  end=$((SECONDS + 60))
  while [ $SECONDS -lt $end ] && [ -z "$t_clip" ]; do
    if [ -z "$t_window" ] && [ -n "$(xdotool search --name '^Tolvane$' 2>/dev/null)" ]; then t_window=$(now_ms); fi
    if grep -Eq "$demo_calls_re" <<<"$(clipboard)"; then t_clip=$(now_ms); fi
    sleep 0.1
  done
  got=$(clipboard)
  if [ -n "$t_window" ] && [ -n "$t_clip" ] && [ $((t_clip - t_window)) -le 2000 ]; then
    pass "auto-copy: demo call IP $got on the X clipboard $((t_clip - t_window)) ms after the window appeared"
  else
    fail "auto-copy" "window at '${t_window}', clipboard '$got' at '${t_clip}'"
  fi

  # The file is removed while the program runs: only its shutdown can write it again.
  rm -f "$settings_file"
  if timeout 30 "$root/scripts/wine-run.sh" "$probe" close >/dev/null 2>&1 && wait_for 30 test -s "$work/rc.auto"; then
    if [ "$(cat "$work/rc.auto")" = 0 ] && [ -f "$settings_file" ] && [ "$(wc -l <"$settings_file")" -eq 97 ] \
      && grep -qx $'autoCopyCall=1\r' "$settings_file"; then
      pass "close: exit 0, settings file written at shutdown with autoCopyCall=1"
    else
      fail "close (settings)" "exit $(cat "$work/rc.auto"), file: $(head -c 200 "$settings_file" 2>/dev/null | tr '\r\n' ' ')"
    fi
  else
    fail "close (settings)" "the demo program did not end within 30 s of WM_CLOSE"
  fi

  # Ctrl+C with no row selected copies the first call IP (autoCopyCall off this time).
  printf 'autoCopyCall=0\r\n' >"$settings_file"
  launch keys --demo
  wid=""
  if wait_for 60 at_least 1; then wid=$(xdotool search --name '^Tolvane$' 2>/dev/null | head -n 1); fi
  if [ -n "$wid" ]; then
    sleep 2  # the first snapshot and the first view
    # Another owner of the clipboard (xclip in the foreground, ended below) so a copy shows as a change.
    printf 'e2e-before' | xclip -quiet -selection clipboard -i >/dev/null 2>&1 &
    xclip_pid=$!
    sleep 0.5
    before=$(clipboard)
    timeout 5 xdotool windowfocus --sync "$wid" 2>/dev/null
    xdotool key ctrl+c
    copied=""
    for _ in $(seq 30); do
      copied=$(clipboard)
      grep -Eq "$demo_calls_re" <<<"$copied" && [ "$copied" != "$before" ] && break
      sleep 0.1
    done
    if grep -Eq "$demo_calls_re" <<<"$copied" && [ "$copied" != "$before" ]; then
      pass "Ctrl+C without a selected row: first call IP $copied on the X clipboard"
    else
      fail "Ctrl+C" "clipboard before '$before', after '$copied'"
    fi
    kill "$xclip_pid" 2>/dev/null

    # Ctrl+F and typed text narrow the table to the one demo row of steam.exe; a double click on
    # the first row (logical 200, 386: inside the table, left of the remote address) copies its
    # IP:port.
    read -r _ _ kl kt _ <<<"$(probe_out list | head -n 1)"
    read -r rx ry <<<"$(awk -v d="$dpi" -v l="$kl" -v t="$kt" 'BEGIN { s = d > 96 ? d / 96 : 1; printf "%d %d", l + int(200 * s), t + int(386 * s) }')"
    xdotool key ctrl+f
    sleep 0.3
    xdotool type --delay 60 steam
    sleep 1
    xdotool mousemove "$rx" "$ry" click --repeat 2 --delay 80 1
    copied=""
    for _ in $(seq 30); do
      copied=$(clipboard)
      [ "$copied" = "23.45.67.89:27015" ] && break
      sleep 0.1
    done
    if [ "$copied" = "23.45.67.89:27015" ]; then
      pass "Ctrl+F, typing \"steam\" and a double click on the first row: its IP:port $copied on the X clipboard"
    else
      fail "search and double click" "clipboard '$copied' (want 23.45.67.89:27015)"
    fi
    timeout 30 "$root/scripts/wine-run.sh" "$probe" close >/dev/null 2>&1
    wait_for 30 test -s "$work/rc.keys"
  else
    fail "Ctrl+C" "no demo window"
  fi
else
  fail "auto-copy" "no settings file path, or a window is still open"
fi

# ---- (g) the demo's main view, read back with OCR: the call panel's title and a demo call address
ocr_shot=$root/artifacts/e2e/demo_main_view.png
launch ocr --demo
if wait_for 60 at_least 1; then
  sleep 5  # the first snapshots reach the view within a few refresh intervals
  read -r _ _ l t r _ <<<"$(probe_out list | head -n 1)"
  scale=$(python3 -c "print(max(1.0, ${dpi:-96} / 96))")
  # Crops the logical rectangle (x, y, w, h) of the window, doubled and negated for tesseract.
  crop() {
    local geometry
    geometry=$(python3 -c "s = $scale; print('%dx%d+%d+%d' % ($4 * s, $5 * s, $l + $2 * s, $t + $3 * s))")
    convert "$ocr_shot" -crop "$geometry" +repage -resize 200% -negate "$work/ocr_$1.png"
  }
  width=$(python3 -c "print(int(($r - $l) / $scale))")
  if import -window root "$ocr_shot" 2>/dev/null && crop title 24 64 $((width - 48)) 40 \
    && crop cards 24 116 $((width - 48)) 44; then
    title=$(tesseract "$work/ocr_title.png" - 2>/dev/null | tr '\n' ' ')
    cards=$(tesseract "$work/ocr_cards.png" - --psm 11 2>/dev/null | tr '\n' ' ')
    if grep -q 'DISCORD CALL IPs' <<<"$title" \
      && grep -Eq '35\.214\.40\.77|104\.18\.12\.201|104\.18\.32\.47' <<<"$cards"; then
      pass "demo main view $ocr_shot: \"DISCORD CALL IPs\" and a demo call address read back"
    else
      fail "demo main view" "title read '$title', cards read '$cards'"
    fi
  else
    fail "demo main view" "screenshot or crop failed"
  fi
  timeout 30 "$root/scripts/wine-run.sh" "$probe" close >/dev/null 2>&1
  wait_for 30 test -s "$work/rc.ocr" || fail "demo main view" "the program did not end after WM_CLOSE"
else
  fail "demo main view" "no window within 60 s"
fi

# ---- (h) the lookup panel against loopback stand-ins of the geolocation service and the tile server
# (tests/e2e/lookup_servers.py): Ctrl+L, a typed public address and Enter look it up; "Copy all info"
# puts the stand-in's city and ISP on the X clipboard; the tile server saw the nine tiles of one map.
# Demo mode pings nothing, so the typed address receives no packet.
if [ "$(window_count)" -eq 0 ]; then
  python3 "$here/lookup_servers.py" "$work" >"$work/servers.log" 2>&1 &
  servers_pid=$!
  if wait_for 10 test -s "$work/ports"; then
    read -r api_port tile_port <"$work/ports"
    launch lookup --demo "--api-base=http://127.0.0.1:$api_port" "--tile-base=http://127.0.0.1:$tile_port"
    wid=""
    if wait_for 60 at_least 1; then wid=$(xdotool search --name '^Tolvane$' 2>/dev/null | head -n 1); fi
    if [ -n "$wid" ]; then
      sleep 2
      timeout 5 xdotool windowfocus --sync "$wid" 2>/dev/null
      xdotool key ctrl+l
      sleep 0.5
      xdotool type --delay 60 93.184.216.34
      xdotool key Return
      tile_count() { grep -c '\.png$' "$work/tiles.log" 2>/dev/null || echo 0; }
      nine_tiles() { [ "$(tile_count)" -ge 9 ]; }
      if wait_for 40 nine_tiles; then
        sleep 1.5  # the map is published, then painted on the next UI tick
        import -window root "$root/artifacts/e2e/lookup_panel.png" 2>/dev/null
        # "Copy all info" sits at the panel's (212, 632); the panel is centred in the client area,
        # at the top (y 8) when the client is lower than 684 logical pixels.
        read -r _ _ kl kt kr kb _ <<<"$(probe_out list | head -n 1)"
        read -r cx cy <<<"$(awk -v d="$dpi" -v l="$kl" -v t="$kt" -v r="$kr" -v b="$kb" 'BEGIN {
          s = d > 96 ? d / 96 : 1; W = int((r - l) / s); H = int((b - t) / s)
          X = int((W - 860) / 2); Y = H >= 684 ? int((H - 668) / 2) : 8
          printf "%d %d", l + int((X + 212) * s), t + int((Y + 632) * s) }')"
        xdotool mousemove "$cx" "$cy" click 1
        copied=""
        for _ in $(seq 30); do
          copied=$(clipboard)
          grep -q 'City: Loopback City' <<<"$copied" && break
          sleep 0.1
        done
        api_requests=$(grep -c '^/json/' "$work/api.log" 2>/dev/null)
        if grep -q '^IP: 93\.184\.216\.34' <<<"$copied" && grep -q 'City: Loopback City' <<<"$copied" \
          && grep -q 'ISP: E2E Test ISP' <<<"$copied" && [ "$(tile_count)" -eq 9 ] && [ "$api_requests" -eq 1 ] \
          && grep -q '^/json/93\.184\.216\.34?fields=' "$work/api.log"; then
          pass "lookup panel: Ctrl+L, typed address, Enter; \"Copy all info\" put the loopback service's city and ISP on the X clipboard; 9 tile requests"
        else
          fail "lookup panel" "clipboard '$(head -c 300 <<<"$copied" | tr '\r\n' '  ')', $(tile_count) tile and $api_requests lookup requests"
        fi
      else
        fail "lookup panel" "the tile server saw $(tile_count) requests (lookups: $(cat "$work/api.log" 2>/dev/null | head -n 3))"
      fi
      timeout 30 "$root/scripts/wine-run.sh" "$probe" close >/dev/null 2>&1
      wait_for 30 test -s "$work/rc.lookup"
    else
      fail "lookup panel" "no demo window"
    fi
  else
    fail "lookup panel" "the loopback servers did not start: $(head -n 3 "$work/servers.log")"
  fi
  kill "$servers_pid" 2>/dev/null
  servers_pid=""
else
  fail "lookup panel" "a window is still open"
fi

# ---- (i) the settings panel: F2 opens it over the main view; a click on the "Show LAN / private IPs"
# switch writes showLan=1 into the settings file while the program runs; with a text field focused,
# the first Escape only drops the focus and the second closes the panel. Open or closed is read off
# a pixel of the window's left margin, which the panel's scrim darkens (theme "Light" makes it bright).
if [ -n "${settings_file:-}" ] && [ "$(window_count)" -eq 0 ]; then
  printf 'theme=4\r\nshowLan=0\r\nsplash=0\r\n' >"$settings_file"
  launch panel
  wid=""
  if wait_for 60 at_least 1; then wid=$(xdotool search --name '^Tolvane$' 2>/dev/null | head -n 1); fi
  if [ -n "$wid" ]; then
    sleep 2
    timeout 5 xdotool windowfocus --sync "$wid" 2>/dev/null
    read -r _ _ kl kt kr kb _ <<<"$(probe_out list | head -n 1)"
    # Device points of logical (x, y) relative to the panel's corner (px, py = 1) or to the window.
    read -r s W H <<<"$(awk -v d="$dpi" -v l="$kl" -v t="$kt" -v r="$kr" -v b="$kb" 'BEGIN {
      s = d > 96 ? d / 96 : 1; printf "%s %d %d", s, int((r - l) / s), int((b - t) / s) }')"
    at() { awk -v s="$s" -v l="$kl" -v t="$kt" -v W="$W" -v H="$H" -v x="$1" -v y="$2" -v p="$3" 'BEGIN {
      X = p ? int((W - 780) / 2) : 0; Y = p ? (H >= 688 ? int((H - 668) / 2) : 10) : 0
      printf "%d %d", l + int((X + x) * s), t + int((Y + y) * s) }'; }
    margin() {
      local shot=$work/panel.png
      import -window root "$shot" 2>/dev/null || { echo 0; return; }
      read -r mx my <<<"$(at 8 450 0)"
      convert "$shot" -format "%[fx:int(255*(p{$mx,$my}.r+p{$mx,$my}.g+p{$mx,$my}.b)/3)]" info:
    }
    click_panel() {
      read -r cx cy <<<"$(at "$1" "$2" 1)"
      xdotool mousemove "$cx" "$cy" click 1
      sleep 0.7
    }
    bright=$(margin)
    xdotool key F2
    sleep 1
    opened=$(margin)
    cp "$work/panel.png" "$root/artifacts/e2e/settings_panel.png" 2>/dev/null
    click_panel 60 139  # the first switch of "General"
    if wait_for 10 grep -qx $'showLan=1\r' "$settings_file"; then
      pass "settings panel: F2, a click on \"Show LAN / private IPs\", showLan=1 in the settings file at once"
    else
      fail "settings panel" "showLan not saved: $(grep -a showLan "$settings_file" | tr -d '\r')"
    fi
    click_panel 150 73   # the "Discord & Copy" tab
    click_panel 200 138  # its prefixes field
    xdotool key Escape
    sleep 0.7
    focus_dropped=$(margin)
    xdotool key Escape
    sleep 0.7
    closed=$(margin)
    if [ "$opened" -lt $((bright / 2)) ] && [ "$focus_dropped" -lt $((bright / 2)) ] \
      && [ "$closed" -gt $((bright * 3 / 4)) ]; then
      pass "settings panel: the first Escape drops the field's focus, the second closes the panel (margin $bright, $opened, $focus_dropped, $closed)"
    else
      fail "settings panel (Escape)" "margin brightness: main view $bright, open $opened, after one Escape $focus_dropped, after two $closed"
    fi
    timeout 30 "$root/scripts/wine-run.sh" "$probe" close >/dev/null 2>&1
    wait_for 30 test -s "$work/rc.panel"
  else
    fail "settings panel" "no window"
  fi
else
  fail "settings panel" "no settings file path, or a window is still open"
fi

# ---- (j) call servers in demo mode against the loopback geolocation service: the cards show made-up
# places while not one request reaches the service, and Ctrl+H lists the demo servers.
if [ -n "${settings_file:-}" ] && [ "$(window_count)" -eq 0 ]; then
  rm -f "$work/api.log" "$work/tiles.log" "$work/ports"
  python3 "$here/lookup_servers.py" "$work" >"$work/servers.log" 2>&1 &
  servers_pid=$!
  wid=""
  if wait_for 10 test -s "$work/ports"; then
    read -r api_port tile_port <"$work/ports"
    launch places --demo "--api-base=http://127.0.0.1:$api_port" "--tile-base=http://127.0.0.1:$tile_port"
    if wait_for 60 at_least 1; then wid=$(xdotool search --name '^Tolvane$' 2>/dev/null | head -n 1); fi
  fi
  if [ -n "$wid" ]; then
    sleep 5
    read -r _ _ kl kt kr kb _ <<<"$(probe_out list | head -n 1)"
    read -r s W H <<<"$(awk -v d="$dpi" -v l="$kl" -v t="$kt" -v r="$kr" -v b="$kb" 'BEGIN {
      s = d > 96 ? d / 96 : 1; printf "%s %d %d", s, int((r - l) / s), int((b - t) / s) }')"
    # Reads the logical rectangle (x, y, w, h) of the window off a screenshot, doubled and negated.
    read_text() {
      local geometry
      geometry=$(awk -v s="$s" -v l="$kl" -v t="$kt" -v x="$1" -v y="$2" -v w="$3" -v h="$4" \
        'BEGIN { printf "%dx%d+%d+%d", w * s, h * s, l + x * s, t + y * s }')
      convert "$work/places.png" -crop "$geometry" +repage -resize 200% -negate "$work/read.png" \
        && tesseract "$work/read.png" - --psm 11 2>/dev/null | tr '\n' ' '
    }
    import -window root "$work/places.png" 2>/dev/null
    cp "$work/places.png" "$root/artifacts/e2e/call_places.png" 2>/dev/null
    details=$(read_text 24 148 $((W - 48)) 24)
    requests=$(cat "$work/api.log" "$work/tiles.log" 2>/dev/null | wc -l)
    if grep -Eq 'Frankfurt|Amsterdam|Paris' <<<"$details" && [ "$requests" -eq 0 ]; then
      pass "call servers (demo): the cards read '$details' and no request reached the loopback service"
    else
      fail "call servers (demo)" "cards read '$details', $requests requests reached the loopback servers"
    fi
    timeout 5 xdotool windowfocus --sync "$wid" 2>/dev/null
    xdotool key ctrl+h
    sleep 1.5
    import -window root "$work/places.png" 2>/dev/null
    cp "$work/places.png" "$root/artifacts/e2e/call_history.png" 2>/dev/null
    ph=$((H - 16 < 600 ? H - 16 : 600))
    listed=$(read_text $(((W - 720) / 2 + 16)) $(((H - ph) / 2 + 8)) 700 $((ph - 16)))
    # The monospaced addresses may come back split at their dots.
    if grep -q 'Call server history' <<<"$listed" && grep -Eq '35\.214[ .]+40\.77' <<<"$listed" \
      && grep -Eq '104\.18[ .]+12\.201' <<<"$listed"; then
      pass "call servers (demo): Ctrl+H lists the demo servers"
    else
      fail "call servers (demo): Ctrl+H" "the panel read '$listed'"
    fi
    timeout 30 "$root/scripts/wine-run.sh" "$probe" close >/dev/null 2>&1
    wait_for 30 test -s "$work/rc.places"
  else
    fail "call servers (demo)" "no demo window, or the loopback servers did not start: $(head -n 3 "$work/servers.log")"
  fi
  kill "$servers_pid" 2>/dev/null
  servers_pid=""
else
  fail "call servers (demo)" "no settings file path, or a window is still open"
fi

echo "e2e: $passed passed, $failed failed"
[ $failed -eq 0 ]
