#!/usr/bin/env bash
# A classroom on one machine: a broker on a free local port with a fresh classroom, three
# student services (kel-service --classroom, each with its own scratch root and programs) and
# the teacher's side. It lists the class, searches it, deploys the teacher's policy, and opens
# the teacher's window; without a display it saves a screenshot of that window instead.
set -euo pipefail
cd "$(dirname "$0")/.."
SRC=$PWD
bash scripts/install-deps.sh
BUILD=${BUILD_DIR:-build}
cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$BUILD" -j"$(nproc)" --target kel-service kel-demo kel-classroom kel-teacher
BUILD=$(realpath "$BUILD")
DEMO=$BUILD/classroom-demo
rm -rf "$DEMO"
mkdir -p "$DEMO"

# Two free ports: the notebooks' and the teachers'.
read -r PORT TEACHER_PORT < <(python3 -c 'import socket
a, b = socket.socket(), socket.socket(); a.bind(("127.0.0.1", 0)); b.bind(("127.0.0.1", 0))
print(a.getsockname()[1], b.getsockname()[1])')
export TEACHER_PORT
BROKER_USER=$(id -un) ANSWER_TIMEOUT=5 scripts/make-classroom.sh "$DEMO/classroom" 5b localhost "$PORT" pc01 pc02 pc03

PIDS=()
cleanup() { for pid in "${PIDS[@]}"; do kill "$pid" 2>/dev/null || true; done; wait 2>/dev/null || true; }
trap cleanup EXIT
mosquitto -c "$DEMO/classroom/mosquitto.conf" &
PIDS+=($!)
for _ in $(seq 50); do (exec 3<>"/dev/tcp/127.0.0.1/$PORT") 2>/dev/null && break; sleep 0.1; done

# The teacher: the sample root (its policy files naming paths inside the copy), the class's
# settings and a roster that names the machines.
TEACHER=$DEMO/teacher
cp -a data/root "$TEACHER"
find "$TEACHER/etc/KEL" -type f -name '*.xml' -print0 |
  NEW_PREFIX="$TEACHER/etc/KEL/" xargs -0 -r perl -pi -e '
    BEGIN { ($r = $ENV{NEW_PREFIX}) =~ s/&/&amp;/g; $r =~ s/</&lt;/g; $r =~ s/>/&gt;/g; }
    s{/etc/KEL/}{$r}g'
cp "$DEMO"/classroom/machines/teacher/* "$TEACHER/etc/KEL/"
cat > "$TEACHER/etc/KEL/StudentInfo.xml" <<'XML'
<StudentInfo version="1"><Student name="Anna" address="pc01"/><Student name="Ben" address="pc02"/><Student name="Chloe" address="pc03"/></StudentInfo>
XML

# Three students, each with programs of its own and one they share.
declare -A PROGRAMS=([pc01]="Writer Calculator" [pc02]="Atlas Paint" [pc03]="Typing Music")
for student in pc01 pc02 pc03; do
  root=$DEMO/$student
  mkdir -p "$root/etc/KEL" "$root/usr/share/applications"
  cp "$DEMO"/classroom/machines/$student/* "$root/etc/KEL/"
  for name in Terminal ${PROGRAMS[$student]}; do
    printf '[Desktop Entry]\nType=Application\nName=%s\nExec=/bin/echo %s\n' "$name" "${name,,}" \
      > "$root/usr/share/applications/${name,,}.desktop"
  done
  KEL_ROOT=$root "$BUILD/service/kel-service" --classroom &
  PIDS+=($!)
done

export KEL_ROOT=$TEACHER HOME=$DEMO/home
mkdir -p "$HOME"
for _ in $(seq 50); do
  [ "$("$BUILD/host/kel-classroom" list 2>/dev/null | wc -l)" -eq 3 ] && break
  sleep 0.2
done
echo "== online"
"$BUILD/host/kel-classroom" list
echo "== class search of /usr/share/applications"
"$BUILD/host/kel-classroom" search /usr/share/applications --clear
echo "== the teacher's search results ($TEACHER/etc/KEL/SearchResult.xml)"
grep -o 'name="[^"]*"' "$TEACHER/etc/KEL/SearchResult.xml"
echo "== deploying the teacher's policy"
"$BUILD/host/kel-classroom" deploy

echo "== locking pc02, a notice to the class"
"$BUILD/host/kel-classroom" lock pc02
"$BUILD/host/kel-classroom" notice "Please save your work."

if [ -n "${DISPLAY:-}" ]; then
  "$BUILD/host/kel-teacher"
else
  SHOTS=$BUILD/screenshots
  mkdir -p "$SHOTS"
  echo "== the teacher's Search Program dialog searching the class"
  xvfb-run -a -s "-screen 0 1024x768x24" "$BUILD/host/kel-classroom" dialog /usr/share/applications \
    "$SHOTS/classroom-search.png"
  xvfb-run -a -s "-screen 0 1024x768x24" "$BUILD/host/kel-demo" --teacher --page 1 \
    --screenshot "$SHOTS/classroom-teacher.png"
  echo "screenshot: $SHOTS/classroom-teacher.png"
  # The console in English and German, at the default font and at "Sans 14": a fresh home takes
  # the font of the machine's theme settings.
  for font in "Sans 10" "Sans 14"; do
    sed -i "s/font=\"[^\"]*\"/font=\"$font\"/" "$TEACHER/etc/KEL/KELTheme.xml"
    for lang in en de; do
      name=kel-teacher-$lang$([ "$font" = "Sans 14" ] && echo -large || true)
      # Who was seen today comes along: no new-student notice over the picture.
      rm -rf "$DEMO/home-shot" && mkdir -p "$DEMO/home-shot" && cp -a "$HOME/.cache" "$DEMO/home-shot/"
      HOME=$DEMO/home-shot LANGUAGE=$lang LC_ALL=$([ $lang = de ] && echo de_DE.UTF-8 || echo C.UTF-8) \
        xvfb-run -a -s "-screen 0 1280x1024x24" "$BUILD/host/kel-teacher" --screenshot "$SHOTS/$name.png"
      echo "screenshot: $SHOTS/$name.png"
    done
  done
fi
