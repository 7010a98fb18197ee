#!/usr/bin/env bash
# Makes a classroom: its CA and the broker's certificate (openssl), a password for the teacher
# and every student machine (mosquitto_passwd), the ACL, the broker configuration, and each
# machine's client settings.
#
#   scripts/make-classroom.sh DIR CLASS BROKER_HOST PORT STUDENT...
#
# DIR/                       the broker's side: mosquitto.conf, passwd, acl, ca.crt, broker.*
# DIR/machines/teacher/      classroom.conf + ca.crt for the teacher's console
# DIR/machines/STUDENT/      classroom.conf + ca.crt for each student machine
# Copy a machine's folder into its /etc/KEL/ (mode 0600, owned by who runs the program).
# Environment: BIND (listen address, default all), BROKER_USER (the broker drops root for
# it, default the current user), ANSWER_TIMEOUT, CONNECT_TIMEOUT (seconds).
set -euo pipefail
if [ $# -lt 5 ]; then
  sed -n '2,15p' "$0" >&2
  exit 2
fi
DIR=$1 CLASS=$2 HOST=$3 PORT=$4
shift 4
SRC=$(cd "$(dirname "$0")/.." && pwd)
word='^[A-Za-z0-9._-]+$'
for name in "$CLASS" "$@"; do
  [[ $name =~ $word ]] || { echo "make-classroom: unusable name: $name" >&2; exit 2; }
done
for name in "$@"; do
  [ "$name" != teacher ] || { echo "make-classroom: 'teacher' is the teacher's name" >&2; exit 2; }
done
umask 077
mkdir -p "$DIR/machines"
DIR=$(cd "$DIR" && pwd)

# The classroom's own CA; the broker's certificate names the host the machines connect to.
openssl req -x509 -newkey rsa:2048 -nodes -days 3650 -subj "/CN=KEL classroom $CLASS CA" \
  -keyout "$DIR/ca.key" -out "$DIR/ca.crt" 2>/dev/null
san="DNS:$HOST,DNS:localhost,IP:127.0.0.1"
[[ $HOST =~ ^[0-9.]+$ ]] && san="IP:$HOST,DNS:localhost,IP:127.0.0.1"
openssl req -newkey rsa:2048 -nodes -subj "/CN=$HOST" \
  -keyout "$DIR/broker.key" -out "$DIR/broker.csr" 2>/dev/null
openssl x509 -req -in "$DIR/broker.csr" -CA "$DIR/ca.crt" -CAkey "$DIR/ca.key" -CAcreateserial \
  -days 3650 -extfile <(printf 'subjectAltName=%s\nextendedKeyUsage=serverAuth\n' "$san") \
  -out "$DIR/broker.crt" 2>/dev/null
rm -f "$DIR/broker.csr"

sub() { sed -e "s|@DIR@|$DIR|g" -e "s|@PORT@|$PORT|g" -e "s|@BIND@|${BIND:-}|g" \
            -e "s|@CLASS@|$CLASS|g" -e "s|@USER@|${BROKER_USER:-$(id -un)}|g" "$1"; }
sub "$SRC/data/broker/mosquitto.conf.in" > "$DIR/mosquitto.conf"
sub "$SRC/data/broker/acl.in" > "$DIR/acl"
# A student writes only its own presence and answers, and reads what goes to the whole class:
# it can neither speak for another student nor send requests or policies.
for student in "$@"; do
  printf '\nuser %s\ntopic write kel/%s/presence/%s\ntopic write kel/%s/answer/%s/+\n' \
    "$student" "$CLASS" "$student" "$CLASS" "$student"
  printf 'topic read kel/%s/request/+\ntopic read kel/%s/policy/+\n' "$CLASS" "$CLASS"
done >> "$DIR/acl"

: > "$DIR/passwd"
for machine in teacher "$@"; do
  password=$(openssl rand -hex 16)
  mosquitto_passwd -b "$DIR/passwd" "$machine" "$password"
  mkdir -p "$DIR/machines/$machine"
  cp "$DIR/ca.crt" "$DIR/machines/$machine/ca.crt"
  {
    echo "[classroom]"
    echo "host=$HOST"
    echo "port=$PORT"
    echo "class=$CLASS"
    echo "ca=ca.crt"
    echo "user=$machine"
    echo "password=$password"
    [ -z "${ANSWER_TIMEOUT:-}" ] || echo "answer-timeout=$ANSWER_TIMEOUT"
    [ -z "${CONNECT_TIMEOUT:-}" ] || echo "connect-timeout=$CONNECT_TIMEOUT"
  } > "$DIR/machines/$machine/classroom.conf"
done
echo "classroom $CLASS made in $DIR (broker: mosquitto -c $DIR/mosquitto.conf)"
