#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (AddressSanitizer + UndefinedBehaviorSanitizer)
# and runs each for a bounded time on its corpus in tests/fuzz/corpus.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh --with-tests
seconds=${ZAV_FUZZ_SECONDS:-30}
build_dir=${ZAV_FUZZ_BUILD_DIR:-build-fuzz}
CC=clang CXX=clang++ cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DZAV_BUILD_GUI=OFF -DZAV_BUILD_TESTS=OFF -DZAV_FUZZ=ON -DZAV_SANITIZE=address,undefined >/dev/null
targets=(fuzz_ini fuzz_user_dirs fuzz_record_options fuzz_wav_header fuzz_job_file fuzz_service_answer)
cmake --build "$build_dir" --target "${targets[@]}"
for target in "${targets[@]}"; do
  corpus=tests/fuzz/corpus/${target#fuzz_}
  found=$(mktemp -d)
  echo "fuzzing $target for ${seconds}s"
  # New inputs go to a scratch folder; the committed corpus is only read.
  # A fixed seed makes a CI run repeatable; ZAV_FUZZ_SEED=0 picks a fresh one.
  "$build_dir/tests/fuzz/$target" -max_total_time="$seconds" -seed="${ZAV_FUZZ_SEED:-1}" -print_final_stats=1 "$found" "$corpus" \
    2>"$found.log" || { tail -n 40 "$found.log"; exit 1; }
  grep -E 'stat::number_of_executed_units' "$found.log" || true
  rm -rf "$found" "$found.log"
done
echo "fuzzing: no crash"
