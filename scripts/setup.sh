#!/usr/bin/env bash
# Installs, only when missing, every Debian package that the build, the tests and the
# benchmarks need. Safe to run again; needs root (or sudo) only when something is missing.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config git
  qt6-base-dev qt6-base-dev-tools libqt6opengl6-dev libgl-dev
  libgstreamer1.0-dev libgstreamer-plugins-base1.0-dev
  gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-x gstreamer1.0-tools
  gstreamer1.0-plugins-bad gstreamer1.0-libav gstreamer1.0-rtsp
  gstreamer1.0-plugins-ugly gir1.2-gst-rtsp-server-1.0
  libturbojpeg0-dev libjpeg-turbo-progs libudev-dev
  dbus dbus-x11 fonts-liberation2 fontconfig
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth x11-utils poppler-utils imagemagick
  openbox x11-xkb-utils libxkbcommon-x11-dev libxcb-xkb-dev libxcb-xtest0-dev libxcb-shm0-dev
  cups printer-driver-cups-pdf libcups2-dev
  clang-14 libfuzzer-14-dev libclang-rt-14-dev
  libglib2.0-dev libglib2.0-dev-bin python3-gi gir1.2-glib-2.0
  dpkg-dev desktop-file-utils appstream man-db
)

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done

if ((${#missing[@]} == 0)); then
  echo "setup: all ${#packages[@]} packages present"
  exit 0
fi

echo "setup: installing ${missing[*]}"
sudo_cmd=()
if [[ $(id -u) -ne 0 ]]; then sudo_cmd=(sudo); fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
