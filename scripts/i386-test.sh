#!/usr/bin/env bash
# The test command (scripts/test.sh) in a Debian 12 i386 root, the student notebooks' platform:
#
#   scripts/i386-test.sh [SOURCE [ROOT]]
#
# SOURCE  a git work tree (default: the one holding this script); its commit KEL_REV (default
#         HEAD) is copied afresh into ROOT/build/kel on every run: what is not committed is not
#         tested. The build folders stay there after the run, for a look at a failure.
# ROOT    the i386 root (default /srv/kel-i386), made with debootstrap when missing, reused after:
#         the packages the tests install into it (scripts/install-deps.sh) stay for the next run.
# KEL_TEST_QUICK=1 is passed on (the plain run only). Needs root (mounts, chroot).
#
# The copy is made with umask 022 (as a checkout would be): the tests' sample root must not be
# writable by others, or root's saves there are refused.
# The run has a mount and process namespace of its own: its mounts (the root bound on itself, /proc,
# /sys, /dev, /dev/pts, /dev/shm, /tmp in the root) and whatever it started in the root end with
# it, however it ends.
# Where no namespace can be made, the mounts are made in the machine's own and undone on exit.
set -euo pipefail
umask 022

MIRROR=${KEL_I386_MIRROR:-http://deb.debian.org/debian}
SUITE=bookworm

die() { echo "i386-test: $*" >&2; exit 2; }
# Whether anything is mounted on or below the root in this mount namespace.
mounted() { awk -v r="$1" '$5 == r || index($5, r "/") == 1 { found = 1 } END { exit !found }' /proc/self/mountinfo; }

# ---- inside: mounts, then the test command under linux32 chroot
inside() {
  ROOT=$1
  MOUNTED=()
  cleanup() {
    # Only reached without a namespace of our own (there the kernel does both): the processes
    # left in the root first (each by its id), then the mounts, innermost first.
    local pid
    for pid in $(ls /proc | grep -E '^[0-9]+$'); do
      [ "$pid" != $$ ] && [ "$(readlink "/proc/$pid/root" 2>/dev/null)" = "$ROOT" ] && kill -KILL "$pid" 2>/dev/null || true
    done
    local i
    for ((i = ${#MOUNTED[@]} - 1; i >= 0; i--)); do
      umount -R "${MOUNTED[i]}" 2>/dev/null || umount -R -l "${MOUNTED[i]}" 2>/dev/null ||
        echo "i386-test: could not unmount ${MOUNTED[i]}" >&2
    done
  }
  if [ "${KEL_I386_NAMESPACE:-0}" != 1 ]; then
    trap cleanup EXIT
    trap 'exit 143' INT TERM HUP
  fi
  mnt() { # mnt TARGET MOUNT-ARGUMENTS...
    local target=$ROOT$1; shift
    mkdir -p "$target"
    mount "$@" "$target"
    MOUNTED+=("$target")
  }
  # The root a mount point of its own: tests that make their mounts private start at "/".
  mnt "" --bind "$ROOT"
  mount --make-rprivate "$ROOT"
  mnt /proc -t proc proc
  # Bound trees are made slaves: unmounting them later must never reach the machine's own.
  mnt /sys --rbind /sys
  mount --make-rslave "$ROOT/sys"
  mnt /dev --rbind /dev
  mount --make-rslave "$ROOT/dev"
  mnt /dev/shm -t tmpfs -o mode=1777,nosuid,nodev tmpfs
  mnt /tmp -t tmpfs -o mode=1777 tmpfs # not nosuid: set-id programs are tested there
  # apt inside: the machine's name servers, Debian 12 with its updates, and no service started
  # by a package's installation (its daemons would outlive the run and hold its ports).
  cp -L /etc/resolv.conf "$ROOT/etc/resolv.conf" 2>/dev/null || true
  cat >"$ROOT/etc/apt/sources.list" <<EOF
deb $MIRROR $SUITE main
deb $MIRROR $SUITE-updates main
deb http://deb.debian.org/debian-security $SUITE-security main
EOF
  printf '#!/bin/sh\nexit 101\n' >"$ROOT/usr/sbin/policy-rc.d"
  chmod 755 "$ROOT/usr/sbin/policy-rc.d"
  # In the background so that a signal ends the run at once (the cleanup then ends what is left).
  linux32 chroot "$ROOT" /usr/bin/env -i HOME=/root TERM="${TERM:-dumb}" LANG=C.UTF-8 \
    PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
    KEL_TEST_QUICK="${KEL_TEST_QUICK:-0}" DEBIAN_FRONTEND=noninteractive \
    /bin/bash -c 'set -e; arch=$(dpkg --print-architecture); machine=$(uname -m)
      [ "$arch" = i386 ] || { echo "i386-test: the root is $arch, not i386" >&2; exit 2; }
      echo "i386-test: Debian $(cat /etc/debian_version) $arch, uname -m $machine"
      cd /build/kel && exec bash scripts/test.sh' &
  wait $! && exit 0 || exit $?
}

# ---- outside: the root, the copy of the source, then the run in a namespace of its own
outside() {
  [ "$(id -u)" -eq 0 ] || die "needs root (mounts and chroot); run it with sudo"
  SOURCE=$(cd "${1:-$(dirname "$0")/..}" && pwd) || die "no source tree ${1:-}"
  ROOT=$(realpath -m "${2:-/srv/kel-i386}")
  [ "$ROOT" != / ] || die "the root cannot be /"
  mkdir -p "$(dirname "$ROOT")"
  exec 9>"$ROOT.lock"
  flock -n 9 || die "another run is using $ROOT"
  REV=${KEL_REV:-HEAD}
  GIT=(git -c safe.directory='*' -C "$SOURCE")
  COMMIT=$("${GIT[@]}" rev-parse --verify "$REV^{commit}" 2>/dev/null) || die "$SOURCE: no git commit $REV"
  if [ "$REV" = HEAD ] && [ -n "$("${GIT[@]}" status --porcelain --untracked-files=no)" ]; then
    echo "i386-test: $SOURCE has uncommitted changes; testing its last commit only" >&2
  fi
  for tool in linux32 chroot unshare mount tar; do
    command -v "$tool" >/dev/null || die "$tool is missing (util-linux, coreutils, tar)"
  done
  # A mount left in the root by an earlier run killed without a namespace: never copy into it.
  if mounted "$ROOT"; then
    die "something is still mounted on or below $ROOT (an earlier run?): see 'grep $ROOT /proc/self/mountinfo'"
  fi

  # debootstrap removes its folder /debootstrap from the root only once it has succeeded.
  if [ ! -x "$ROOT/usr/bin/apt-get" ] || [ -e "$ROOT/debootstrap" ]; then
    [ ! -e "$ROOT/debootstrap" ] || die "$ROOT is an unfinished root: remove it and run again"
    if ! command -v debootstrap >/dev/null; then
      apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq debootstrap
    fi
    echo "i386-test: making the root $ROOT (debootstrap, some minutes)"
    debootstrap --arch=i386 "$SUITE" "$ROOT" "$MIRROR"
  fi

  echo "i386-test: commit $COMMIT of $SOURCE into $ROOT/build/kel"
  rm -rf "$ROOT/build/kel"
  mkdir -p "$ROOT/build/kel"
  "${GIT[@]}" -c tar.umask=0022 archive --format=tar "$COMMIT" | tar -x --no-same-permissions -C "$ROOT/build/kel"

  START=$SECONDS
  SELF=$(readlink -f "$0")
  if unshare --mount --pid --fork --propagation private true 2>/dev/null; then
    # --kill-child: once unshare is gone, everything in the namespace goes with it. unshare
    # ignores INT and TERM: it is stopped with KILL.
    KEL_I386_NAMESPACE=1 unshare --mount --pid --fork --propagation private --kill-child \
      bash "$SELF" --inside "$ROOT" &
    STOP=KILL
  else
    echo "i386-test: no namespace of its own here; the mounts are undone on exit" >&2
    bash "$SELF" --inside "$ROOT" &
    STOP=TERM # the run's own cleanup then ends what it started and unmounts
  fi
  RUN=$!
  trap 'kill -$STOP "$RUN" 2>/dev/null || true' INT TERM HUP
  rc=0
  wait "$RUN" || rc=$?
  # Above 128 either the run was killed or a signal here cut the wait short: then wait on.
  while [ "$rc" -gt 128 ] && kill -0 "$RUN" 2>/dev/null; do
    rc=0
    wait "$RUN" || rc=$?
  done
  trap - INT TERM HUP
  ELAPSED=$((SECONDS - START))
  if mounted "$ROOT"; then
    echo "i386-test: mounts are left on or below $ROOT" >&2
    [ "$rc" -ne 0 ] || rc=1
  fi
  printf 'i386-test: %s after %dm%02ds (exit %d)\n' "$([ "$rc" -eq 0 ] && echo PASSED || echo FAILED)" \
    $((ELAPSED / 60)) $((ELAPSED % 60)) "$rc"
  exit "$rc"
}

# Everything above is read before anything runs: the file may change under a long run.
if [ "${1:-}" = --inside ]; then inside "$2"; else outside "$@"; fi
exit
