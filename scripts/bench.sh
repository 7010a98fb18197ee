#!/usr/bin/env bash
# Builds the benchmarks (Release) and runs them all, then prints one table: each figure beside its
# raw baseline, as a ratio. Window figures run under Xvfb when there is no display.
# Options after the script name go to every benchmark program (e.g. --benchmark_filter=Save).
# BENCH_ROUNDS sets the interleaved rounds per figure (default 9, at least 7; the first is dropped).
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${BUILD_DIR:-build-bench}
cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DENABLE_BENCH=ON >/dev/null
cmake --build "$BUILD" -j"$(nproc)" --target bench_storage bench_search bench_windows bench_memory bench_startup >/dev/null

LOG=${BENCH_LOG:-$BUILD/bench.log}
rows=$(mktemp)
trap 'rm -f "$rows"' EXIT
: >"$LOG"

with_display() {
  if [ -n "${DISPLAY:-}" ]; then "$@"; else xvfb-run -a -s "-screen 0 1280x1024x24" "$@"; fi
}

load_before=$(cut -d' ' -f1-3 /proc/loadavg)
failed=()
for program in storage search windows memory startup; do
  echo "bench_$program ..." >&2
  case $program in
    windows | memory | startup) with_display "$BUILD/bench/bench_$program" "$@" ;;
    *) "$BUILD/bench/bench_$program" "$@" ;;
  esac 2>>"$LOG" | tee -a "$LOG" >"$rows.out" || failed+=("bench_$program (exit status $?)")
  # A filter (--benchmark_filter) may leave a program without figures; that is no failure.
  grep '^ROW' "$rows.out" >>"$rows" || true
done
rm -f "$rows.out"
load_after=$(cut -d' ' -f1-3 /proc/loadavg)

cpu=$(grep -m1 'model name' /proc/cpuinfo | sed 's/.*: //')
mem=$(awk '/MemTotal/ {printf "%.1f GiB", $2 / 1048576}' /proc/meminfo)
echo
echo "Machine: $(nproc) cores, $cpu, $mem memory; $(. /etc/os-release && echo "$PRETTY_NAME"), GTK $(pkg-config --modversion gtk+-2.0), libxml2 $(pkg-config --modversion libxml-2.0)"
echo
echo "Load average before and after: $load_before / $load_after; rounds per figure: ${BENCH_ROUNDS:-9} (first dropped, median of per-round ratios)"
echo
awk -F'\t' '
  BEGIN {
    print "| Figure | Library | Raw baseline | Ratio | Target | Result |"
    print "|---|---|---|---|---|---|"
  }
  {
    kind = $2; figure = $3; cand = $4; base = $5; ratio = $6; target = $7; met = $8; what = $9; note = $10
    gsub(/\|/, "\\|", figure); gsub(/\|/, "\\|", what)
    if (kind == "time") {
      line = sprintf("| %s | %.1f ms | %.1f ms: %s | %.2fx | <= %.2fx | %s |", figure, cand, base, what, ratio, target, met)
      total++; if (met == "met") ok++
    } else if (kind == "limit") {
      line = sprintf("| %s | %.1f ms | %.1f ms: %s | %.2fx | <= %.0f ms | %s |", figure, cand, base, what, ratio, target, met)
      total++; if (met == "met") ok++
    } else if (kind == "count") {
      line = sprintf("| %s | %d decodes | %d: %s | %.2f | exactly 1 | %s |", figure, cand, base, note, ratio, met)
      total++; if (met == "met") ok++
    } else if (kind == "memory") {
      line = sprintf("| %s | %.1f MiB | %.1f MiB: %s | +%.1f MiB | <= +%d MiB | %s |", figure, cand, base, what, ratio, target, met)
      total++; if (met == "met") ok++
    } else {
      line = sprintf("| %s | %.1f ms | %.1f ms: %s | %.2fx | - | info |", figure, cand, base, what, ratio)
    }
    print line
    if (kind == "memory") notes = notes sprintf("- %s: %s\n", figure, note)
  }
  END {
    printf "\n%d of %d targets met.\n", ok, total
    if (notes != "") printf "\n%s", notes
  }
' "$rows"
echo
echo "Full output: $LOG"
if [ ${#failed[@]} -gt 0 ]; then
  printf 'FAILED: %s\n' "${failed[@]}" >&2
  echo "A benchmark failed: its figures above are missing or incomplete (see $LOG)." >&2
  exit 1
fi
