#!/usr/bin/env bash
# The policy service's wake-ups while it waits for the timetable's next change: the context
# switches of each of its threads over a minute of idleness, on a private bus with the sample
# timetable (automatic locking on). Goal: 0 on the main thread between changes.
# Usage: bench/lock-idle-wakeups.sh [SECONDS] (needs a build in build/).
set -euo pipefail
cd "$(dirname "$0")/.."
secs=${1:-60}
work=$(mktemp -d /tmp/kel-idle-XXXXXX)
cp -r data/root "$work/root"
dbus-daemon --config-file=data/kel-private-bus.conf --nofork --address="unix:path=$work/bus" 2>/dev/null & bus=$!
trap 'kill $bus ${svc:-} 2>/dev/null; rm -rf "$work"' EXIT
sleep 0.5
DBUS_SYSTEM_BUS_ADDRESS="unix:path=$work/bus" KEL_ROOT="$work/root" build/service/kel-service >/dev/null 2>&1 & svc=$!
sleep 2
snap() { for t in /proc/$svc/task/*; do echo "$(basename "$t") $(cat "$t/comm") $(awk '/ctxt_switches/{n+=$2} END{print n}' "$t/status")"; done; }
before=$(snap)
sleep "$secs"
after=$(snap)
echo "kel-service, $secs s idle: context switches per thread"
join <(sort <<<"$before") <(sort <<<"$after") | awk '{printf "  %-16s %d\n", $2, $5 - $3}'
