#!/usr/bin/env bash
# Regenerates the templates from the sources, merges them into every catalogue, and
# compiles the catalogues into the sample root (so the demo runs translated).
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/po-common.sh
for domain in libKELGUI libKELData; do
  mkdir -p "po/$domain"
  make_pot "$domain"
  for lang in $(grep -v '^#' po/LINGUAS); do
    po="po/$domain/$lang.po"
    if [ -f "$po" ]; then
      msgmerge --quiet --update --backup=none --no-fuzzy-matching "$po" "po/$domain/$domain.pot"
      # Texts gone from the sources leave nothing behind.
      if grep -q '^#~' "$po"; then msgattrib --no-obsolete -o "$po" "$po"; fi
    else
      msginit --no-translator --locale="$lang.UTF-8" -i "po/$domain/$domain.pot" -o "$po"
    fi
    mkdir -p "data/root/usr/share/locale/$lang/LC_MESSAGES"
    msgfmt --check -o "data/root/usr/share/locale/$lang/LC_MESSAGES/$domain.mo" "$po"
  done
done
polkit_pot po/polkit/kel-polkit.pot
for lang in $(grep -v '^#' po/LINGUAS); do
  if [ -f "po/polkit/$lang.po" ]; then
    msgmerge --quiet --update --backup=none --no-fuzzy-matching "po/polkit/$lang.po" po/polkit/kel-polkit.pot
  else
    msginit --no-translator --locale="$lang.UTF-8" -i po/polkit/kel-polkit.pot -o "po/polkit/$lang.po"
  fi
done
# Texts that bypass the lookup never reach a template; say so now rather than in the check.
perl scripts/find-untranslated.pl $(shown_sources) || true
