#!/usr/bin/env bash
# Checks of the two Windows downloads under Wine, in a fresh prefix on a private virtual display:
# the setup program installs silently over an older version (files, Start-menu shortcut, Uninstall registry values with the
# project version), the installed exe runs its benchmark, a second silent install over the first
# succeeds, the silent uninstaller removes files, shortcut and registry entries and leaves the user's
# settings alone, and the portable zip holds the same exe as the installer.
#
#   tests/e2e/installer.sh dist/Tolvane-<version>-setup.exe dist/Tolvane-<version>-portable.zip
#
# Prints one line per check and "installer: N passed, M failed"; exits non-zero when any failed.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
setup=$(realpath "${1:?usage: installer.sh setup.exe portable.zip}")
zip=$(realpath "${2:?usage: installer.sh setup.exe portable.zip}")
version=$(sed -n 's/^project(Tolvane VERSION \([0-9]*\.[0-9]*\.[0-9]*\).*/\1/p' "$root/CMakeLists.txt")

passed=0
failed=0
pass() { passed=$((passed + 1)); echo "PASS $1"; }
fail() { failed=$((failed + 1)); echo "FAIL $1${2:+: $2}"; }

work=$(mktemp -d /tmp/tolvane-installer.XXXXXX)
export WINEPREFIX=$work/prefix
mkdir -p "$WINEPREFIX"
xvfb_pid=""
wine_loader=$(dpkg -L wine64 2>/dev/null | grep -E '/wine64$' | head -n 1)
wineserver_bin=$(dirname "$wine_loader")/wineserver
cleanup() {
  "$wineserver_bin" -k 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

display=""
for n in $(seq 200 260); do
  if [ ! -e /tmp/.X$n-lock ] && [ ! -e /tmp/.X11-unix/X$n ]; then display=:$n; break; fi
done
[ -n "$display" ] || { echo "installer: no free X display"; exit 2; }
Xvfb "$display" -screen 0 1920x1080x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
export DISPLAY=$display
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done

wine() { timeout 120 "$root/scripts/wine-run.sh" "$@"; }
unix_path() { wine winepath -u "$1" 2>/dev/null | tr -d '\r' | tail -n 1; }
win_env() { wine cmd /c echo "%$1%" 2>/dev/null | tr -d '\r' | tail -n 1; }
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Tolvane'
reg_value() { wine reg query "$key" /v "$1" 2>/dev/null | tr -d '\r' | awk -v n="$1" '$1 == n {$1 = ""; $2 = ""; sub(/^  /, ""); print}'; }

# The portable zip's content, and an "older version" installer whose exe is a stand-in file, so the
# upgrade below shows that the files are replaced in place.
python3 - "$zip" "$work/zip" <<'PY'
import sys, zipfile
zipfile.ZipFile(sys.argv[1]).extractall(sys.argv[2])
PY
printf 'an older tolvane.exe\n' >"$work/old.exe"
makensis -V1 -DVERSION=0.9.0 -DEXE="$work/old.exe" -DLICENSE="$work/zip/Tolvane/LICENSE.txt" \
  -DOUTFILE="$work/old-setup.exe" "$root/installer/tolvane.nsi" >"$work/makensis.log" 2>&1 \
  || { echo "installer: could not build the older installer: $(tail -n 3 "$work/makensis.log")"; exit 2; }

timeout 120 "$root/scripts/wine-run.sh" wineboot -i >"$work/wineboot.log" 2>&1
"$wineserver_bin" -p 2>/dev/null

program_dir=$(unix_path 'C:\Program Files\Tolvane')
programs=$(unix_path "$(win_env ProgramData)\\Microsoft\\Windows\\Start Menu\\Programs")
appdata=$(unix_path "$(win_env APPDATA)")
temp_dir=$(unix_path "$(win_env TEMP)")
shortcut=$programs/Tolvane.lnk

# ---- silent install of the current version over an older one
wine "$work/old-setup.exe" /S >"$work/setup0.log" 2>&1
"$wineserver_bin" -w 2>/dev/null
old_version=$(reg_value DisplayVersion)
wine "$setup" /S >"$work/setup1.log" 2>&1
rc=$?
"$wineserver_bin" -w 2>/dev/null
want_values="DisplayName=Tolvane DisplayVersion=$version Publisher=The Tolvane developers"
got_values="DisplayName=$(reg_value DisplayName) DisplayVersion=$(reg_value DisplayVersion) Publisher=$(reg_value Publisher)"
install_location=$(reg_value InstallLocation)
uninstall_string=$(reg_value UninstallString)
size=$(reg_value EstimatedSize)
if [ $rc -ne 0 ]; then
  fail "silent install" "exit code $rc"
elif [ "$old_version" != 0.9.0 ]; then
  fail "silent install" "the older version did not install first (version '$old_version')"
elif ! cmp -s "$program_dir/tolvane.exe" "$work/zip/Tolvane/tolvane.exe" || [ ! -f "$program_dir/uninstall.exe" ] \
  || ! cmp -s "$program_dir/tolvane-cli.exe" "$work/zip/Tolvane/tolvane-cli.exe"; then
  fail "silent install" "the exe was not replaced; program folder holds: $(ls "$program_dir" 2>&1)"
elif [ ! -f "$shortcut" ]; then
  fail "silent install" "no Start-menu shortcut at $shortcut"
elif [ "$got_values" != "$want_values" ] || [ "$install_location" != 'C:\Program Files\Tolvane' ] \
  || [ "$uninstall_string" != '"C:\Program Files\Tolvane\uninstall.exe"' ] || [ -z "$(reg_value DisplayIcon)" ] \
  || [ -z "$(reg_value QuietUninstallString)" ] || [ $((size)) -lt 100 ]; then
  fail "silent install" "registry: $got_values, location '$install_location', uninstall '$uninstall_string', size '$size'"
else
  pass "silent install over 0.9.0: exit 0, exe replaced, tolvane-cli.exe beside it, uninstaller, Start-menu shortcut, Uninstall\\Tolvane version $version ($((size)) KiB)"
fi

# ---- the installed program runs its benchmark
bench_file=$temp_dir/tolvane_bench.txt
rm -f "$bench_file"
wine "$program_dir/tolvane.exe" --bench >"$work/bench.log" 2>&1
rc=$?
if [ $rc -eq 0 ] && grep -Eq '^full [0-9]+\.[0-9]{2} ms/frame' "$bench_file" 2>/dev/null; then
  pass "installed exe: --bench wrote $(head -n 1 "$bench_file")"
else
  fail "installed exe" "exit $rc, bench file: $(cat "$bench_file" 2>&1 | head -n 2)"
fi

# ---- a second silent install over the first
wine "$setup" /S >"$work/setup2.log" 2>&1
rc=$?
"$wineserver_bin" -w 2>/dev/null
if [ $rc -eq 0 ] && [ -f "$program_dir/tolvane.exe" ] && [ -f "$shortcut" ] \
  && [ "$(reg_value DisplayVersion)" = "$version" ]; then
  pass "second silent install over the first: exit 0, files and registry in place"
else
  fail "second install" "exit $rc, folder: $(ls "$program_dir" 2>&1)"
fi

# ---- a silent install over the running program closes it first
(wine "$program_dir/tolvane.exe" --demo >/dev/null 2>&1; echo $? >"$work/rc.running") &
for _ in $(seq 120); do [ -n "$(xdotool search --name '^Tolvane$' 2>/dev/null)" ] && break; sleep 0.5; done
wine "$setup" /S >"$work/setup3.log" 2>&1 && sleep 1 && [ -s "$work/rc.running" ] && [ -f "$program_dir/tolvane.exe" ] \
  && pass "silent install over the running program: closed it, exit 0" || fail "silent install over the running program"

# ---- the portable zip holds the same exe as the installer
if cmp -s "$program_dir/tolvane.exe" "$work/zip/Tolvane/tolvane.exe" && [ -s "$work/zip/Tolvane/README.txt" ] \
  && grep -q "MIT License" "$work/zip/Tolvane/LICENSE.txt"; then
  pass "portable zip: the installer's exe (same bytes), README and licence"
else
  fail "portable zip" "$(find "$work/zip" -type f | head -n 6)"
fi

# ---- silent uninstall keeps the user's settings
settings=$appdata/Tolvane/settings.ini
mkdir -p "$(dirname "$settings")"
printf 'theme=3\r\nver=2\r\n' >"$settings"
before=$(sha256sum "$settings")
wine "$program_dir/uninstall.exe" /S >"$work/uninstall.log" 2>&1
rc=$?
"$wineserver_bin" -w 2>/dev/null  # the uninstaller finishes from a copy of itself in the temp folder
left=$(ls -A "$program_dir" 2>/dev/null)
if [ $rc -ne 0 ]; then
  fail "silent uninstall" "exit code $rc"
elif [ -n "$left" ] || [ -f "$shortcut" ] || wine reg query "$key" >/dev/null 2>&1; then
  fail "silent uninstall" "left: files '$left', shortcut $([ -f "$shortcut" ] && echo yes || echo no), registry key $(wine reg query "$key" >/dev/null 2>&1 && echo yes || echo no)"
elif [ "$(sha256sum "$settings" 2>/dev/null)" != "$before" ]; then
  fail "silent uninstall" "the settings file was changed or removed"
else
  pass "silent uninstall: files, shortcut and registry entries removed; settings file untouched"
fi

# ---- the README names the version the packages carry
if grep -q "Tolvane-$version-setup.exe" "$root/README.md" && grep -q "Tolvane $version " "$root/README.md"; then
  pass "README: names version $version"
else
  fail "README" "does not name version $version (update its \"Install on Windows\" section)"
fi

echo "installer: $passed passed, $failed failed"
[ $failed -eq 0 ]
