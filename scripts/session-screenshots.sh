#!/usr/bin/env bash
# Pictures of the session's lock agent for the README: the lock by the timetable and a teacher's
# notice, in English and German, at the default font and at "Sans 14" (NAME-large.png), on a
# private bus with the service's test seam (never the system bus).
# Usage: scripts/session-screenshots.sh [FOLDER] (default docs/screenshots); needs a build.
set -euo pipefail
cd "$(dirname "$0")/.."
out=$(realpath -m "${1:-docs/screenshots}")
build=${BUILD:-build}
work=$(mktemp -d /tmp/kel-shots-XXXXXX)
pids=()
trap 'kill "${pids[@]}" 2>/dev/null; rm -rf "$work"' EXIT
cp -r data/root "$work/root"
mkdir -p "$out"
# The bus configuration is a template: this user owns the service's name there.
sed "s/@OWNER@/$(id -u)/" data/kel-private-bus.conf >"$work/bus.conf"
dbus-daemon --config-file="$work/bus.conf" --nofork --address="unix:path=$work/bus" 2>/dev/null & pids+=($!)
Xvfb :87 -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 & pids+=($!)
sleep 1
export DBUS_SYSTEM_BUS_ADDRESS="unix:path=$work/bus" KEL_ROOT="$work/root" DISPLAY=:87 TZ=Europe/Berlin
export KEL_TEST_SEAM=1 KEL_TEST_TIME=$(date -d '2026-12-07 11:00' +%s) GTK2_RC_FILES=/dev/null
echo 'gtk-font-name = "Sans 14"' >"$work/large.rc"
seam() { gdbus call --system -d org.kelproject.Policy1 -o /org/kelproject/Testing -m "org.kelproject.Testing1.$1" "$2" >/dev/null; }
for shot in en de en-large de-large; do
  lang=${shot%-large}
  [ $lang = de ] && loc=de_DE.UTF-8 || loc=C.UTF-8
  [ $shot = $lang ] && rc=/dev/null || rc=$work/large.rc
  # A service of its own for each picture: it would start a killed agent again.
  "$build/service/kel-service" >/dev/null 2>&1 & service=$!
  gdbus wait --system --timeout 10 org.kelproject.Policy1
  seam SetTime "$(date -d '2026-12-07 11:00' +%s)"
  GTK2_RC_FILES=$rc LC_ALL=$loc LANGUAGE= "$build/session/kel-session" 2>/dev/null & agent=$!
  sleep 1
  seam SetTime "$(date -d '2026-12-07 12:10' +%s)"
  # A notice that comes while locked shows on the lock too; its own window stays when it ends.
  [ $lang = de ] && text="Bitte speichert eure Arbeit: in fünf Minuten sammeln wir die Notebooks ein." \
                 || text="Please save your work: we collect the notebooks in five minutes."
  seam Notice "$text"
  sleep 1
  import -window root "$out/session-lock-$shot.png"
  seam SetTime "$(date -d '2026-12-07 14:00' +%s)"
  sleep 1
  id=$(xdotool search --onlyvisible --name "^(Notice from your teacher|Mitteilung deiner Lehrkraft)$" | head -1)
  import -window "$id" "$out/session-notice-$shot.png"
  kill $service; sleep 0.5; kill $agent
done
