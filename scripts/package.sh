#!/usr/bin/env bash
# Installs what is missing, builds the programs and makes the Debian package
# (zav-audio-recorder_<version>_<arch>.deb in the build folder). Prints the package's path.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh --with-package >&2
build_dir=${ZAV_PACKAGE_BUILD_DIR:-build-package}
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZAV_BUILD_TESTS=OFF \
  -DCMAKE_INSTALL_PREFIX=/usr ${ZAV_CMAKE_ARGS:-} >&2
cmake --build "$build_dir" >&2
rm -f "$build_dir"/zav-audio-recorder_*.deb
(cd "$build_dir" && cpack -G DEB >&2)
ls "$PWD/$build_dir"/zav-audio-recorder_*.deb
