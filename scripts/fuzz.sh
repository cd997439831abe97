#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (AddressSanitizer + UndefinedBehaviorSanitizer)
# and runs each for a bounded time on its corpus in tests/fuzz/corpus, one per core at a time.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh --with-tests
seconds=${ZAV_FUZZ_SECONDS:-30}
jobs=${ZAV_FUZZ_JOBS:-$(nproc)}
build_dir=${ZAV_FUZZ_BUILD_DIR:-build-fuzz}
CC=clang CXX=clang++ cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DZAV_BUILD_GUI=OFF -DZAV_BUILD_TESTS=OFF -DZAV_FUZZ=ON -DZAV_SANITIZE=address,undefined >/dev/null
targets=(fuzz_ini fuzz_user_dirs fuzz_record_options fuzz_wav_header fuzz_job_file fuzz_service_answer)
cmake --build "$build_dir" --target "${targets[@]}"

# New inputs go to a scratch folder; the committed corpus is only read.
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fuzz() {
  local target=$1
  mkdir "$scratch/$target"
  # A fixed seed makes a CI run repeatable; ZAV_FUZZ_SEED=0 picks a fresh one.
  "$build_dir/tests/fuzz/$target" -max_total_time="$seconds" -seed="${ZAV_FUZZ_SEED:-1}" -print_final_stats=1 \
    "$scratch/$target" "tests/fuzz/corpus/${target#fuzz_}" 2>"$scratch/$target.log"
}
for ((first = 0; first < ${#targets[@]}; first += jobs)); do
  batch=("${targets[@]:first:jobs}")
  pids=()
  for target in "${batch[@]}"; do
    echo "fuzzing $target for ${seconds}s"
    fuzz "$target" &
    pids+=($!)
  done
  for i in "${!batch[@]}"; do
    target=${batch[i]}
    if ! wait "${pids[i]}"; then
      kill "${pids[@]}" 2>/dev/null || true
      wait || true
      echo "$target found a failure:"
      tail -n 40 "$scratch/$target.log"
      exit 1
    fi
    echo "$target: $(grep -E 'stat::number_of_executed_units' "$scratch/$target.log" || true)"
  done
done
echo "fuzzing: no crash"
