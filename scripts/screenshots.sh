#!/usr/bin/env bash
# Pictures of the windows for the documentation, not a test: each window of the demo host (each
# page of the administrator tool's) on the sample root, in English and German, at the default
# font and at "Sans 14". Usage: scripts/screenshots.sh [FOLDER] (default build/screenshots;
# scripts/screenshots.sh docs/screenshots renews the README's pictures).
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${BUILD_DIR:-build}
OUT=$(realpath -m "${1:-$BUILD/screenshots}")
cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DENABLE_BENCH=OFF >/dev/null
cmake --build "$BUILD" -j"$(nproc)" --target kel-demo
mkdir -p "$OUT"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A fresh copy of the sample root and home per picture: a font switch writes the home's gtkrc file.
# The sample policies name installed paths (/etc/KEL/...): point them into the copy.
shoot() { # name language font demo-options...
  local name=$1 lang=$2 font=$3 root=$work/root home=$work/home
  shift 3
  rm -rf "$root" "$home" && cp -a data/root "$root" && mkdir -p "$home"
  find "$root/etc/KEL" -type f -name '*.xml' -print0 |
    NEW_PREFIX="$root/etc/KEL/" xargs -0 -r perl -pi -e '
      BEGIN { ($r = $ENV{NEW_PREFIX}) =~ s/&/&amp;/g; $r =~ s/</&lt;/g; $r =~ s/>/&gt;/g; }
      s{/etc/KEL/}{$r}g'
  local args=("$@")
  [ -n "$font" ] && args+=(--font "$font")
  if [ "$lang" = de ]; then set -- env LANGUAGE=de LC_ALL=de_DE.UTF-8; else set -- env LANGUAGE= LC_ALL=C.UTF-8; fi
  "$@" HOME="$home" KEL_ROOT="$root" NO_AT_BRIDGE=1 xvfb-run -a -s "-screen 0 1280x1024x24" \
    "$BUILD/host/kel-demo" "${args[@]}" --screenshot "$OUT/$name.png"
  echo "$OUT/$name.png"
}

for lang in en de; do
  for size in default large; do
    font=; suffix=-$lang
    [ "$size" = large ] && font="Sans 14" && suffix=$suffix-large
    shoot "admin-lock$suffix" $lang "$font" --admin --page 0
    shoot "admin-programs$suffix" $lang "$font" --admin --page 1
    shoot "admin-system$suffix" $lang "$font" --admin --page 2
    shoot "teacher$suffix" $lang "$font" --teacher
    shoot "about$suffix" $lang "$font" --about
    shoot "add-application$suffix" $lang "$font" --add-application
  done
done

# The lock grid while the pointer paints the week: Tue 08:00 pressed and dragged to 12:00, then
# down; every hour crossed takes the state the first one took. Real pointer events (xdotool).
paint() {
  local root=$work/root home=$work/home
  rm -rf "$root" "$home" && cp -a data/root "$root" && mkdir -p "$home"
  env HOME="$home" KEL_ROOT="$root" NO_AT_BRIDGE=1 LANGUAGE= LC_ALL=C.UTF-8 OUTFILE="$OUT/lock-painting.png" \
    BIN="$BUILD/host/kel-demo" xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
      "$BIN" --admin 2>/dev/null & pid=$!
      wid=$(xdotool search --sync --onlyvisible --name "Shell Settings" | head -1)
      sleep 1
      eval "$(xdotool getwindowgeometry --shell "$wid")"
      xdotool mousemove $((X + 226)) $((Y + 157)) mousedown 1
      for x in 236 246 256 266 276 286 296; do xdotool mousemove $((X + x)) $((Y + 157)); done
      for y in 167 177 187 197 207; do xdotool mousemove $((X + 296)) $((Y + y)); done
      sleep 0.5
      import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" "$OUTFILE"
      xdotool mouseup 1
      kill $pid'
  echo "$OUT/lock-painting.png"
}
paint

# The lock grid with the keyboard: Tab into the grid, then Right and Down move the ringed hour.
keys() {
  local root=$work/root home=$work/home
  rm -rf "$root" "$home" && cp -a data/root "$root" && mkdir -p "$home"
  env HOME="$home" KEL_ROOT="$root" NO_AT_BRIDGE=1 LANGUAGE= LC_ALL=C.UTF-8 OUTFILE="$OUT/lock-keyboard.png" \
    BIN="$BUILD/host/kel-demo" xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
      "$BIN" --admin 2>/dev/null & pid=$!
      wid=$(xdotool search --sync --onlyvisible --name "Shell Settings" | head -1)
      sleep 1
      xdotool windowfocus --sync "$wid"
      eval "$(xdotool getwindowgeometry --shell "$wid")"
      # Tab: the notebook tabs, the box, the day buttons, then the grid.
      for _ in 1 2 3 4 5 6 7 8 9 10; do xdotool key Tab; done
      xdotool key Right Right Right Down Down
      sleep 0.5
      import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" "$OUTFILE"
      kill $pid'
  echo "$OUT/lock-keyboard.png"
}
keys
