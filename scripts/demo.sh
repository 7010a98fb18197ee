#!/usr/bin/env bash
# Builds the demo host and the policy service, starts a private D-Bus daemon (our bus
# configuration) with kel-service on it as the current user, and opens the host on a scratch
# copy of the sample root, talking to that service; both are stopped afterwards. Without a
# display it runs under Xvfb and saves a screenshot of each window instead.
# Extra arguments go to the host, e.g.: scripts/demo.sh --about --theme Blue --font "Sans 12"
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
BUILD=${BUILD_DIR:-build}
cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$BUILD" -j"$(nproc)" --target kel-demo kel-service

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

# The private bus stands in for the system bus; the service writes the scratch root.
BUSDIR=$(mktemp -d /tmp/kel-demo-bus-XXXXXX)
BUS_PID=""
SERVICE_PID=""
stop_service() {
  [ -n "$SERVICE_PID" ] && kill "$SERVICE_PID" 2>/dev/null && wait "$SERVICE_PID" 2>/dev/null || true
  [ -n "$BUS_PID" ] && kill "$BUS_PID" 2>/dev/null && wait "$BUS_PID" 2>/dev/null || true
  rm -rf "$BUSDIR"
}
trap stop_service EXIT
# Only the demo's user may own the service's name there.
sed "s/@OWNER@/$(id -u)/" data/kel-private-bus.conf >"$BUSDIR/bus.conf"
exec 3< <(dbus-daemon --config-file="$BUSDIR/bus.conf" --nofork \
            --address="unix:path=$BUSDIR/socket" --print-address=1 --print-pid=1)
read -r -t 20 BUS_ADDRESS <&3
read -r -t 20 BUS_PID <&3
export DBUS_SYSTEM_BUS_ADDRESS="$BUS_ADDRESS"
# What the service does is logged to build/demo-service.log.
G_MESSAGES_DEBUG=KEL "$BUILD/service/kel-service" --own-user-only >"$(realpath "$BUILD")/demo-service.log" 2>&1 &
SERVICE_PID=$!
# Wait (bounded) until the service owns its name on the bus.
for _ in $(seq 100); do
  gdbus call --system -d org.freedesktop.DBus -o /org/freedesktop/DBus \
    -m org.freedesktop.DBus.NameHasOwner org.kelproject.Policy1 2>/dev/null | grep -q true && break
  kill -0 "$SERVICE_PID" 2>/dev/null || { echo "kel-service did not start" >&2; exit 1; }
  sleep 0.1
done

if [ -n "${DISPLAY:-}" ]; then
  "$HOST" "$@"
  exit $?
fi

SHOTS=$(realpath "$BUILD")/screenshots
mkdir -p "$SHOTS"
for window in $("$HOST" --list-windows); do
  xvfb-run -a -s "-screen 0 1024x768x24" "$HOST" "--$window" --screenshot "$SHOTS/$window.png" "$@"
  echo "screenshot: $SHOTS/$window.png"
done
