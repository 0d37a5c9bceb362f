#!/usr/bin/env bash
# Makes the downloads of Tolvane in dist/: the Debian package tolvane_<version>_amd64.deb (CPack:
# /usr/bin/tolvane granted cap_net_raw at install time, the desktop entry and the icon), and the two
# Windows ones, Tolvane-<version>-setup.exe (NSIS installer) and Tolvane-<version>-portable.zip (the
# exe, the console export tolvane-cli.exe, a short README and the licence). The version is the project version of CMakeLists.txt.
# Builds the Release programs first (their output on standard error); installs what it needs with apt-get.
#
#   scripts/package.sh            # prints the paths of the three files, the .deb first
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
jobs=${TOLVANE_JOBS:-2}

scripts/install-deps.sh
version=$(sed -n 's/^project(Tolvane VERSION \([0-9]*\.[0-9]*\.[0-9]*\).*/\1/p' CMakeLists.txt)
[ -n "$version" ] || { echo "package: no project version in CMakeLists.txt" >&2; exit 1; }

cmake --preset linux >/dev/null
cmake --build build/linux -j "$jobs" --target tolvane >&2
mkdir -p dist
(cd build/linux && cpack -G DEB -B "$root/dist" >/dev/null)
rm -rf dist/_CPack_Packages
deb=dist/tolvane_${version}_amd64.deb
[ -f "$deb" ] || { echo "package: cpack made no $deb" >&2; exit 1; }
echo "$deb"

cmake --preset windows >/dev/null
cmake --build build/windows -j "$jobs" --target tolvane tolvane-cli >&2
exe=$root/build/windows/src/app/win32/tolvane.exe
cli=$root/build/windows/src/app/win32/tolvane-cli.exe

stage=$(mktemp -d /tmp/tolvane-package.XXXXXX)
trap 'rm -rf "$stage"' EXIT
# Windows users open these in Notepad: CR LF line ends.
sed 's/$/\r/' LICENSE >"$stage/LICENSE.txt"
sed "s/@VERSION@/$version/; s/\$/\r/" installer/portable-readme.txt >"$stage/README.txt"

setup=dist/Tolvane-$version-setup.exe
makensis -V2 -DVERSION="$version" -DEXE="$exe" -DCLI="$cli" -DLICENSE="$stage/LICENSE.txt" -DOUTFILE="$root/$setup" \
  installer/tolvane.nsi

zip=dist/Tolvane-$version-portable.zip
rm -f "$zip"
python3 - "$zip" "$exe" "$cli" "$stage/README.txt" "$stage/LICENSE.txt" <<'PY'
import sys, zipfile
out, exe, cli, readme, licence = sys.argv[1:]
with zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED) as z:
    z.write(exe, "Tolvane/tolvane.exe")
    z.write(cli, "Tolvane/tolvane-cli.exe")
    z.write(readme, "Tolvane/README.txt")
    z.write(licence, "Tolvane/LICENSE.txt")
PY
echo "$setup"
echo "$zip"
