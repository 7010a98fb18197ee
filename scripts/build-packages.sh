#!/usr/bin/env bash
# Builds the Debian packages (debian/, debhelper on the CMake build) from a copy of the work tree
# and checks them with lintian.
#
#   scripts/build-packages.sh [OUT]           packages into OUT (default build-deb/)
#   scripts/build-packages.sh --check ROOT    installs OUT's packages into the Debian root ROOT
#                                             (made with debootstrap) and calls the service there
#                                             through D-Bus activation on the root's own system bus
set -euo pipefail
cd "$(dirname "$0")/.."
SRC=$PWD

if [ "${1:-}" = --check ]; then
  ROOT=${2:?a Debian root made with debootstrap}
  OUT=$(realpath "${3:-build-deb}")
  mkdir -p "$ROOT/tmp/kel-debs"
  cp "$OUT"/*.deb "$ROOT/tmp/kel-debs/"
  rm -f "$ROOT"/tmp/kel-debs/*-dbgsym_*
  [ -s "$ROOT/etc/resolv.conf" ] || cp --remove-destination /etc/resolv.conf "$ROOT/etc/resolv.conf"
  mountpoint -q "$ROOT/proc" || mount -t proc proc "$ROOT/proc"
  # Stops the root's bus, then whatever of the root outlives it (the activated service, polkitd),
  # so that neither a process nor a mount of the root is left behind.
  cleanup() {
    kill "$(cat "$ROOT/run/dbus/pid" 2>/dev/null)" 2>/dev/null || true
    local p n
    for n in 1 2 3 4 5 6 7 8 9 10; do
      set --
      for p in /proc/[0-9]*; do if [ "$p/root" -ef "$ROOT" ]; then set -- "$@" "${p#/proc/}"; fi; done
      [ $# -eq 0 ] && break
      kill $([ "$n" -gt 5 ] && echo -9) "$@" 2>/dev/null || true
      sleep 0.5
    done
    umount "$ROOT/proc" || true
  }
  trap cleanup EXIT
  chroot "$ROOT" sh -ec '
    export DEBIAN_FRONTEND=noninteractive
    grep -q security /etc/apt/sources.list ||
      echo "deb http://deb.debian.org/debian-security bookworm-security main" >>/etc/apt/sources.list
    apt-get update -qq
    apt-get install -y -qq ./tmp/kel-debs/*.deb libglib2.0-bin procps >/tmp/kel-install.log 2>&1 ||
      { tail -20 /tmp/kel-install.log; exit 1; }
    echo "== installed"; dpkg-query -W -f "\${Package} \${Version}\n" libkel3 libkelgui3 libkel-dev kel-common kel-service kel-classroom kel-broker
    echo "== kel-search: $(getent passwd kel-search)"
    echo "== enabled: $(ls /etc/systemd/system/multi-user.target.wants/ | grep kel | tr "\n" " " || true)"
    mkdir -p /run/dbus; rm -f /run/dbus/pid; dbus-uuidgen --ensure
    dbus-daemon --system --fork
    echo "== as root: SaveTabNavPolicy (the service is activated by the call; polkit says yes to root)"
    gdbus call --system --dest org.kelproject.Policy1 --object-path /org/kelproject/Policy1 \
      --method org.kelproject.Policy1.SaveTabNavPolicy "$(cat /etc/KEL/TabNavigation.xml)"
    echo "== activated by the bus:"
    # Only this root'"'"'s processes: /proc also shows those of the host and of other roots.
    for p in $(pgrep -x "kel-service|polkitd"); do
      if [ /proc/$p/root -ef / ]; then ps -o user=,args= -p "$p"; fi
    done
    echo "== as nobody: the same call"
    setpriv --reuid=nobody --regid=nogroup --clear-groups gdbus call --system --dest org.kelproject.Policy1 \
      --object-path /org/kelproject/Policy1 --method org.kelproject.Policy1.SaveTabNavPolicy "<x/>" 2>&1 || true
    echo "== the packaged polkit actions:"; pkaction --verbose --action-id org.kelproject.policy.save | grep -E "description:|implicit active"
    echo "== in German: $(grep -c "xml:lang=\"de\"" /usr/share/polkit-1/actions/org.kelproject.policy) translated texts"
  '
  exit 0
fi

OUT=$(realpath -m "${1:-build-deb}")
export DEBIAN_FRONTEND=noninteractive
apt-get install -y -qq --no-install-recommends dpkg-dev debhelper lintian fakeroot >/dev/null
apt-get build-dep -y -qq "$SRC" >/dev/null
rm -rf "$OUT"
mkdir -p "$OUT/kel"
# A clean copy: no build folders, no earlier package builds.
git ls-files -z --cached --others --exclude-standard | grep -zv '^build' | tar --null -T - -cf - | tar -xf - -C "$OUT/kel"
(cd "$OUT/kel" && dpkg-buildpackage -b -us -uc -j2 >"$OUT/build.log" 2>&1) || { tail -40 "$OUT/build.log"; exit 1; }
echo "== packages"
ls -1 "$OUT"/*.deb | xargs -n1 basename
echo "== lintian"
lintian --fail-on error "$OUT"/*.changes | tee "$OUT/lintian.log" || { echo "lintian found errors"; exit 1; }
printf '%s errors, %s warnings, %s infos\n' "$(grep -c '^E:' "$OUT/lintian.log" || true)" \
  "$(grep -c '^W:' "$OUT/lintian.log" || true)" "$(grep -c '^I:' "$OUT/lintian.log" || true)"
