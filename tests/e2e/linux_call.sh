#!/usr/bin/env bash
# The voice call on the real kernel, run inside the test network of tests/linux/testnet.sh (a
# namespace whose test host 198.18.0.2 echoes UDP and answers ping 40 ms late): the native program
# (no demo, as root so it may capture) with autoCopyCall on and the prefixes "198.18"; a sender
# named "Discord" streams UDP to the test host. "198.18.0.2" must be on the X clipboard within the
# refresh interval plus one second of the first datagram, the call card must show it (read back with
# OCR) and its latency must read about 40 ms. Screenshot: artifacts/e2e-linux/call_card.png.
#
#   tests/linux/testnet.sh tests/e2e/linux_call.sh path/to/tolvane path/to/Discord
#
# Exits 77 (skipped) outside a test network.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
exe=${1:?usage: linux_call.sh path/to/tolvane path/to/Discord}
sender=${2:?usage: linux_call.sh path/to/tolvane path/to/Discord}
[ -n "${TOLVANE_TESTNET:-}" ] || { echo "e2e call: no test network (run through tests/linux/testnet.sh)"; exit 77; }
read -r _ test_host echo_port <<<"$TOLVANE_TESTNET"
e2e_dir=$here
. "$here/lib.sh"

work=$(mktemp -d /tmp/tolvane-e2e-call.XXXXXX)
export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_RUNTIME_DIR=$work/run TMPDIR=$work/tmp
mkdir -p "$XDG_CONFIG_HOME/tolvane" "$XDG_RUNTIME_DIR" "$TMPDIR" "$root/artifacts/e2e-linux"
chmod 700 "$XDG_RUNTIME_DIR"
app_pid=""
sender_pid=""
push_pid=""
cleanup() {
  for pid in $sender_pid $push_pid; do kill "$pid" 2>/dev/null; done
  [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null && wait "$app_pid" 2>/dev/null
  e2e_stop_display
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM
e2e_start_display 400 439 || { echo "e2e call: no X display"; exit 2; }
scale=1
app_rect() {
  xwininfo -id "$(xdotool search --onlyvisible --name '^Tolvane$' | head -n 1)" |
    awk '/Absolute upper-left X/ { x = $NF } /Absolute upper-left Y/ { y = $NF }
      /Width:/ { w = $NF } /Height:/ { h = $NF } END { print x, y, x + w, y + h }'
}
window_up() { xdotool search --onlyvisible --name '^Tolvane$' >/dev/null 2>&1; }

printf 'autoCopyCall=1\r\nprefixes=198.18\r\nsplash=0\r\nrefreshMs=500\r\n' >"$XDG_CONFIG_HOME/tolvane/settings.ini"
"$exe" >"$work/out.app" 2>&1 &
app_pid=$!
if ! wait_for 30 window_up; then
  state="still running"
  kill -0 "$app_pid" 2>/dev/null || { wait "$app_pid"; state="ended with code $?"; }
  app_pid=""
  fail "call" "no window within 30 s, the program $state ($(head -n 3 "$work/out.app"); Xvfb: $(tail -n 2 "$work/xvfb.log"))"
  e2e_summary "e2e call"
  exit 1
fi
sleep 3  # capture and ping threads running, the first snapshots taken
printf 'before' | xclip -quiet -selection clipboard -i >/dev/null 2>&1 &
xclip_pid=$!
sleep 0.5
t_first=$(now_ms)
"$sender" "$test_host" "$echo_port" 0 20 200 &
sender_pid=$!
t_clip=""
while [ $(($(now_ms) - t_first)) -lt 5000 ]; do
  [ "$(clipboard)" = "$test_host" ] && { t_clip=$(now_ms); break; }
  sleep 0.05
done
kill "$xclip_pid" 2>/dev/null
if [ -n "$t_clip" ] && [ $((t_clip - t_first)) -le 1500 ]; then
  pass "auto-copy: $test_host on the X clipboard $((t_clip - t_first)) ms after the first datagram"
else
  fail "auto-copy" "clipboard '$(clipboard)' ${t_clip:+after $((t_clip - t_first)) ms}"
fi

# The card: its address, and its latency once a few pings came back (about 40 ms, never below).
sleep 6
shot=$root/artifacts/e2e-linux/call_card.png
read -r W _ <<<"$(logical_size)"
if import -window root "$shot" 2>/dev/null && ocr_crop "$shot" card 24 100 $((W - 48)) 120; then
  card=$(tesseract "$work/ocr_card.png" - --psm 11 2>/dev/null | tr '\n' ' ')
  ms=$(grep -oE '\b[0-9]+ ?ms\b' <<<"$card" | head -n 1 | tr -dc '0-9')
  if grep -q "198\.18\.0\.2" <<<"$card" && [ -n "$ms" ] && [ "$ms" -ge 40 ] && [ "$ms" -le 60 ]; then
    pass "call card $shot: $test_host, latency $ms ms"
  else
    fail "call card" "read '$card'"
  fi
else
  fail "call card" "screenshot or crop failed"
fi
kill -TERM "$app_pid" 2>/dev/null
wait "$app_pid"
rc=$?
app_pid=""
[ $rc -eq 0 ] || fail "close" "exit code $rc"
# The console export while 4000 datagrams of 1250 bytes (5.11 MB with the IP and UDP headers) go to
# the test host, 10 a millisecond: the sender's row must say about 5 MB sent.
"$exe" "--export=$work/traffic.json" --seconds=8 2>"$work/err.export" &
export_pid=$!
sleep 2
python3 -c 'import socket, sys, time
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM); s.connect((sys.argv[1], int(sys.argv[2])))
for i in range(4000): s.send(b"t" * 1250); time.sleep(0.001 * (i % 10 == 9))
time.sleep(60)' "$test_host" "$echo_port" &
push_pid=$!
wait "$export_pid"; rc=$?
sent=$(python3 -c 'import json, sys; print(*[r["sentBytes"] for r in json.load(open(sys.argv[1]))["connections"]
  if r["pid"] == int(sys.argv[2]) and r["remoteAddress"] == sys.argv[3]] or ["none"])' \
  "$work/traffic.json" "$push_pid" "$test_host" 2>&1)
if [ $rc -eq 0 ] && [ "$sent" -ge 4750000 ] 2>/dev/null && [ "$sent" -le 5500000 ]; then
  pass "traffic: 5 MB sent to $test_host, the console export's row says $sent bytes sent"
else
  fail "traffic" "export exit $rc ($(head -c 200 "$work/err.export")), sent '$sent'"
fi
e2e_summary "e2e call"
