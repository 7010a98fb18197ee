#!/usr/bin/env bash
# Fails when a translated text of the sources is missing from a template or catalogue,
# when a catalogue has untranslated or fuzzy messages, or when the compiled catalogues of
# the sample root are older than their sources.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/po-common.sh
status=0
tmp=$(mktemp -d); trap 'rm -rf "$tmp"' EXIT
for domain in libKELGUI libKELData; do
  pot_sources "$domain" > "$tmp/POTFILES.expected"
  if ! cmp -s "$tmp/POTFILES.expected" "po/$domain/POTFILES.in"; then
    echo "po/$domain/POTFILES.in is out of date:"; diff "po/$domain/POTFILES.in" "$tmp/POTFILES.expected" || true; status=1
  fi
  xgettext --from-code=UTF-8 --language=C++ --keyword= --keyword="$(pot_keyword "$domain")" \
    --sort-output --no-location --files-from="$tmp/POTFILES.expected" -o "$tmp/$domain.pot" 2>/dev/null || true
  want=$(msgcat --sort-output --no-location "$tmp/$domain.pot" 2>/dev/null | grep -E '^msg(id|ctxt|id_plural) ' | sort)
  have=$(msgcat --sort-output --no-location "po/$domain/$domain.pot" 2>/dev/null | grep -E '^msg(id|ctxt|id_plural) ' | sort)
  if [ "$want" != "$have" ]; then
    echo "po/$domain/$domain.pot is out of date (run scripts/update-po.sh):"
    diff <(echo "$have") <(echo "$want") || true
    status=1
  fi
  for lang in $(grep -v '^#' po/LINGUAS); do
    po="po/$domain/$lang.po"
    [ -f "$po" ] || { echo "$po is missing"; status=1; continue; }
    stats=$(LC_ALL=C msgfmt --check --statistics -o "$tmp/$lang.mo" "$po" 2>&1)
    echo "$domain/$lang: $stats"
    case "$stats" in *untranslated*|*fuzzy*) echo "$po is incomplete"; status=1 ;; esac
    if ! msgcmp "$po" "po/$domain/$domain.pot" >/dev/null 2>&1; then
      echo "$po lacks messages of the template"; status=1
    fi
    if ! cmp -s "$tmp/$lang.mo" "data/root/usr/share/locale/$lang/LC_MESSAGES/$domain.mo"; then
      echo "data/root/usr/share/locale/$lang/LC_MESSAGES/$domain.mo is stale (run scripts/update-po.sh)"; status=1
    fi
  done
done
exit $status
