# Shared by the end-to-end scripts (sourced, not run): counters and the summary, a private virtual
# display, waiting with a time limit, the X clipboard, and the checks of the running program that
# are the same whether it is the Windows program under Wine (run.sh) or the native Linux one
# (linux.sh). The checks drive the program only through its window (keys, clicks at logical
# coordinates times the scale, the X clipboard, screenshots) and the settings file.
#
# A script that uses the checks defines these hooks first:
#   app_launch TAG ARGS...  start the program in the background; its exit code lands in $work/rc.TAG
#   app_rect                print the window's client rectangle: left top right bottom (screen pixels)
#   app_close TAG           close the window as a user does and wait until the program ended
#   app_count               print how many program windows are open
# and, for check_console_export:
#   cli_run TAG ARGS...     run the console export; its exit code lands in $work/rc.TAG, its standard
#                           error in $work/err.TAG
#   cli_path PATH           print a path as the console export takes it
#   cli_name                the name its messages start with
# and sets: work (a temporary folder, removed on exit), scale (device pixels per logical pixel),
# settings_file (the program's settings file), shots (the folder for screenshots).

passed=0
failed=0
# The lines of a settings file the program wrote: one per key.
settings_lines=98
pass() { passed=$((passed + 1)); echo "PASS $1"; }
fail() { failed=$((failed + 1)); echo "FAIL $1${2:+: $2}"; }
# Prints the summary and returns non-zero when a check failed.
e2e_summary() {
  echo "$1: $passed passed, $failed failed"
  [ "$failed" -eq 0 ]
}

