#!/usr/bin/env bash
# Makes and changes the classrooms of one broker: its CA and certificate (openssl), a password
# for every machine (mosquitto_passwd), the ACL (from data/broker/acl.in), the broker's settings
# and each machine's client settings.
#
#   make-classroom DIR CLASS BROKER_HOST PORT NOTEBOOK...   a class (DIR new, or one more class
#                                                           on DIR's broker: same CA and port)
#   make-classroom add DIR NOTEBOOK...      more notebooks (CLASS=NAME when DIR has several classes)
#   make-classroom remove DIR NOTEBOOK...   notebooks that may no longer connect
#   make-classroom renew DIR                a new broker certificate from the CA's key
#
# DIR/                      the broker's: mosquitto.conf, passwd, acl, ca.crt, broker.crt/key
# DIR/machines/NAME/        classroom.conf + ca.crt of each machine (the teacher's console too)
# DIR-ca/ca.key             the CA's key (CA_DIR): keep it offline; only renew needs it
# Copy a machine's folder into its /etc/KEL/ (mode 0600, owned by who runs the program).
# add, remove and renew leave the CA and every other machine alone; a running broker reloads.
# Names (machines and teachers) are unique on a broker. Environment: TEACHER (the teacher's
# machine name, default teacher), BROKER_ALIASES (more names and addresses of the broker host
# for its certificate), BIND (listen address), BROKER_USER (who the broker runs as, default
# mosquitto when run as root), ANSWER_TIMEOUT, CONNECT_TIMEOUT (seconds), CA_DIR, DAYS (of
# the broker's certificate, default 1825).
set -euo pipefail
usage() { sed -n '2,21p' "$0" >&2; exit 2; }
die() { echo "make-classroom: $*" >&2; exit 1; }
# openssl's chatter only when it fails.
quiet() { local out; out=$("$@" 2>&1) || die "$1 failed: $out"; }
SRC=${KEL_BROKER_TEMPLATES:-$(cd "$(dirname "$(readlink -f "$0")")/.." && pwd)/data/broker}
[ -f "$SRC/acl.in" ] || SRC=/usr/share/kel-broker
word='^[A-Za-z0-9][A-Za-z0-9._-]*$'
umask 077
ADMIN=kel-admin

check_names() {
  for name in "$@"; do
    [[ $name =~ $word ]] && [ "$name" != "$ADMIN" ] || die "unusable name: $name"
    if [ -f "$DIR/passwd" ] && cut -d: -f1 "$DIR/passwd" | grep -qxF -- "$name"; then
      die "$name is already a machine of this broker"
    fi
  done
  [ "$(printf '%s\n' "$@" | sort | uniq -d)" = "" ] || die "a name is given twice"
}

# The broker's files belong to the user it runs as, readable by nobody else.
own() {
  chown -R "$BROKER_USER:" "$DIR" && chown -R root: "$DIR/machines" 2>/dev/null || true
  chmod 0700 "$DIR" "$DIR/machines"
}

