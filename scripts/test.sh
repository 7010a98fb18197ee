#!/usr/bin/env bash
# Builds everything and runs every test (GUI tests under Xvfb). Installs what it needs.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
BUILD=${BUILD_DIR:-build}
cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DENABLE_BENCH=OFF >/dev/null
cmake --build "$BUILD" -j"$(nproc)"
xvfb-run -a -s "-screen 0 1280x1024x24" ctest --test-dir "$BUILD" --output-on-failure -j"$(nproc)"
# The same tests again under AddressSanitizer and UndefinedBehaviorSanitizer (leaks checked),
# the thread tests under ThreadSanitizer, then every fuzz target for a bounded time.
# KEL_TEST_QUICK=1 stops after the plain run (for a quick look while developing).
if [ "${KEL_TEST_QUICK:-0}" != 1 ]; then
  bash scripts/sanitize.sh
  bash scripts/fuzz.sh
fi
