#!/usr/bin/env bash
# Builds the fuzz targets with clang and runs each for SECONDS seconds (default
# 20) on its committed seed corpus. New inputs go to a scratch corpus in the
# build folder; a crash, a sanitizer report, a leak or a slow input fails.
set -euo pipefail
seconds=${1:-20}
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${FUZZ_BUILD:-$root/build-fuzz}
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMESACROP_FUZZ=ON >/dev/null
cmake --build "$build"
export ASAN_OPTIONS=allocator_may_return_null=1:detect_leaks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
for target in bitmap grid descriptors raw_dem dialog flags; do
  scratch="$build/corpus/$target"
  mkdir -p "$scratch" "$build/findings"
  log="$build/findings/${target}.log"
  echo "== fuzzing $target for ${seconds}s"
  if ! "$build/tests/fuzz/${target}_fuzz" -max_total_time="$seconds" -timeout=5 -rss_limit_mb=4096 \
      -artifact_prefix="$build/findings/${target}-" -print_final_stats=1 \
      "$scratch" "$root/tests/fuzz/corpus/$target" >"$log" 2>&1; then
    tail -n 60 "$log"
    echo "fuzzing $target FAILED: the input is in $build/findings/"
    exit 1
  fi
  grep -E "stat::number_of_executed_units|stat::new_units_added" "$log" || true
done
