#!/usr/bin/env bash
# Installs the Debian packages needed to build, test and run the project (idempotent).
set -euo pipefail
PKGS=(
  build-essential cmake pkg-config
  libgtk2.0-dev libxml2-dev libglib2.0-dev
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  xvfb xauth x11-utils imagemagick xdotool
  gettext
  clang llvm libclang-rt-14-dev
  fonts-dejavu-core locales
  shared-mime-info hicolor-icon-theme librsvg2-common
  dbus-daemon libglib2.0-bin libpolkit-gobject-1-dev polkitd python3-dbusmock kmod
  libdbus-1-dev systemd
  mosquitto mosquitto-clients libmosquitto-dev libssl-dev openssl python3
  tzdata
)
missing=()
for p in "${PKGS[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
# German and a decimal-comma locale for the translation and storage tests.
if ! locale -a 2>/dev/null | grep -qi '^de_DE.utf8$'; then
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  if [ -f /etc/locale.gen ]; then
    $SUDO sed -i 's/^# *de_DE.UTF-8 UTF-8/de_DE.UTF-8 UTF-8/' /etc/locale.gen
    grep -q '^de_DE.UTF-8 UTF-8' /etc/locale.gen || echo 'de_DE.UTF-8 UTF-8' | $SUDO tee -a /etc/locale.gen >/dev/null
    $SUDO locale-gen >/dev/null 2>&1 || true
  fi
fi
