#!/usr/bin/env bash
# Installs the build into a scratch folder and checks what a host program sees there: each
# installed header compiles on its own (so none names a header left out),
# and a host that opens the Shell Settings window builds and links against the installed
# libraries through pkg-config. Usage: check-headers.sh BUILD_DIR
set -euo pipefail
build=$1
tmp=$(mktemp -d); trap 'rm -rf "$tmp"' EXIT
DESTDIR="$tmp" cmake --install "$build" >/dev/null
prefix=$(sed -n 's/^prefix=//p' "$build/libKELGUI.pc")
libdir=$(sed -n 's/^libdir=\${prefix}//p' "$build/libKELGUI.pc")
# The installed descriptions point at the scratch folder, as they would at the real prefix.
sed -i "s|^prefix=.*|prefix=$tmp$prefix|" "$tmp$prefix$libdir"/pkgconfig/lib*.pc
export PKG_CONFIG_PATH="$tmp$prefix$libdir/pkgconfig"
cflags=$(pkg-config --cflags libKELGUI)
status=0
for header in "$tmp$prefix"/include/libKELGUI/*.h "$tmp$prefix"/include/libkel/*.h; do
  if ! echo "#include \"$(basename "$header")\"" | g++ -std=c++17 -fsyntax-only $cflags -x c++ - 2>"$tmp/err"; then
    echo "installed header $(basename "$header") does not compile alone:"; cat "$tmp/err"; status=1
  fi
done
cat > "$tmp/host.cpp" <<'HOST'
#include "CShellSettingForAdminTool.h"
int main() { LibKELGUI::CShellSettingForAdminTool window; return window.IsDataDirty() ? 1 : 0; }
HOST
if ! g++ -std=c++17 $cflags "$tmp/host.cpp" -o "$tmp/host" $(pkg-config --libs libKELGUI) 2>"$tmp/err"; then
  echo "a host does not build against the installed libraries:"; cat "$tmp/err"; status=1
fi
exit $status
