#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh --with-tests
build_dir=${ZAV_BUILD_DIR:-build-tests}
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZAV_BUILD_TESTS=ON ${ZAV_CMAKE_ARGS:-}
cmake --build "$build_dir"
cd "$build_dir"
# Three tests per core at a time: most of them wait on the wall clock (recordings) and leave
# the cores two thirds idle, and each starts its own sound server, X server, folders and
# ports, so they run side by side. The echo path test runs alone (RUN_SERIAL).
ctest --output-on-failure --timeout 900 --parallel "${ZAV_TEST_JOBS:-$(($(nproc) * 3))}" ${ZAV_CTEST_ARGS:-}
