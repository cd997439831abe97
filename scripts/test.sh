#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh --with-tests
build_dir=${ZAV_BUILD_DIR:-build-tests}
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZAV_BUILD_TESTS=ON ${ZAV_CMAKE_ARGS:-}
cmake --build "$build_dir"
cd "$build_dir"
ctest --output-on-failure --timeout 900 ${ZAV_CTEST_ARGS:-}
