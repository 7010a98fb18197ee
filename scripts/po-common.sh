# Shared by update-po.sh and check-po.sh: how a template is extracted from the sources.
# Texts of libKELGUI are looked up with Tr(), those of libkel with DataTr().
pot_sources() {
  case "$1" in
    libKELGUI) grep -l 'Tr("' libKELGUI/*.cpp libKELGUI/*.h 2>/dev/null | grep -v '/KELGuiCommon' | sort ;;
    libKELData) grep -l 'DataTr("' libkel/src/*.cpp libkel/src/*.h 2>/dev/null | sort ;;
  esac
}
pot_keyword() {
  case "$1" in
    libKELGUI) echo Tr ;;
    libKELData) echo DataTr ;;
  esac
}
make_pot() { # domain output
  local domain=$1 out=$2
  pot_sources "$domain" > "po/$domain/POTFILES.in.tmp"
  if ! cmp -s "po/$domain/POTFILES.in.tmp" "po/$domain/POTFILES.in" 2>/dev/null; then
    mv "po/$domain/POTFILES.in.tmp" "po/$domain/POTFILES.in"
  else
    rm -f "po/$domain/POTFILES.in.tmp"
  fi
  xgettext --from-code=UTF-8 --language=C++ --keyword= --keyword="$(pot_keyword "$domain")" \
    --add-comments=Translators: --package-name="$domain" --msgid-bugs-address= \
    --sort-output --no-location --files-from="po/$domain/POTFILES.in" -o "$out"
}
