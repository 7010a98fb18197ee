#!/usr/bin/env bash
# Fails when a text shown on screen bypasses the lookup, when a translated text of the sources
# is missing from a template or catalogue, when a catalogue has untranslated or fuzzy messages
# or fails msgfmt's checks, when POTFILES.in is not the sorted list of the translated sources, or
# when the compiled catalogues of the sample root hold other messages than the catalogues.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/po-common.sh
status=0
tmp=$(mktemp -d); trap 'rm -rf "$tmp"' EXIT
# The finder must still tell a bare literal from a looked-up one, or it would pass anything.
printf 'void f() {\n  ShowMessage("Saved", 0);\n  gtk_widget_set_tooltip_text(w, Tr("Tip"));\n}\n' > "$tmp/sample.cpp"
found=$(perl scripts/find-untranslated.pl "$tmp/sample.cpp" || true)
if [ "$found" != "$tmp/sample.cpp:2: ShowMessage shows \"Saved\" without a lookup" ]; then
  echo "find-untranslated.pl no longer finds bare literals correctly:"; echo "$found"; status=1
fi
if ! perl scripts/find-untranslated.pl $(shown_sources); then
  echo "texts above reach the screen untranslated: wrap them in Tr()"; status=1
fi
for domain in libKELGUI libKELData; do
  pot_sources "$domain" > "$tmp/POTFILES.expected"
  if ! cmp -s "$tmp/POTFILES.expected" "po/$domain/POTFILES.in"; then
    echo "po/$domain/POTFILES.in is out of date (run scripts/update-po.sh):"
    diff "po/$domain/POTFILES.in" "$tmp/POTFILES.expected" || true; status=1
  fi
  if ! extract "$domain" "$tmp/POTFILES.expected" "$tmp/$domain.pot"; then
    echo "xgettext failed on the sources of $domain"; status=1
  fi
  want=$(msgcat --sort-output --no-location "$tmp/$domain.pot" 2>/dev/null | grep -E '^msg(id|ctxt|id_plural) ' | sort)
  have=$(msgcat --sort-output --no-location "po/$domain/$domain.pot" 2>/dev/null | grep -E '^msg(id|ctxt|id_plural) ' | sort)
  if [ -z "$want" ] || [ "$want" != "$have" ]; then
    echo "po/$domain/$domain.pot is out of date (run scripts/update-po.sh):"
    diff <(echo "$have") <(echo "$want") || true
    status=1
  fi
  for lang in $(grep -v '^#' po/LINGUAS); do
    po="po/$domain/$lang.po"
    [ -f "$po" ] || { echo "$po is missing"; status=1; continue; }
    if ! stats=$(LC_ALL=C msgfmt --check --statistics -o "$tmp/$lang.mo" "$po" 2>&1); then
      echo "$stats"; echo "$po fails msgfmt --check"; status=1; continue
    fi
    echo "$domain/$lang: $stats"
    case "$stats" in *untranslated*|*fuzzy*) echo "$po is incomplete"; status=1 ;; esac
    # Every message of the template must be in the catalogue, and no obsolete one beside it.
    if ! msgcmp "$po" "$tmp/$domain.pot" >"$tmp/msgcmp" 2>&1; then
      cat "$tmp/msgcmp"; echo "$po lacks messages of the sources"; status=1
    fi
    if grep -q '^#~' "$po"; then
      echo "$po keeps obsolete messages (run scripts/update-po.sh and drop the #~ entries)"; status=1
    fi
    # The sample root's compiled copy must hold the catalogue's messages; its bytes may differ
    # with the gettext version that compiled it, so the messages are compared, not the files.
    shipped=data/root/usr/share/locale/$lang/LC_MESSAGES/$domain.mo
    if ! diff -q <(msgunfmt "$tmp/$lang.mo" 2>&1) <(msgunfmt "$shipped" 2>&1) >/dev/null; then
      echo "$shipped is stale (run scripts/update-po.sh):"
      diff <(msgunfmt "$shipped" 2>&1) <(msgunfmt "$tmp/$lang.mo" 2>&1) | head -20 || true; status=1
    fi
  done
done
polkit_pot "$tmp/kel-polkit.pot"
for lang in $(grep -v '^#' po/LINGUAS); do
  po=po/polkit/$lang.po
  stats=$(LC_ALL=C msgfmt --check --statistics -o /dev/null "$po" 2>&1) || { echo "$stats"; status=1; }
  echo "polkit/$lang: $stats"
  case "$stats" in *untranslated*|*fuzzy*) echo "$po is incomplete"; status=1 ;; esac
  msgcmp "$po" "$tmp/kel-polkit.pot" >/dev/null 2>&1 || { echo "$po lacks the polkit actions' texts (run scripts/update-po.sh)"; status=1; }
done
exit $status
