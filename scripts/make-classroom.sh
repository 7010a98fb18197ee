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
#   make-classroom upgrade DIR              a folder made before the teachers had a port of
#                                           their own: that port added (restart the broker, copy
#                                           the teachers' folders again; notebooks keep theirs)
#
# DIR/                      the broker's: mosquitto.conf, passwd (notebooks), passwd-teachers,
#                           acl, ca.crt, broker.crt/key
# DIR/machines/NAME/        classroom.conf + ca.crt of each machine (the teacher's console too)
# DIR-ca/ca.key             the CA's key (CA_DIR): keep it offline; only renew needs it
# Copy a machine's folder into its /etc/KEL/ (mode 0600, owned by who runs the program).
# add, remove and renew leave the CA and every other machine alone; a running broker reloads.
# The broker listens on PORT for the notebooks, whose client ids it ties to their logins, and on
# TEACHER_PORT (default PORT+1) for the teachers' programs, which need ids of their own.
# Names (machines and teachers) are unique on a broker; "kel-..." names are the programs' own.
# Environment: TEACHER (the teacher's machine name, default teacher), TEACHER_PORT,
# BROKER_ALIASES (more names and addresses of the broker host for its certificate), BIND (listen
# address), BROKER_USER (who the broker runs as, default mosquitto when run as root),
# ANSWER_TIMEOUT, CONNECT_TIMEOUT (seconds), CA_DIR, DAYS (of the broker's certificate, default
# 1825).
set -euo pipefail
usage() { sed -n '2,28p' "$0" >&2; exit 2; }
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
    # A notebook's client id is its name: none may be a teacher program's id ("kel-teacher-...").
    [[ $name =~ $word ]] && [[ $name != kel-* ]] || die "unusable name: $name"
    if cat "$DIR/passwd" "$DIR/passwd-teachers" 2>/dev/null | cut -d: -f1 | grep -qxF -- "$name"; then
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
  teacher=$(awk '$1 == "teacher" { print $2 }' "$DIR/classes/$1")
  if [ "$teacher" = "$2" ]; then
    mosquitto_passwd -b "$DIR/passwd-teachers" "$2" "$password"
  else
    mosquitto_passwd -b "$DIR/passwd" "$2" "$password"
  fi
  mkdir -p "$DIR/machines/$2"
  cp "$DIR/ca.crt" "$DIR/machines/$2/ca.crt"
  {
    if [ "$teacher" = "$2" ]; then
      echo "[classroom]"; echo "host=$HOST"; echo "port=$TEACHER_PORT"; echo "class=$1"; echo "ca=ca.crt"
      [ -z "${ANSWER_TIMEOUT:-}" ] || echo "answer-timeout=$ANSWER_TIMEOUT"
      [ -z "${CONNECT_TIMEOUT:-}" ] || echo "connect-timeout=$CONNECT_TIMEOUT"
    else
      grep -vE '^(user|password)=' "$DIR/machines/$teacher/classroom.conf" | sed "s/^port=.*/port=$PORT/"
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
  local host=${BIND:-localhost}
  case $host in 0.0.0.0 | ::) host=localhost ;; esac
  mosquitto_pub -h "$host" -p "$PORT" --cafile "$DIR/ca.crt" -q 1 -r -u "$ADMIN" \
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

# The port of the Nth listener: the notebooks' first, the teachers' second.
listener_port() { awk -v n="$1" '$1 == "listener" && ++seen == n { print $2 }' "$DIR/mosquitto.conf"; }

open_dir() { # an existing broker folder
  [ -f "$1/mosquitto.conf" ] && [ -d "$1/classes" ] || die "$1 is not a broker folder made by make-classroom"
  DIR=$(cd "$1" && pwd)
  CA_DIR=${CA_DIR:-$DIR-ca}
  BROKER_USER=$(awk '$1 == "user" { print $2 }' "$DIR/mosquitto.conf")
  BIND=$(awk '$1 == "listener" { print $3; exit }' "$DIR/mosquitto.conf")
  PORT=$(listener_port 1)
  TEACHER_PORT=$(listener_port 2)
  [ -n "$TEACHER_PORT" ] || [ "${2:-}" = old ] ||
    die "$DIR was made before the teachers had a port of their own: make-classroom upgrade $DIR"
}

