#!/usr/bin/env bash
# Builds the fuzz targets with clang and runs each for a bounded time (FUZZ_SECONDS, default 20) on a copy of
# its seed corpus and regression inputs; fails when one of them finds a crash (the input is kept in the
# build's artifacts folder). Not part of the test command, which only replays the committed inputs.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${FUZZ_BUILD_DIR:-build-fuzz}
SECONDS_EACH=${FUZZ_SECONDS:-20}
JOBS=${FUZZ_JOBS:-$(nproc)}
cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DENABLE_FUZZ=ON -DENABLE_TESTS=OFF -DENABLE_BENCH=OFF >/dev/null
targets=()
for src in tests/fuzz/fuzz_*.cpp; do
  targets+=("$(basename "$src" .cpp)")
done
cmake --build "$BUILD" -j"$(nproc)" --target "${targets[@]}"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$BUILD/artifacts"
run_one() {
  local t=$1 dict=()
  [ -f "tests/fuzz/$t.dict" ] && dict=(-dict="tests/fuzz/$t.dict")
  [ ${#dict[@]} -eq 0 ] && [ "$t" != fuzz_input_valid ] && dict=(-dict=tests/fuzz/xml.dict)
  local seeds=("tests/fuzz/corpus/$t")
  [ -d "tests/fuzz/regression/$t" ] && seeds+=("tests/fuzz/regression/$t")
  mkdir -p "$work/$t"
  if "$BUILD/tests/fuzz/$t" "${dict[@]}" -max_total_time="$SECONDS_EACH" -timeout=10 -rss_limit_mb=2048 \
      -print_final_stats=1 -artifact_prefix="$BUILD/artifacts/$t-" "$work/$t" "${seeds[@]}" \
      >"$work/$t.log" 2>&1; then
    echo "$t: $(sed -n 's/^stat::number_of_executed_units: *//p' "$work/$t.log") executions, no crash"
  else
    echo "$t: FAILED (keep the input in tests/fuzz/regression/$t/ once mended)"
    grep -E 'ERROR|fault:|SUMMARY|Test unit written' "$work/$t.log" | head -20
    return 1
  fi
}
# GLib's slice allocator keeps memory it never returns: the fuzzer would take it for a leak
# after every input and stop each time to look for it.
export G_SLICE=always-malloc
export -f run_one
export BUILD SECONDS_EACH work
printf '%s\n' "${targets[@]}" | xargs -P "$JOBS" -I{} bash -c 'run_one {}'
