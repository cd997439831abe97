#!/usr/bin/env bash
# Runs the whole test suite under AddressSanitizer + UndefinedBehaviorSanitizer, and the
# engine, settings-store and sound-server tests under ThreadSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh --with-tests
root=$(pwd)
# The tests run side by side as in scripts/test.sh, one per core.
jobs=${ZAV_TEST_JOBS:-$(nproc)}

asan_dir=${ZAV_ASAN_BUILD_DIR:-build-asan}
cmake -S . -B "$asan_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZAV_SANITIZE=address,undefined >/dev/null
cmake --build "$asan_dir"
(
  cd "$asan_dir"
  # intercept_strndup=0: Qt's X11 start-up calls libxkbcommon-x11, which passes strndup a
  # length that runs past the end of the xcb reply holding the (NUL-terminated) name; the
  # interceptor checks the whole length and reports an overflow inside the system library.
  export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:strict_string_checks=1:intercept_strndup=0"
  export LSAN_OPTIONS="suppressions=$root/tests/sanitizers/lsan.supp:print_suppressions=0"
  export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
  ctest --output-on-failure --timeout 900 --parallel "$jobs" -LE a11y
  # The screen-reader tests, with whole allocation stacks: Qt's accessibility bridge keeps a
  # copy of each key event until the accessibility registry answers for it, and the copies
  # still waiting when the program ends are never freed (a leak inside Qt, at exit, seen when
  # the machine is busy). Only the slow unwinder sees past Qt's own frames to the application
  # event filter the copy is made in, which lsan.supp names; nothing of ours filters there.
  ASAN_OPTIONS="$ASAN_OPTIONS:fast_unwind_on_malloc=0" ctest --output-on-failure --timeout 900 --parallel "$jobs" -L a11y
)

tsan_dir=${ZAV_TSAN_BUILD_DIR:-build-tsan}
tsan_programs=(engine_tests real_sound_tests device_timing_tests durability_tests zav_core_tests endpoint_tests)
cmake -S . -B "$tsan_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZAV_SANITIZE=thread -DZAV_BUILD_GUI=OFF >/dev/null
cmake --build "$tsan_dir" --target "${tsan_programs[@]}"
(
  cd "$tsan_dir"
  export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$root/tests/sanitizers/tsan.supp"
  # Every test of those programs (the programs not built are listed as <name>_NOT_BUILT).
  ctest --output-on-failure --timeout 900 --parallel "$jobs" -E '_NOT_BUILT$'
)
