#!/usr/bin/env bash
# Builds the libraries and tests with the sanitizers and runs them under Xvfb:
#   asan  AddressSanitizer + UndefinedBehaviorSanitizer, leaks checked, every suite
#         (the screenshot-only tests skipped);
#   tsan  ThreadSanitizer on the tests of the IPC, the searches and their callbacks.
# Without an argument both run. Suppressions (commented) are in tests/sanitizers/.
set -euo pipefail
cd "$(dirname "$0")/.."
SUPP=$PWD/tests/sanitizers
JOBS=$(nproc)
# GLib's slice allocator hides leaks of slices inside its own blocks: plain malloc instead.
export G_SLICE=always-malloc

run_asan() {
  local build=${ASAN_BUILD_DIR:-build-asan}
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DENABLE_SANITIZERS=ON -DENABLE_BENCH=OFF >/dev/null
  cmake --build "$build" -j"$JOBS"
  export ASAN_OPTIONS=detect_leaks=1:detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1
  export LSAN_OPTIONS=suppressions=$SUPP/lsan.supp:print_suppressions=0
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
  xvfb-run -a -s "-screen 0 1280x1024x24" \
    ctest --test-dir "$build" -L 'libkel|service|classroom' --output-on-failure -j"$JOBS"
  # GTK and GLib have no frame pointers: only the slow unwinder follows a leak's stack far
  # enough to tell their own leaks (suppressed by function) from ours.
  ASAN_OPTIONS=$ASAN_OPTIONS:fast_unwind_on_malloc=0 xvfb-run -a -s "-screen 0 1280x1024x24" \
    ctest --test-dir "$build" -L gui -E 'Screenshot' --output-on-failure -j"$JOBS"
}

run_tsan() {
  local build=${TSAN_BUILD_DIR:-build-tsan}
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DENABLE_TSAN=ON -DENABLE_BENCH=OFF >/dev/null
  cmake --build "$build" -j"$JOBS" --target \
    libkel_test_ipc_callback service_test_policy_service libkel_test_faults_search \
    gui_test_search_dialogs gui_test_endtoend gui_test_addapplication gui_test_faults_search \
    classroom_test_classroom kel-service
  export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$SUPP/tsan.supp"
  xvfb-run -a -s "-screen 0 1280x1024x24" \
    ctest --test-dir "$build" --output-on-failure -j"$JOBS" \
    -R '^(IpcCallback|PolicyService|SearchFaults|SearchLocal|SearchRemote|SearchEndToEnd|AdminEndToEnd|AddApplication|SearchDialogFaults|Classroom)\.'
}

case "${1:-all}" in
  asan) run_asan ;;
  tsan) run_tsan ;;
  all) run_asan; run_tsan ;;
  *) echo "usage: $0 [asan|tsan]" >&2; exit 2 ;;
esac
