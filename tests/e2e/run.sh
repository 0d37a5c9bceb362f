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
# Runs in about two minutes; each wait has a time limit so nothing hangs CI.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
exe=${1:?usage: tests/e2e/run.sh path/to/tolvane.exe}
exe=$(cd "$(dirname "$exe")" && pwd)/$(basename "$exe")
[ -f "$exe" ] || { echo "e2e: no program at $exe"; exit 2; }

e2e_dir=$here
. "$here/lib.sh"

work=$(mktemp -d /tmp/tolvane-e2e.XXXXXX)
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

wine() { "$root/scripts/wine-run.sh" "$@"; }
wine_loader=$(dpkg -L wine64 2>/dev/null | grep -E '/wine64$' | head -n 1)
[ -n "$wine_loader" ] && wineserver_bin=$(dirname "$wine_loader")/wineserver
[ -x "$wineserver_bin" ] || wineserver_bin=$(command -v wineserver || true)

e2e_start_display 120 199 || { echo "e2e: no X display"; exit 2; }

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
# The hooks of the shared checks (tests/e2e/lib.sh), through the probe.
app_launch() { launch "$@"; }
app_rect() { probe_out list | head -n 1 | awk '{ print $3, $4, $5, $6 }'; }
app_close() { timeout 30 "$root/scripts/wine-run.sh" "$probe" close >/dev/null 2>&1 && wait_for 30 test -s "$work/rc.$1"; }
app_count() { window_count; }

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
  # The benchmark runs beside a planted dwmapi.dll that leaves a mark when loaded: it must not be.
  mkdir -p "$work/app" && cp "$exe" "$work/app/tolvane.exe"
  printf '#include <windows.h>\nBOOL WINAPI DllMain(HINSTANCE h, DWORD r, LPVOID p) { (void)h; (void)p;\n%s\n' \
    'if (r == DLL_PROCESS_ATTACH) CloseHandle(CreateFileW(L"planted.loaded", GENERIC_WRITE, 0, 0, CREATE_ALWAYS, 0, 0)); return TRUE; }' \
    >"$work/planted.c" && x86_64-w64-mingw32-gcc -shared -o "$work/app/dwmapi.dll" "$work/planted.c"
  (cd "$work/app" && timeout 120 "$root/scripts/wine-run.sh" "$work/app/tolvane.exe" --bench >"$work/out.bench" 2>&1)
  rc=$?
  [ -f "$work/app/dwmapi.dll" ] && [ ! -e "$work/app/planted.loaded" ] && pass "dwmapi.dll: the system's, not one planted beside the exe" \
    || fail "planted dll" "not built, or the program loaded the dwmapi.dll beside it"
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
  # The program saved the normalised settings when its window closed: a CR LF line per key, upgraded.
  if [ -f "$settings_file" ] && [ "$(grep -c $'\r$' "$settings_file")" -eq "$settings_lines" ] \
    && [ "$(wc -l <"$settings_file")" -eq "$settings_lines" ] && [ ! -e "$settings_file.tmp" ] \
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

# ---- (f) to (i): the checks shared with the Linux program (tests/e2e/lib.sh)
scale=$(awk -v d="${dpi:-96}" 'BEGIN { print (d > 96 ? d / 96 : 1) }')
shots=$root/artifacts/e2e
if [ -n "${settings_file:-}" ] && [ "$(window_count)" -eq 0 ]; then
  check_auto_copy
  check_keys
  check_ocr
  check_lookup
  check_settings_panel
  check_call_servers
else
  fail "shared checks" "no settings file path, or a window is still open"
fi

# ---- (j) Alt+F4 while a lookup waits on a geolocation server that accepts and never answers
# (lookup_servers.py --silent): the process ends within 3 s, and the settings file is written.
mkdir -p "$work/silent"
python3 "$here/lookup_servers.py" "$work/silent" --silent >/dev/null 2>&1 &
servers_pid=$!
took=""
if [ "$(window_count)" -eq 0 ] && wait_for 10 test -s "$work/silent/ports" && read -r api_port tile_port <"$work/silent/ports" \
  && launch closing --demo "--api-base=http://127.0.0.1:$api_port" "--tile-base=http://127.0.0.1:$tile_port" \
  && wait_for 60 at_least 1 && sleep 2 && timeout 5 xdotool windowfocus --sync "$(xdotool search --name '^Tolvane$' | head -n 1)" \
  && xdotool key ctrl+l sleep 0.5 type --delay 60 93.184.216.34 && xdotool key Return \
  && wait_for 20 grep -qs '^/json/' "$work/silent/api.log" && rm -f "$settings_file" && sleep 1; then
  t0=$(now_ms)
  xdotool key alt+F4
  for _ in $(seq 300); do [ -s "$work/rc.closing" ] && break; sleep 0.05; done
  took=$(($(now_ms) - t0))
fi
if [ -n "$took" ] && [ "$took" -le 3000 ] && [ "$(wc -l <"$settings_file" 2>/dev/null)" = "$settings_lines" ]; then
  pass "Alt+F4 with a lookup pending on a silent server: the process ended after $took ms, settings written"
else
  fail "close with a pending lookup" "ended after '$took' ms (empty: no lookup reached the server), settings: $(wc -l <"$settings_file" 2>&1)"
fi
kill "$servers_pid" 2>/dev/null
servers_pid=""

# ---- (k) tolvane-cli.exe beside the program: its resources, the console export (tests/e2e/lib.sh),
# and without packet capture (Wine has no raw sockets) an export that says so, exits 0 and leaves
# the settings file as it was (ping is off in it, so nothing leaves the machine)
cli=$(dirname "$exe")/tolvane-cli.exe
cli_run() {
  local tag=$1
  shift
  timeout 120 "$root/scripts/wine-run.sh" "$cli" "$@" >/dev/null 2>"$work/err.$tag"
  echo $? >"$work/rc.$tag"
}
cli_path() { printf 'Z:%s' "${1//\//\\}"; }
cli_name() { echo tolvane-cli; }
if out=$(python3 "$here/check_resources.py" --cli "$cli" 2>&1); then
  pass "tolvane-cli.exe resources: console subsystem, manifest asInvoker, the project version"
else
  fail "tolvane-cli.exe resources" "$out"
fi
check_console_export
printf 'enablePing=0\r\n' >"$settings_file"
before=$(sha256sum "$settings_file")
cli_run cli_plain "--export=$(cli_path "$work/plain.csv")" --seconds=1
if [ "$(cat "$work/rc.cli_plain")" = 0 ] && grep -q '^tolvane-cli: .*the export has no packet counters' "$work/err.cli_plain" \
  && [ -f "$work/plain-calls.csv" ] && [ "$(sha256sum "$settings_file")" = "$before" ]; then
  pass "console export without capture: exit 0, says so ($(head -c 80 "$work/err.cli_plain")...), settings untouched"
else
  fail "console export without capture" "exit $(cat "$work/rc.cli_plain"), stderr '$(cat "$work/err.cli_plain")'"
fi

e2e_summary e2e