# Starts Xvfb on the first free display number in the range $1-$2 (1920x1080x24) and exports DISPLAY;
# its id is in xvfb_pid. A number that looks free (no lock file, no socket) may still be taken
# (another mount namespace's server holds its abstract socket): when Xvfb ends at once, the next
# number is tried. Returns non-zero, with Xvfb's own words, when no server answers.
xvfb_pid=""
e2e_start_display() {
  local n tries=0 wanted=${TOLVANE_E2E_DISPLAY:-}
  for n in ${wanted#:} $(seq "$1" "$2"); do
    [ ! -e /tmp/.X$n-lock ] && [ ! -e /tmp/.X11-unix/X$n ] || continue
    Xvfb ":$n" -screen 0 1920x1080x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
    xvfb_pid=$!
    export DISPLAY=:$n
    # A loaded machine may take seconds to start it.
    for _ in $(seq 200); do
      kill -0 "$xvfb_pid" 2>/dev/null || break
      xdpyinfo >/dev/null 2>&1 && sleep 0.2 && kill -0 "$xvfb_pid" 2>/dev/null && return 0
      sleep 0.1
    done
    e2e_stop_display
    xvfb_pid=""
    echo "Xvfb :$n did not start: $(tail -n 2 "$work/xvfb.log" 2>/dev/null | tr '\n' ' ')" >&2
    tries=$((tries + 1))
    [ $tries -lt 3 ] || return 1
  done
  return 1
}
# Stops it; always succeeds, so that it can end a trap under set -e.
e2e_stop_display() {
  [ -n "$xvfb_pid" ] || return 0
  kill "$xvfb_pid" 2>/dev/null || true
  wait "$xvfb_pid" 2>/dev/null || true
  xvfb_pid=""
}

# Waits (up to $1 seconds) until the command in the remaining arguments succeeds.
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

now_ms() { date +%s%3N; }
clipboard() { timeout 5 xclip -o -selection clipboard 2>/dev/null; }
at_least() { [ "$(app_count)" -ge "$1" ]; }
none_left() { [ "$(app_count)" -eq 0 ]; }
# The screen point of logical (x, y) in the window's client area.
at_logical() {
  local l t r b
  read -r l t r b <<<"$(app_rect)"
  awk -v s="$scale" -v l="$l" -v t="$t" -v x="$1" -v y="$2" 'BEGIN { printf "%d %d", l + int(x * s), t + int(y * s) }'
}
# The client size in logical pixels: W H.
logical_size() {
  local l t r b
  read -r l t r b <<<"$(app_rect)"
  awk -v s="$scale" -v l="$l" -v t="$t" -v r="$r" -v b="$b" 'BEGIN { printf "%d %d", int((r - l) / s), int((b - t) / s) }'
}
focus_app() {
  local wid
  wid=$(xdotool search --onlyvisible --name '^Tolvane$' 2>/dev/null | head -n 1)
  [ -n "$wid" ] && timeout 5 xdotool windowfocus --sync "$wid" 2>/dev/null
}

demo_calls_re='^(35\.214\.40\.77|104\.18\.12\.201|104\.18\.32\.47)$'

# ---- demo mode with autoCopyCall=1: a demo call IP reaches the X clipboard by itself within two
# seconds of the window's appearance; closing writes the settings file
check_auto_copy() {
  printf 'autoCopyCall=1\r\n' >"$settings_file"
  app_launch auto --demo
  local t_window="" t_clip="" end=$((SECONDS + 60)) got
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
  if app_close auto; then
    if [ "$(cat "$work/rc.auto")" = 0 ] && [ -f "$settings_file" ] && [ "$(wc -l <"$settings_file")" -eq "$settings_lines" ] \
      && grep -qx $'autoCopyCall=1\r' "$settings_file"; then
      pass "close: exit 0, settings file written at shutdown with autoCopyCall=1"
    else
      fail "close (settings)" "exit $(cat "$work/rc.auto"), file: $(head -c 200 "$settings_file" 2>/dev/null | tr '\r\n' ' ')"
    fi
  else
    fail "close (settings)" "the demo program did not end within 30 s of the close"
  fi
}

# ---- Ctrl+C with no row selected copies the first call IP; Ctrl+F and typed text narrow the table
# to the one demo row of steam.exe; a double click on the first row (logical 200, 386: inside the
# table, left of the remote address) copies its IP:port
check_keys() {
  printf 'autoCopyCall=0\r\n' >"$settings_file"
  app_launch keys --demo
  if ! wait_for 60 at_least 1; then
    fail "Ctrl+C" "no demo window"
    return
  fi
  sleep 2  # the first snapshot and the first view
  # Another owner of the clipboard (xclip in the foreground, ended below) so a copy shows as a change.
  printf 'e2e-before' | xclip -quiet -selection clipboard -i >/dev/null 2>&1 &
  local xclip_pid=$! before copied rx ry
  sleep 0.5
  before=$(clipboard)
  focus_app
  # Pressed again each second: on a loaded machine the first view may come after the first press.
  for i in $(seq 0 29); do
    [ $((i % 10)) -eq 0 ] && xdotool key ctrl+c
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
  # Ctrl+Shift+C: the whole table, tab-separated under its header (the window saw the Shift).
  xdotool key ctrl+shift+c
  wait_for 5 grep -q $'^steam\.exe (demo)\t6262\tTCP4\t' <(clipboard)
  copied=$(clipboard)
  local header
  header=$(printf 'application\tpid\tprotocol\tlocalAddress\tlocalPort\tremoteAddress\tremotePort\tstate\tcategory\trole\tlatencyMs\treceivedBytesPerSecond\tsentBytesPerSecond\treceivedBytes\tsentBytes')
  if [ "$(head -n 1 <<<"$copied" | tr -d '\r')" = "$header" ] \
    && grep -q $'^steam\.exe (demo)\t6262\tTCP4\t.*\t23\.45\.67\.89\t27015\t' <<<"$copied"; then
    pass "Ctrl+Shift+C: the table under its header on the X clipboard ($(($(wc -l <<<"$copied") - 1)) rows)"
  else
    fail "Ctrl+Shift+C" "clipboard '$(head -c 300 <<<"$copied" | tr '\t\r\n' '|  ')'"
  fi
  read -r rx ry <<<"$(at_logical 200 386)"
  xdotool key ctrl+f
  sleep 0.3
  xdotool type --delay 60 steam
  sleep 1
  xdotool mousemove "$rx" "$ry" click --repeat 2 --delay 80 1
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
  app_close keys
}

# Crops the logical rectangle (x, y, w, h) of the window from screenshot $1 into $work/ocr_$2.png,
# doubled and negated for tesseract.
ocr_crop() {
  local l t r b geometry
  read -r l t r b <<<"$(app_rect)"
  geometry=$(awk -v s="$scale" -v l="$l" -v t="$t" -v x="$3" -v y="$4" -v w="$5" -v h="$6" \
    'BEGIN { printf "%dx%d+%d+%d", w * s, h * s, l + x * s, t + y * s }')
  convert "$1" -crop "$geometry" +repage -resize 200% -negate "$work/ocr_$2.png"
}

# ---- the demo's main view, read back with OCR: the call panel's title and a demo call address
check_ocr() {
  local shot=$shots/demo_main_view.png W H title cards
  app_launch ocr --demo
  if ! wait_for 60 at_least 1; then
    fail "demo main view" "no window within 60 s"
    return
  fi
  sleep 5  # the first snapshots reach the view within a few refresh intervals
  read -r W H <<<"$(logical_size)"
  if import -window root "$shot" 2>/dev/null && ocr_crop "$shot" title 24 64 $((W - 48)) 40 \
    && ocr_crop "$shot" cards 24 116 $((W - 48)) 44; then
    title=$(tesseract "$work/ocr_title.png" - 2>/dev/null | tr '\n' ' ')
    cards=$(tesseract "$work/ocr_cards.png" - --psm 11 2>/dev/null | tr '\n' ' ')
    if grep -q 'DISCORD CALL IPs' <<<"$title" \
      && grep -Eq '35\.214\.40\.77|104\.18\.12\.201|104\.18\.32\.47' <<<"$cards"; then
      pass "demo main view $shot: \"DISCORD CALL IPs\" and a demo call address read back"
    else
      fail "demo main view" "title read '$title', cards read '$cards'"
    fi
  else
    fail "demo main view" "screenshot or crop failed"
  fi
  app_close ocr || fail "demo main view" "the program did not end after the close"
}

# ---- the lookup panel against loopback stand-ins of the geolocation service and the tile server
# (tests/e2e/lookup_servers.py): Ctrl+L, a typed public address and Enter look it up; "Copy all info"
# puts the stand-in's city and ISP on the X clipboard; the tile server saw the nine tiles of one map.
# Demo mode pings nothing, so the typed address receives no packet.
check_lookup() {
  python3 "$e2e_dir/lookup_servers.py" "$work" --hostile >"$work/servers.log" 2>&1 &
  local servers=$! api_port tile_port W H cx cy copied api_requests
  printf 'theme=4\r\nsplash=0\r\n' >"$settings_file"
  if ! wait_for 10 test -s "$work/ports"; then
    fail "lookup panel" "the loopback servers did not start: $(head -n 3 "$work/servers.log")"
    kill "$servers" 2>/dev/null
    return
  fi
  read -r api_port tile_port <"$work/ports"
  app_launch lookup --demo "--api-base=http://127.0.0.1:$api_port" "--tile-base=http://127.0.0.1:$tile_port"
  if wait_for 60 at_least 1; then
    sleep 2
    focus_app
    xdotool key ctrl+l
    sleep 0.5
    xdotool type --delay 60 93.184.216.34
    xdotool key Return
    tile_count() { grep -c '\.png$' "$work/tiles.log" 2>/dev/null || echo 0; }
    nine_tiles() { [ "$(tile_count)" -ge 9 ]; }
    if wait_for 40 nine_tiles; then
      sleep 1.5  # the map is published, then painted on the next UI tick
      import -window root "$shots/lookup_panel.png" 2>/dev/null
      # "Copy all info" sits at the panel's (212, 632); the panel is centred in the client area,
      # at the top (y 8) when the client is lower than 684 logical pixels.
      read -r W H <<<"$(logical_size)"
      read -r cx cy <<<"$(at_logical $(((W - 860) / 2 + 212)) $(((H >= 684 ? (H - 668) / 2 : 8) + 632)))"
      xdotool mousemove "$cx" "$cy" click 1
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
      check_hostile_answers "$W" "$H"
    else
      fail "lookup panel" "the tile server saw $(tile_count) requests (lookups: $(head -n 3 "$work/api.log" 2>/dev/null))"
    fi
    app_close lookup
  else
    fail "lookup panel" "no demo window"
  fi
  kill "$servers" 2>/dev/null
}

# The stand-ins are hostile (lookup_servers.py --hostile): the map's BMP tile and its cut-off PNG
# tile stay grey beside a whole one; a 4 MiB failure message fills the failure box's three lines and
# no more; two Escapes (the first leaves the box) close the panel within a second and the program
# runs on. Pixels are read at logical points of the panel (the map's centre is at 638, 277) or of
# the window's margin, which the theme "Light" makes bright.
check_hostile_answers() {
  local W=$1 H=$2 shot tiles size tw th margins bx by
  # The mean of the channels of screenshot $1 at the panel's logical (x, y), or the window's ($4 = 0).
  grey() {
    local x=$2 y=$3 px py
    if [ "${4:-1}" = 1 ]; then x=$(((W - 860) / 2 + x)) y=$(((H >= 684 ? (H - 668) / 2 : 8) + y)); fi
    read -r px py <<<"$(at_logical "$x" "$y")"
    convert "$1" -format "%[fx:int(255*(p{$px,$py}.r+p{$px,$py}.g+p{$px,$py}.b)/3)]" info:
  }
  shot=$shots/lookup_panel.png
  tiles="$(grey "$shot" 638 337) $(grey "$shot" 478 337) $(grey "$shot" 798 337)"
  # The map's background E2E2DE for the BMP and the cut PNG, the whole tile's B4.
  [ "$tiles" = "224 224 180" ] && pass "hostile tiles $shot: BMP and cut PNG grey, whole PNG drawn" \
    || fail "hostile tiles" "BMP, cut PNG and whole PNG squares read $tiles, want 224 224 180"
  xdotool key ctrl+l Delete
  xdotool type --delay 60 93.184.216.35
  xdotool key Return
  shot=$shots/hostile_message.png
  if wait_for 20 grep -q '^/json/93\.184\.216\.35' "$work/api.log" && sleep 2 && import -window root "$shot"; then
    # The text's extent in the failure box and as far again below it.
    read -r bx by <<<"$(at_logical $(((W - 860) / 2 + 24)) $(((H >= 684 ? (H - 668) / 2 : 8) + 142)))"
    size=$(convert "$shot" -crop "390x120+$bx+$by" +repage -fuzz 15% -trim -format '%w %h' info:)
    xdotool key Escape Escape
    sleep 1
    import -window root "$work/closed.png"
    read -r tw th <<<"$size"
    margins="$(grey "$shot" 8 450 0) $(grey "$work/closed.png" 8 450 0)"
    if [ "$tw" -ge 370 ] && [ "$th" -gt 34 ] && [ "$th" -le 51 ] && [ "${margins%% *}" -lt 150 ] \
      && [ "${margins##* }" -gt 200 ] && [ "$(app_count)" -eq 1 ]; then
      pass "hostile message $shot: three full lines ($size), two Escapes closed the panel within a second"
    else
      fail "hostile message" "text $size (want >= 370 x 35..51), margin $margins, windows $(app_count)"
    fi
  else
    fail "hostile message" "no lookup of 93.184.216.35 or no screenshot"
  fi
}

# ---- the settings panel: F2 opens it over the main view; a click on the "Show LAN / private IPs"
# switch writes showLan=1 into the settings file while the program runs; with a text field focused,
# the first Escape only drops the focus and the second closes it. Open or closed is read off a pixel
# of the window's left margin, which the panel's scrim darkens (theme "Light" makes it bright).
check_settings_panel() {
  printf 'theme=4\r\nshowLan=0\r\nsplash=0\r\n' >"$settings_file"
  app_launch panel
  if ! wait_for 60 at_least 1; then
    fail "settings panel" "no window"
    return
  fi
  sleep 2
  focus_app
  local W H bright opened focus_dropped closed
  read -r W H <<<"$(logical_size)"
  margin() {
    local shot=$work/panel.png mx my
    import -window root "$shot" 2>/dev/null || { echo 0; return; }
    read -r mx my <<<"$(at_logical 8 450)"
    convert "$shot" -format "%[fx:int(255*(p{$mx,$my}.r+p{$mx,$my}.g+p{$mx,$my}.b)/3)]" info:
  }
  click_panel() {
    local cx cy
    read -r cx cy <<<"$(at_logical $(((W - 780) / 2 + $1)) $(((H >= 688 ? (H - 668) / 2 : 10) + $2)))"
    xdotool mousemove "$cx" "$cy" click 1
    sleep 0.7
  }
  bright=$(margin)
  xdotool key F2
  sleep 1
  opened=$(margin)
  cp "$work/panel.png" "$shots/settings_panel.png" 2>/dev/null
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
  app_close panel
}

# ---- call servers in demo mode against the loopback geolocation service: the cards show made-up
# places while not one request reaches the service, and Ctrl+H lists the demo servers.
check_call_servers() {
  local servers api_port tile_port W H details requests ph listed shot=$shots/call_places.png
  rm -f "$work/api.log" "$work/tiles.log" "$work/ports"
  python3 "$e2e_dir/lookup_servers.py" "$work" >"$work/servers.log" 2>&1 &
  servers=$!
  if ! wait_for 10 test -s "$work/ports"; then
    fail "call servers (demo)" "the loopback servers did not start: $(head -n 3 "$work/servers.log")"
    kill "$servers" 2>/dev/null
    return
  fi
  read -r api_port tile_port <"$work/ports"
  app_launch places --demo "--api-base=http://127.0.0.1:$api_port" "--tile-base=http://127.0.0.1:$tile_port"
  if wait_for 60 at_least 1; then
    sleep 5
    read -r W H <<<"$(logical_size)"
    import -window root "$shot" 2>/dev/null && ocr_crop "$shot" places 24 148 $((W - 48)) 24
    details=$(tesseract "$work/ocr_places.png" - --psm 11 2>/dev/null | tr '\n' ' ')
    requests=$(cat "$work/api.log" "$work/tiles.log" 2>/dev/null | wc -l)
    if grep -Eq 'Frankfurt|Amsterdam|Paris' <<<"$details" && [ "$requests" -eq 0 ]; then
      pass "call servers (demo): the cards read '$details' and no request reached the loopback service"
    else
      fail "call servers (demo)" "cards read '$details', $requests requests reached the loopback servers"
    fi
    focus_app
    xdotool key ctrl+h
    sleep 1.5
    shot=$shots/call_history.png
    import -window root "$shot" 2>/dev/null
    ph=$((H - 16 < 600 ? H - 16 : 600))
    ocr_crop "$shot" history $(((W - 720) / 2 + 16)) $(((H - ph) / 2 + 8)) 700 $((ph - 16))
    listed=$(tesseract "$work/ocr_history.png" - --psm 11 2>/dev/null | tr '\n' ' ')
    # The monospaced addresses may come back split at their dots.
    if grep -q 'Call server history' <<<"$listed" && grep -Eq '35\.214[ .]+40\.77' <<<"$listed" \
      && grep -Eq '104\.18[ .]+12\.201' <<<"$listed"; then
      pass "call servers (demo): Ctrl+H lists the demo servers"
    else
      fail "call servers (demo): Ctrl+H" "the panel read '$listed'"
    fi
    app_close places
  else
    fail "call servers (demo)" "no demo window"
  fi
  kill "$servers" 2>/dev/null
}

# ---- the console export: with --demo it writes a JSON document with the demonstration rows, the
# demo call IPs, the version and the time, opens no window and exits 0; the CSV form writes the
# connections and the "-calls" file, UTF-8 with a byte-order mark; a bad option exits 2 with one
# line; a write that fails (the temporary file's name is taken by a folder) exits 2 with one line
# and keeps the earlier file
check_console_export() {
  local dir="$work/export dir" version windows=0 end
  mkdir -p "$dir"
  version=$(sed -n 's/^project(Tolvane VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
  cli_run cli_demo --demo "--export=$(cli_path "$dir/now.json")" --seconds=2 &
  local pid=$!
  end=$((SECONDS + 90))
  while [ ! -s "$work/rc.cli_demo" ] && [ $SECONDS -lt $end ]; do
    [ "$(app_count)" -gt 0 ] && windows=1
    sleep 0.3
  done
  wait "$pid"
  if [ "$(cat "$work/rc.cli_demo" 2>/dev/null)" = 0 ] && [ $windows = 0 ] && python3 - "$dir/now.json" "$version" <<'PY'
import datetime, json, sys
doc = json.load(open(sys.argv[1], encoding="utf-8"))
apps = [r["application"] for r in doc["connections"]]
calls = {c["address"]: c for c in doc["calls"]}
assert doc["version"] == sys.argv[2] and datetime.datetime.fromisoformat(doc["time"]).utcoffset() is not None, doc
assert "Discord.exe (demo)" in apps and "steam.exe (demo)" in apps and apps == sorted(apps, key=str.lower), apps
assert set(calls) == {"35.214.40.77", "104.18.12.201", "104.18.32.47"}, calls
assert calls["35.214.40.77"]["live"] is True and calls["35.214.40.77"]["packets"] >= 18234, calls
PY
  then
    pass "console export --demo --seconds=2: exit 0, no window, JSON with the demo rows, the demo call IPs and version $version"
  else
    fail "console export (JSON)" "exit $(cat "$work/rc.cli_demo" 2>/dev/null), windows $windows, stderr '$(head -c 300 "$work/err.cli_demo" 2>/dev/null)'"
  fi
  cli_run cli_csv --demo "--export=$(cli_path "$dir/now.csv")" --seconds=1
  if [ "$(cat "$work/rc.cli_csv")" = 0 ] && python3 - "$dir/now.csv" "$dir/now-calls.csv" <<'PY'
import csv, sys
for path, first in zip(sys.argv[1:], ("application", "address")):
    assert open(path, "rb").read(3) == b"\xef\xbb\xbf", path
    rows = list(csv.reader(open(path, encoding="utf-8-sig", newline=""), strict=True))
    assert rows[0][0] == first and len(rows) > 1 and all(len(r) == len(rows[0]) for r in rows), rows
PY
  then
    pass "console export to CSV: the connections and the -calls file, with a byte-order mark, read back by Python's csv module"
  else
    fail "console export (CSV)" "exit $(cat "$work/rc.cli_csv"), files: $(ls "$dir")"
  fi
  cli_run cli_bad "--export=$(cli_path "$dir/x.csv")" --seconds=0
  if [ "$(cat "$work/rc.cli_bad")" = 2 ] && [ "$(wc -l <"$work/err.cli_bad")" -eq 1 ] && grep -q "^$(cli_name): --seconds=" "$work/err.cli_bad"; then
    pass "console export, bad option: exit 2, one line: $(tr -d '\r' <"$work/err.cli_bad")"
  else
    fail "console export (bad option)" "exit $(cat "$work/rc.cli_bad"), stderr '$(cat "$work/err.cli_bad")'"
  fi
  printf 'earlier' >"$dir/keep.csv"
  mkdir -p "$dir/keep.csv.tmp"
  cli_run cli_keep --demo "--export=$(cli_path "$dir/keep.csv")" --seconds=1
  if [ "$(cat "$work/rc.cli_keep")" = 2 ] && [ "$(wc -l <"$work/err.cli_keep")" -eq 1 ] \
    && grep -q "^$(cli_name): could not write .*keep.csv" "$work/err.cli_keep" && [ "$(cat "$dir/keep.csv")" = earlier ]; then
    pass "console export, failed write: exit 2, the earlier file kept, one line: $(tr -d '\r' <"$work/err.cli_keep")"
  else
    fail "console export (failed write)" "exit $(cat "$work/rc.cli_keep"), file '$(cat "$dir/keep.csv")', stderr '$(cat "$work/err.cli_keep")'"
  fi
}
