#!/usr/bin/env bash
# The test command: the same answer on every machine, no random exploration. Builds and runs
#   1. every suite plainly under Xvfb, with each fuzz target replayed over its committed corpus and
#      regression inputs (ctest label fuzz) and the translation check (label checks);
#   2. the same under AddressSanitizer and UndefinedBehaviorSanitizer, leaks checked;
#   3. the suites labelled tsan under ThreadSanitizer.
# Installs the packages it needs first. KEL_TEST_QUICK=1 stops after the plain run.
# Timed fuzzing is a command of its own (see the README).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
BUILD=${BUILD_DIR:-build}
cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DENABLE_BENCH=OFF >/dev/null
cmake --build "$BUILD" -j"$(nproc)"
xvfb-run -a -s "-screen 0 1280x1024x24" ctest --test-dir "$BUILD" --output-on-failure -j"$(nproc)"
if [ "${KEL_TEST_QUICK:-0}" != 1 ]; then
  bash scripts/sanitize.sh
fi