broker_conf() {
  sed -e "s|@DIR@|$DIR|g" -e "s|@PORT@|$PORT|g" -e "s|@TEACHER_PORT@|$TEACHER_PORT|g" -e "s|@BIND@|${BIND:-}|g" \
    -e "s|@USER@|$BROKER_USER|g" "$SRC/mosquitto.conf.in" > "$DIR/mosquitto.conf.new"
  mv "$DIR/mosquitto.conf.new" "$DIR/mosquitto.conf"
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
  upgrade)
    [ $# -eq 2 ] || usage
    wanted=${TEACHER_PORT:-}
    open_dir "$2" old
    [ -z "$TEACHER_PORT" ] || { echo "$DIR has a teachers' port already ($TEACHER_PORT)"; exit 0; }
    TEACHER_PORT=${wanted:-$((PORT + 1))}
    [[ $TEACHER_PORT =~ ^[0-9]+$ ]] && [ "$TEACHER_PORT" != "$PORT" ] && [ "$TEACHER_PORT" -le 65535 ] ||
      die "unusable teachers' port: $TEACHER_PORT"
    # The teachers' logins (their password hashes as they are) move to a file of their own, the
    # broker's settings last: a run that stopped half way can run again and loses no login.
    teachers=$(awk '$1 == "teacher" { printf "%s ", $2 }' "$DIR"/classes/*)
    { cat "$DIR/passwd-teachers" 2>/dev/null || true
      awk -F: -v t=" $teachers" 'index(t, " " $1 " ")' "$DIR/passwd"; } > "$DIR/passwd-teachers.new"
    awk -F: -v t=" $teachers" '!index(t, " " $1 " ")' "$DIR/passwd" > "$DIR/passwd.new"
    for name in $teachers; do
      [ ! -f "$DIR/machines/$name/classroom.conf" ] ||
        sed -i "s/^port=.*/port=$TEACHER_PORT/" "$DIR/machines/$name/classroom.conf"
    done
    mv "$DIR/passwd-teachers.new" "$DIR/passwd-teachers"
    mv "$DIR/passwd.new" "$DIR/passwd"
    cp "$DIR/mosquitto.conf" "$DIR/mosquitto.conf.before-upgrade"
    broker_conf; own
    echo "the teachers now connect to port $TEACHER_PORT; restart the broker, open that port to the"
    echo "teachers' machines and copy each teacher's folder again (${teachers% }); notebooks keep theirs"
    ;;
  *)
    [ $# -ge 5 ] || usage
    DIR=$1 CLASS=$2 HOST=$3 PORT=$4
    shift 4
    TEACHER=${TEACHER:-teacher}
    asked=${TEACHER_PORT:-}
    TEACHER_PORT=${TEACHER_PORT:-$((PORT + 1))}
    [[ $CLASS =~ $word ]] || die "unusable class name: $CLASS"
    [[ $PORT =~ ^[0-9]+$ ]] && [[ $TEACHER_PORT =~ ^[0-9]+$ ]] && [ "$PORT" != "$TEACHER_PORT" ] &&
      [ "$PORT" -le 65535 ] && [ "$TEACHER_PORT" -le 65535 ] || die "unusable ports: $PORT, $TEACHER_PORT (teachers)"
    mkdir -p "$DIR"
    DIR=$(cd "$DIR" && pwd)
    CA_DIR=${CA_DIR:-$DIR-ca}
    if [ -f "$DIR/mosquitto.conf" ]; then
      # One more class on this broker: its CA, certificate and listener stay.
      want=$PORT
      open_dir "$DIR"
      [ ! -f "$DIR/classes/$CLASS" ] || die "class $CLASS is already in $DIR"
      [ "$want" = "$PORT" ] && [ "${asked:-$TEACHER_PORT}" = "$TEACHER_PORT" ] ||
        die "the broker of $DIR listens on ports $PORT and $TEACHER_PORT (teachers), not $want and ${asked:-$want+1}"
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
      broker_conf
      : > "$DIR/passwd"
      : > "$DIR/passwd-teachers"
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