# The ACL: the template's head once, its teacher section per class, its student section per notebook.
section() { awk -v want="$1" '/^#\[/ { cur = $0; next } cur == want && !/^(#|$)/' "$SRC/acl.in"; }
write_acl() {
  {
    awk '/^#\[/ { exit } { print }' "$SRC/acl.in"
    if [ -f "$DIR/machines/.admin" ]; then echo; section "#[admin]" | sed "s|@ADMIN@|$ADMIN|g"; fi
    for file in "$DIR"/classes/*; do
      [ -f "$file" ] || continue
      class=$(basename "$file")
      while read -r kind name; do
        echo
        section "#[$kind]" | sed -e "s|@CLASS@|$class|g" -e "s|@TEACHER@|$name|g" -e "s|@STUDENT@|$name|g"
      done < "$file"
    done
  } > "$DIR/acl.new"
  mv "$DIR/acl.new" "$DIR/acl"
}

# A machine's password and settings; its class and broker come from its teacher's settings.
add_machine() { # class name
  local password teacher
  password=$(openssl rand -hex 16)
  mosquitto_passwd -b "$DIR/passwd" "$2" "$password"
  mkdir -p "$DIR/machines/$2"
  cp "$DIR/ca.crt" "$DIR/machines/$2/ca.crt"
  teacher=$(awk '$1 == "teacher" { print $2 }' "$DIR/classes/$1")
  {
    if [ "$teacher" = "$2" ]; then
      echo "[classroom]"; echo "host=$HOST"; echo "port=$PORT"; echo "class=$1"; echo "ca=ca.crt"
      [ -z "${ANSWER_TIMEOUT:-}" ] || echo "answer-timeout=$ANSWER_TIMEOUT"
      [ -z "${CONNECT_TIMEOUT:-}" ] || echo "connect-timeout=$CONNECT_TIMEOUT"
    else
      grep -vE '^(user|password)=' "$DIR/machines/$teacher/classroom.conf"
    fi
    echo "user=$2"
    echo "password=$password"
  } > "$DIR/machines/$2/classroom.conf"
}

# A running broker rereads its password file and ACL on SIGHUP and drops who lost its right.
reload() {
  local pid
  pid=$(cat "$DIR/mosquitto.pid" 2>/dev/null || true)
  if [ -n "$pid" ] && [ "$(cat "/proc/$pid/comm" 2>/dev/null)" = mosquitto ]; then
    kill -HUP "$pid" && echo "the broker (pid $pid) reloaded its passwords and ACL"
  else
    echo "no broker running from $DIR: it reads the changes when it starts"
    return 1
  fi
}

# What the notebook's last will would say, retained, so that no teacher keeps it online.
say_offline() { # class name
  local port host=${BIND:-localhost}
  port=$(awk '$1 == "listener" { print $2 }' "$DIR/mosquitto.conf")
  [ -n "$host" ] || host=localhost
  mosquitto_pub -h "$host" -p "$port" --cafile "$DIR/ca.crt" -q 1 -r -u "$ADMIN" \
    -P "$(cat "$DIR/machines/.admin")" -t "kel/$1/presence/$2" -m offline ||
    echo "make-classroom: could not mark $2 offline for its teacher" >&2
}

broker_cert() {
  local san="" name
  for name in $(cat "$DIR/broker.names"); do
    if [[ $name =~ ^[0-9.]+$ || $name == *:* ]]; then san+=",IP:$name"; else san+=",DNS:$name"; fi
  done
  printf 'subjectAltName=%s\nextendedKeyUsage=serverAuth\n' "${san#,}" > "$DIR/broker.ext"
  quiet openssl req -newkey rsa:2048 -nodes -subj "/CN=$(head -n1 "$DIR/broker.names")" \
    -keyout "$DIR/broker.key.new" -out "$DIR/broker.csr"
  quiet openssl x509 -req -in "$DIR/broker.csr" -CA "$DIR/ca.crt" -CAkey "$CA_DIR/ca.key" \
    -CAcreateserial -CAserial "$CA_DIR/ca.srl" -days "${DAYS:-1825}" -out "$DIR/broker.crt.new" \
    -extfile "$DIR/broker.ext"
  mv "$DIR/broker.key.new" "$DIR/broker.key"
  mv "$DIR/broker.crt.new" "$DIR/broker.crt"
  rm -f "$DIR/broker.csr" "$DIR/broker.ext"
}

open_dir() { # an existing broker folder
  [ -f "$1/mosquitto.conf" ] && [ -d "$1/classes" ] || die "$1 is not a broker folder made by make-classroom"
  DIR=$(cd "$1" && pwd)
  CA_DIR=${CA_DIR:-$DIR-ca}
  BROKER_USER=$(awk '$1 == "user" { print $2 }' "$DIR/mosquitto.conf")
}

class_of() { grep -lE "^(teacher|student) $1\$" "$DIR"/classes/* 2>/dev/null | head -n1 | xargs -r basename; }

cmd=${1:-}
case "$cmd" in
  add)
    [ $# -ge 3 ] || usage
    open_dir "$2"; shift 2
    classes=$(ls "$DIR/classes")
    CLASS=${CLASS:-}
    if [ -z "$CLASS" ]; then
      [ "$(echo "$classes" | wc -l)" = 1 ] || die "$DIR has several classes: name one with CLASS="
      CLASS=$classes
    fi
    [ -f "$DIR/classes/$CLASS" ] || die "no class $CLASS in $DIR"
    check_names "$@"
    for name in "$@"; do
      echo "student $name" >> "$DIR/classes/$CLASS"
      add_machine "$CLASS" "$name"
    done
    write_acl; own; reload || true
    echo "added to class $CLASS: $*; copy DIR/machines/NAME to each notebook's /etc/KEL"
    ;;
  remove)
    [ $# -ge 3 ] || usage
    open_dir "$2"; shift 2
    gone=()
    for name in "$@"; do
      [[ $name =~ $word ]] || die "unusable name: $name"
      class=$(class_of "$name")
      [ -n "$class" ] || die "$name is no machine of $DIR"
      grep -qxF "teacher $name" "$DIR/classes/$class" && die "$name is the teacher of class $class"
      grep -vxF "student $name" "$DIR/classes/$class" > "$DIR/classes/$class.new" || true
      mv "$DIR/classes/$class.new" "$DIR/classes/$class"
      mosquitto_passwd -D "$DIR/passwd" "$name"
      rm -rf "${DIR:?}/machines/$name"
      gone+=("$class $name")
    done
    write_acl; own
    if reload && [ -f "$DIR/machines/.admin" ]; then
      for entry in "${gone[@]}"; do say_offline $entry; done
    fi
    echo "removed: $*"
    ;;
  renew)
    [ $# -eq 2 ] || usage
    open_dir "$2"
    [ -f "$CA_DIR/ca.key" ] || die "the CA's key is not in $CA_DIR (CA_DIR=where you keep it)"
    broker_cert; own
    echo "a new broker certificate; restart the broker (its certificate is not reloaded)"
    ;;
  *)
    [ $# -ge 5 ] || usage
    DIR=$1 CLASS=$2 HOST=$3 PORT=$4
    shift 4
    TEACHER=${TEACHER:-teacher}
    [[ $CLASS =~ $word ]] || die "unusable class name: $CLASS"
    [[ $PORT =~ ^[0-9]+$ ]] || die "unusable port: $PORT"
    mkdir -p "$DIR"
    DIR=$(cd "$DIR" && pwd)
    CA_DIR=${CA_DIR:-$DIR-ca}
    if [ -f "$DIR/mosquitto.conf" ]; then
      # One more class on this broker: its CA, certificate and listener stay.
      open_dir "$DIR"
      [ ! -f "$DIR/classes/$CLASS" ] || die "class $CLASS is already in $DIR"
      have=$(awk '$1 == "listener" { print $2 }' "$DIR/mosquitto.conf")
      [ "$have" = "$PORT" ] || die "the broker of $DIR listens on port $have, not $PORT"
      grep -qxF "$HOST" "$DIR/broker.names" || die "the broker's certificate does not name $HOST"
      check_names "$TEACHER" "$@"
    else
      check_names "$TEACHER" "$@"
      if [ -z "${BROKER_USER:-}" ]; then
        BROKER_USER=$(id -un)
        [ "$(id -u)" != 0 ] || ! getent passwd mosquitto >/dev/null || BROKER_USER=mosquitto
      fi
      mkdir -p "$CA_DIR" "$DIR/machines" "$DIR/classes"
      chmod 0700 "$CA_DIR"
      quiet openssl req -x509 -newkey rsa:2048 -nodes -days 3650 -subj "/CN=KEL classroom CA ($HOST)" \
        -keyout "$CA_DIR/ca.key" -out "$DIR/ca.crt"
      cp "$DIR/ca.crt" "$CA_DIR/ca.crt"
      printf '%s\n' "$HOST" ${BROKER_ALIASES:-} localhost 127.0.0.1 | awk '!seen[$0]++' > "$DIR/broker.names"
      broker_cert
      sed -e "s|@DIR@|$DIR|g" -e "s|@PORT@|$PORT|g" -e "s|@BIND@|${BIND:-}|g" \
        -e "s|@USER@|$BROKER_USER|g" "$SRC/mosquitto.conf.in" > "$DIR/mosquitto.conf"
      : > "$DIR/passwd"
      openssl rand -hex 16 > "$DIR/machines/.admin"
      mosquitto_passwd -b "$DIR/passwd" "$ADMIN" "$(cat "$DIR/machines/.admin")"
    fi
    for name in "$TEACHER" "$@"; do
      [ "$name" = "$TEACHER" ] && kind=teacher || kind=student
      echo "$kind $name"
    done > "$DIR/classes/$CLASS"
    for name in "$TEACHER" "$@"; do add_machine "$CLASS" "$name"; done
    write_acl; own
    # The broker, dropping root, must still reach its folder.
    if [ "$(id -u)" = 0 ] && [ "$BROKER_USER" != root ] && ! runuser -u "$BROKER_USER" -- test -r "$DIR/acl"; then
      die "$BROKER_USER cannot reach $DIR: choose a folder it can enter, or BROKER_USER="
    fi
    reload || true
    echo "class $CLASS made in $DIR (broker: mosquitto -c $DIR/mosquitto.conf, as $BROKER_USER)"
    ;;
esac
