#!/usr/bin/env bash
# Builds the libraries and tests with the sanitizers and runs them under Xvfb:
#   asan  AddressSanitizer + UndefinedBehaviorSanitizer, leaks checked: every suite and every fuzz
#         target over its committed inputs (build-asan/);
#   tsan  ThreadSanitizer on the tests labelled tsan in tests/CMakeLists.txt; only those programs
#         are built (build-tsan/). Skipped, with a line saying so, on 32-bit platforms (i386).
# Without an argument both run. Suppressions (commented) are in tests/sanitizers/. The sanitizer
# builds are optimised lightly (-O1): they build faster and still report at the right line.
set -euo pipefail
cd "$(dirname "$0")/.."
SUPP=$PWD/tests/sanitizers
JOBS=$(nproc)
XVFB=(xvfb-run -a -s "-screen 0 1280x1024x24")
FLAGS=(-DCMAKE_BUILD_TYPE=None "-DCMAKE_C_FLAGS=-O1 -g" "-DCMAKE_CXX_FLAGS=-O1 -g" -DENABLE_BENCH=OFF)
# GLib's slice allocator hides leaks of slices inside its own blocks: plain malloc instead.
export G_SLICE=always-malloc

run_asan() {
  local build=${ASAN_BUILD_DIR:-build-asan}
  cmake -S . -B "$build" "${FLAGS[@]}" -DENABLE_SANITIZERS=ON >/dev/null
  cmake --build "$build" -j"$JOBS"
  export ASAN_OPTIONS=detect_leaks=1:detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1
  export LSAN_OPTIONS=suppressions=$SUPP/lsan.supp:print_suppressions=0
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
  # The source-tree checks ran with the plain suite; they are scripts, no code of ours to sanitize.
  "${XVFB[@]}" ctest --test-dir "$build" -LE 'gui|classroom|session|checks' --output-on-failure -j"$JOBS"
  # GTK and GLib have no frame pointers: only the slow unwinder follows a leak's stack far
  # enough to tell their own leaks (suppressed by function) from ours. The classroom and session
  # suites open windows too (the teacher's console, the search's list, the lock agent).
  ASAN_OPTIONS=$ASAN_OPTIONS:fast_unwind_on_malloc=0 "${XVFB[@]}" \
    ctest --test-dir "$build" -L 'gui|classroom|session' --output-on-failure -j"$JOBS"
}

run_tsan() {
  local build=${TSAN_BUILD_DIR:-build-tsan}
  # ThreadSanitizer exists for 64-bit targets only (its shadow memory does not fit 32 bits).
  if [ "$(getconf LONG_BIT)" != 64 ]; then
    echo "sanitize.sh: ThreadSanitizer stage SKIPPED: no ThreadSanitizer on this 32-bit platform ($(uname -m))"
    return 0
  fi
  cmake -S . -B "$build" "${FLAGS[@]}" -DENABLE_TSAN=ON >/dev/null
  cmake --build "$build" -j"$JOBS"
  export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$SUPP/tsan.supp"
  "${XVFB[@]}" ctest --test-dir "$build" -L tsan --output-on-failure -j"$JOBS"
}

case "${1:-all}" in
  asan) run_asan ;;
  tsan) run_tsan ;;
  all) run_asan; run_tsan ;;
  *) echo "usage: $0 [asan|tsan]" >&2; exit 2 ;;
esac
