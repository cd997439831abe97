#!/usr/bin/env bash
# Installs what is missing, builds the programs and makes the Debian package
# (zav-audio-recorder_<version>_<arch>.deb in the build folder). Prints the package's path.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh --with-package >&2
build_dir=${ZAV_PACKAGE_BUILD_DIR:-build-package}
# Debian's hardening: fortified functions, a strong stack protector, a read-only relocation
# table bound at start (relro, now) and position-independent programs. CMake reads the flags
# from the environment when it first configures a build folder, so the folder starts afresh.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
CXXFLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
LDFLAGS="$(dpkg-buildflags --get LDFLAGS)"
export CXXFLAGS LDFLAGS
rm -rf "$build_dir"
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZAV_BUILD_TESTS=OFF \
  -DCMAKE_INSTALL_PREFIX=/usr -DCMAKE_STRIP="$PWD/cmake/strip-for-debian.sh" ${ZAV_CMAKE_ARGS:-} >&2
cmake --build "$build_dir" >&2
rm -f "$build_dir"/zav-audio-recorder_*.deb
(cd "$build_dir" && cpack -G DEB >&2)
ls "$PWD/$build_dir"/zav-audio-recorder_*.deb
