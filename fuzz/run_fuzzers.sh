#!/usr/bin/env bash
# Builds the fuzz targets with clang and runs each for the given number of
# seconds (default 20), starting from the seed corpus in fuzz/corpus.
# Fails on any crash, leak or undefined behaviour.
set -euo pipefail
seconds=${1:-20}
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build-fuzz"
CXX=clang++-14 cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQB7_FUZZ=ON -DQB7_TESTS=OFF -DQB7_BENCH=OFF >/dev/null
cmake --build "$build" -j "$(nproc)"
status=0
passed=0
failed=0
for target in interpreter macro config key_decoder mouse_report; do
  work="$build/corpus/$target"
  mkdir -p "$work" "$build/artifacts"
  echo "== fuzz_$target for ${seconds}s"
  if ! "$build/fuzz/fuzz_$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
      -artifact_prefix="$build/artifacts/$target-" -print_final_stats=0 \
      "$work" "$root/fuzz/corpus/$target" 2> "$build/fuzz_$target.log"; then
    echo "fuzz_$target FAILED:"; tail -40 "$build/fuzz_$target.log"
    status=1
    failed=$((failed + 1))
  else
    grep -E "^#[0-9]+.*(DONE|pulse)" "$build/fuzz_$target.log" | tail -1 || true
    passed=$((passed + 1))
  fi
done
echo "fuzz: $passed passed, $failed failed"
exit $status
