#!/usr/bin/env bash
# Installs, with apt-get, whatever the build and the tests need and this machine lacks.
set -euo pipefail
need=()
have_pkg() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }
for p in cmake ninja-build g++ clang clang-format libclang-rt-14-dev libgtest-dev libgmock-dev googletest \
         libbenchmark-dev mingw-w64 g++-mingw-w64-x86-64-posix wine64 xvfb xdotool x11-utils xclip \
         imagemagick fonts-dejavu-core tesseract-ocr python3 nsis \
         libpcap-dev libcurl4-openssl-dev ca-certificates iproute2 util-linux \
         pkg-config libgtk-4-dev libgstreamer1.0-dev libgstreamer-plugins-base1.0-dev gstreamer1.0-plugins-base \
         gstreamer1.0-plugins-good libcap2-bin dpkg-dev; do
  have_pkg "$p" || need+=("$p")
done
if [ ${#need[@]} -gt 0 ]; then
  echo "install-deps: installing ${need[*]}"
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${need[@]}"
fi
