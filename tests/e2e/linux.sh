#!/usr/bin/env bash
# End-to-end checks of the native Linux program on a private virtual display, with a home, runtime
# and temporary folder of its own in a temporary folder, checked from outside: the benchmark line,
# the start-up geometry, the second start's hand-over, the close button, idle CPU, the console
# export, and the checks shared with the Windows program (tests/e2e/lib.sh). Screenshots land in artifacts/e2e-linux/.
#
#   tests/e2e/linux.sh path/to/tolvane
#
# Prints one line per check and "e2e linux: N passed, M failed"; exits non-zero when any check
# failed. Everything it starts is stopped on exit, also on failure. Runs in about a minute.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
exe=${1:?usage: tests/e2e/linux.sh path/to/tolvane}
exe=$(cd "$(dirname "$exe")" && pwd)/$(basename "$exe")
[ -x "$exe" ] || { echo "e2e linux: no program at $exe"; exit 2; }
e2e_dir=$here
. "$here/lib.sh"

work=$(mktemp -d /tmp/tolvane-e2e-linux.XXXXXX)
export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_RUNTIME_DIR=$work/run TMPDIR=$work/tmp
mkdir -p "$XDG_CONFIG_HOME/tolvane" "$XDG_RUNTIME_DIR" "$TMPDIR"
chmod 700 "$XDG_RUNTIME_DIR"
settings_file=$XDG_CONFIG_HOME/tolvane/settings.ini
shots=$root/artifacts/e2e-linux
mkdir -p "$shots"
scale=1
cleanup() {
  local f
  for f in "$work"/pid.*; do [ -e "$f" ] && kill "$(cat "$f")" 2>/dev/null; done
  e2e_stop_display
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM
e2e_start_display 300 359 || { echo "e2e linux: no X display"; exit 2; }

# The program in the background; its id lands in $work/pid.TAG, its exit code in $work/rc.TAG.
app_launch() {
  local tag=$1
  shift
  rm -f "$work/rc.$tag"
  (
    timeout 200 "$exe" "$@" >"$work/out.$tag" 2>&1 &
    echo $! >"$work/pid.$tag"
    wait $!
    echo $? >"$work/rc.$tag"
  ) &
  wait_for 5 test -s "$work/pid.$tag"
}
windows() { xdotool search --onlyvisible --name '^Tolvane$' 2>/dev/null; }
app_count() { windows | wc -l; }
geometry() {
  xwininfo -id "$1" | awk '/Absolute upper-left X/ { x = $NF } /Absolute upper-left Y/ { y = $NF }
    /Width:/ { w = $NF } /Height:/ { h = $NF } END { print x, y, x + w, y + h }'
}
app_rect() { geometry "$(windows | head -n 1)"; }
# SIGTERM closes the window as its close button does (the close button itself is checked below).
app_close() {
  [ -s "$work/pid.$1" ] && kill -TERM "$(cat "$work/pid.$1")" 2>/dev/null
  wait_for 30 test -s "$work/rc.$1" && rm -f "$work/pid.$1"
}

# ---- (a) benchmark mode: ends by itself with code 0, appends one line, saves the settings
bench_file=$TMPDIR/tolvane_bench.txt
seed="full 1.00 ms/frame, hover-partial 1.00 ms/frame, window-ready 1 ms, first paint 1 ms (earlier run)"
printf '%s\n' "$seed" >"$bench_file"
printf 'theme=4\r\nrefreshMs=2000\r\n' >"$settings_file"
timeout 60 "$exe" --bench >"$work/out.bench" 2>&1
rc=$?
line_re='^full [0-9]+\.[0-9]{2} ms/frame, hover-partial [0-9]+\.[0-9]{2} ms/frame, window-ready [0-9]+ ms, first paint [0-9]+ ms$'
second=$(sed -n 2p "$bench_file")
if [ $rc -eq 0 ] && [ "$(wc -l <"$bench_file")" -eq 2 ] && [ "$(head -n 1 "$bench_file")" = "$seed" ] \
  && grep -Eq "$line_re" <<<"$second"; then
  pass "bench: exit 0, one line appended, earlier line kept: $second"
  printf '%s\n' "$second" >"$shots/bench.txt"
else
  fail "bench" "exit $rc, file holds: $(cat "$bench_file")"
fi
if [ "$(wc -l <"$settings_file")" -eq "$settings_lines" ] && grep -qx $'theme=4\r' "$settings_file" \
  && grep -qx $'refreshMs=500\r' "$settings_file"; then
  pass "settings: normalised file written at shutdown"
else
  fail "settings" "file holds: $(head -c 300 "$settings_file" | tr '\r\n' ' ')"
fi

# ---- (b) a plain start: one window "Tolvane", 1360 x 880 centred on the 1920 x 1080 screen
printf 'theme=4\r\nsplash=0\r\n' >"$settings_file"
app_launch first
if wait_for 30 at_least 1 && sleep 1 && [ "$(app_count)" -eq 1 ] && [ "$(app_rect)" = "280 100 1640 980" ]; then
  pass "plain start: one window \"Tolvane\" at 280,100 size 1360x880"
  import -window root "$shots/main_window.png" 2>/dev/null
else
  fail "plain start" "windows: $(app_count), rectangle '$(app_rect)' ($(head -n 3 "$work/out.first"))"
fi

# ---- idle: no demo, mouse outside. The aim is 1 % of a core; on a virtual display every frame
# (the stat cards and status line, once a second) is composed in software, and on a busy build
# machine the refresh thread finds many sockets to read, so the check fails above 5 %, which a
# busy loop exceeds, and prints the figure.
pid=$(pgrep -P "$(cat "$work/pid.first" 2>/dev/null)" | head -n 1)  # the program under its timeout
ticks() { awk '{ print $14 + $15 }' "/proc/$pid/stat" 2>/dev/null; }
xdotool mousemove 1900 1060
sleep 3
t0=$(ticks)
sleep 10
t1=$(ticks)
hz=$(getconf CLK_TCK)
if [ -n "$t0" ] && [ -n "$t1" ] && [ $(((t1 - t0) * 1000 / (10 * hz))) -le 50 ]; then
  pass "idle: $(awk -v t=$((t1 - t0)) -v h="$hz" 'BEGIN { printf "%.1f", t * 100 / (10 * h) }') % of a core over 10 s"
else
  fail "idle" "CPU ticks $t0 -> $t1 at $hz per second over 10 s"
fi

# ---- (d) a start with --demo beside it opens a window of its own; (c) a second plain start
# hands over to the first: it ends with code 0 and the first window has the focus
app_launch demo --demo
if wait_for 30 at_least 2 && [ "$(app_count)" -eq 2 ]; then
  pass "demo start beside a running instance: two windows"
else
  fail "demo start" "windows: $(app_count)"
fi
first_wid=$(xdotool search --pid "$(cat "$work/pid.first")" --onlyvisible --name '^Tolvane$' 2>/dev/null | head -n 1)
demo_wid=$(xdotool search --pid "$(cat "$work/pid.demo")" --onlyvisible --name '^Tolvane$' 2>/dev/null | head -n 1)
timeout 5 xdotool windowfocus --sync "$demo_wid" 2>/dev/null
timeout 10 "$exe" >"$work/out.second" 2>&1
rc=$?
focused() { [ "$(xdotool getwindowfocus 2>/dev/null)" = "$first_wid" ]; }
if [ $rc -eq 0 ] && [ -n "$first_wid" ] && wait_for 5 focused && [ "$(app_count)" -eq 2 ]; then
  pass "second start: exit 0, no new window, the first window raised and focused"
else
  fail "second start" "exit $rc, windows $(app_count), focus $(xdotool getwindowfocus 2>/dev/null) (first $first_wid)"
fi

# ---- the close button (logical 29, 32) of the raised first window ends its program with code 0
read -r fl ft _ <<<"$(geometry "$first_wid")"
xdotool mousemove $((fl + 29)) $((ft + 32)) click 1
if wait_for 15 test -s "$work/rc.first" && [ "$(cat "$work/rc.first")" = 0 ] && [ "$(app_count)" -eq 1 ]; then
  pass "close button: the first program ended with code 0, one window left"
else
  fail "close button" "exit code '$(cat "$work/rc.first" 2>/dev/null)', windows $(app_count)"
fi
rm -f "$work/pid.first"
if app_close demo && [ "$(cat "$work/rc.demo")" = 0 ] && none_left; then
  pass "SIGTERM: the demo program closed its window and ended with code 0"
else
  fail "SIGTERM" "exit code '$(cat "$work/rc.demo" 2>/dev/null)', windows $(app_count)"
fi

# ---- the checks shared with the Windows program
check_auto_copy
check_keys
check_ocr
cp "$shots/demo_main_view.png" "$shots/linux_main_view.png" 2>/dev/null
check_lookup
check_settings_panel

# ---- the console export, "tolvane --export=...", run without a display
cli_run() {
  local tag=$1
  shift
  env -u DISPLAY -u WAYLAND_DISPLAY timeout 60 "$exe" "$@" >/dev/null 2>"$work/err.$tag"
  echo $? >"$work/rc.$tag"
}
cli_path() { printf '%s' "$1"; }
cli_name() { echo tolvane; }
check_console_export

e2e_summary "e2e linux"
