#!/usr/bin/env bash
# Installs every Debian 12 package that the build and the tests need, when missing.
# Safe to run again: packages already present are left alone.
set -euo pipefail

BUILD_PACKAGES=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev qt6-tools-dev qt6-l10n-tools libqt6uitools6 qt6-base-dev-tools libqt6opengl6-dev
  libavformat-dev libavcodec-dev libavdevice-dev libavfilter-dev
  libswresample-dev libavutil-dev
  libwebrtc-audio-processing-dev libjsoncpp-dev libcurl4-openssl-dev
  libgoogle-glog-dev libpulse-dev libxcb1-dev libxcb-keysyms1-dev
  libgtest-dev libgmock-dev
  qt6-wayland
)
TEST_PACKAGES=(
  pulseaudio pulseaudio-utils xvfb xdotool x11-utils libcpp-httplib-dev
  fonts-wqy-microhei ffmpeg qt6-qpa-plugins
  clang libclang-rt-14-dev
  weston dbus-daemon
  at-spi2-core
)

# What making and checking the Debian package needs (scripts/package.sh, scripts/package-check.sh).
PACKAGE_PACKAGES=(dpkg-dev file lintian appstream desktop-file-utils)

wanted=("${BUILD_PACKAGES[@]}")
case "${1:-}" in
  --with-tests) wanted+=("${TEST_PACKAGES[@]}") ;;
  --with-package) wanted+=("${PACKAGE_PACKAGES[@]}") ;;
esac

missing=()
for p in "${wanted[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing: ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
$SUDO apt-get install -y -q --no-install-recommends "${missing[@]}" </dev/null
