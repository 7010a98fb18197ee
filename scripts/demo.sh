#!/usr/bin/env bash
# Builds the demo host and opens it on a scratch copy of the sample root. Without a display
# it runs under Xvfb and saves a screenshot of each window instead.
# Extra arguments go to the host, e.g.: scripts/demo.sh --about --theme Blue --font "Sans 12"
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
BUILD=${BUILD_DIR:-build}
cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$BUILD" -j"$(nproc)" --target kel-demo

# The sample policies name installed paths (/etc/KEL/...): point them into the copy.
ROOT=$(realpath "$BUILD")/demo-root
rm -rf "$ROOT"
cp -a data/root "$ROOT"
find "$ROOT/etc/KEL" -type f -name '*.xml' -print0 |
  NEW_PREFIX="$ROOT/etc/KEL/" xargs -0 -r perl -pi -e '
    BEGIN { ($r = $ENV{NEW_PREFIX}) =~ s/&/&amp;/g; $r =~ s/</&lt;/g; $r =~ s/>/&gt;/g;
            $r =~ s/"/&quot;/g; $r =~ s/\x27/&apos;/g; }
    s{/etc/KEL/}{$r}g'

# A home of its own, so the per-user gtkrc file the demo writes stays in the build folder.
export XAUTHORITY=${XAUTHORITY:-$HOME/.Xauthority}
export HOME=$(realpath "$BUILD")/demo-home
mkdir -p "$HOME"
export KEL_ROOT="$ROOT"
HOST="$BUILD/host/kel-demo"

if [ -n "${DISPLAY:-}" ]; then
  exec "$HOST" "$@"
fi

SHOTS=$(realpath "$BUILD")/screenshots
mkdir -p "$SHOTS"
for window in $("$HOST" --list-windows); do
  xvfb-run -a -s "-screen 0 1024x768x24" "$HOST" "--$window" --screenshot "$SHOTS/$window.png" "$@"
  echo "screenshot: $SHOTS/$window.png"
done
