# Shared by update-po.sh and check-po.sh: which sources feed a template, and how it is extracted.
# Texts of libKELGUI are looked up with Tr() (TrCtx() for a text with a context), those of
# libkel with DataTr(). Helpers such as ShowMessage() or ShowStatus() translate nothing
# themselves, so their callers pass Tr("..."); find-untranslated.pl reports a bare literal.
pot_sources() {
  case "$1" in
    libKELGUI) grep -lE '\<Tr(Ctx|N)?\("' libKELGUI/*.cpp libKELGUI/*.h session/*.cpp host/teacher/*.cpp 2>/dev/null | grep -v '/KELGuiCommon' | LC_ALL=C sort ;;
    libKELData) grep -l 'DataTr("' libkel/src/*.cpp libkel/src/*.h 2>/dev/null | LC_ALL=C sort ;;
  esac
}
pot_keywords() {
  case "$1" in
    libKELGUI) echo --keyword=Tr --keyword=TrCtx:1c,2 --keyword=TrN:1,2 ;;
    libKELData) echo --keyword=DataTr ;;
  esac
}
# The sources whose texts are shown on screen, for find-untranslated.pl.
shown_sources() {
  ls libKELGUI/*.cpp libKELGUI/*.h libkel/src/*.cpp session/*.cpp host/teacher/*.cpp | LC_ALL=C sort
}
extract() { # domain file-list output
  local err status=0
  err=$(xgettext --from-code=UTF-8 --language=C++ --keyword= $(pot_keywords "$1") \
    --add-comments=Translators: --package-name="$1" --sort-output --no-location \
    --files-from="$2" -o "$3" 2>&1) || status=$?
  # We have no bug address to give; everything else xgettext says is worth seeing.
  printf '%s\n' "$err" | grep -v -e 'msgid-bugs-address' -e 'Makevars' -e 'MSGID_BUGS_ADDRESS' \
    -e 'specify an --msgid' -e '^$' >&2 || true
  return $status
}
# Regenerates po/<domain>/POTFILES.in and the template; a template that differs only in its
# creation date is left alone, so the catalogues and compiled files do not churn.
make_pot() { # domain
  local domain=$1 pot=po/$1/$1.pot
  pot_sources "$domain" > "po/$domain/POTFILES.in.tmp"
  if ! cmp -s "po/$domain/POTFILES.in.tmp" "po/$domain/POTFILES.in" 2>/dev/null; then
    mv "po/$domain/POTFILES.in.tmp" "po/$domain/POTFILES.in"
  else
    rm -f "po/$domain/POTFILES.in.tmp"
  fi
  extract "$domain" "po/$domain/POTFILES.in" "$pot.tmp"
  if [ -f "$pot" ] && cmp -s <(grep -v '^"POT-Creation-Date' "$pot.tmp") <(grep -v '^"POT-Creation-Date' "$pot"); then
    rm -f "$pot.tmp"
  else
    mv "$pot.tmp" "$pot"
  fi
}
# The polkit actions' texts, picked by gettext's rules for polkit files.
polkit_pot() { # output
  xgettext --its=/usr/share/gettext/its/polkit.its --package-name=kel-polkit --no-location \
    --sort-output -o "$1" data/org.kelproject.policy.in 2>&1 | grep -v -e 'msgid-bugs-address' -e '^$' >&2 || true
  sed -i 's/charset=CHARSET/charset=UTF-8/' "$1"
}
