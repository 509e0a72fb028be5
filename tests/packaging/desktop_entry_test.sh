#!/usr/bin/env bash
# The desktop entry passes desktop-file-validate and starts the installed
# window program with its icon from the Office menu, named in German.
set -euo pipefail
entry="$1"
fail() { echo "FEHLER: $*" >&2; exit 1; }

out="$(desktop-file-validate "$entry" 2>&1)" || fail "desktop-file-validate: $out"
# Hints are not failures for the tool, but a clean entry has none.
[ -z "$out" ] || fail "desktop-file-validate meldet: $out"

# The value of an untranslated key in the [Desktop Entry] group.
key() { sed -n '/^\[Desktop Entry\]/,/^\[/{s/^'"$1"'=//p}' "$entry"; }

[ "$(basename "$entry")" = postello.desktop ] || fail "Dateiname $(basename "$entry")"
[ "$(key Type)" = Application ] || fail "Type=$(key Type)"
[ "$(key Name)" = Postello ] || fail "Name=$(key Name)"
[ "$(key Exec)" = postello ] || fail "Exec=$(key Exec)"
[ "$(key Icon)" = postello ] || fail "Icon=$(key Icon)"
[ "$(key Terminal)" = false ] || fail "Terminal=$(key Terminal)"
case ";$(key Categories)" in *";Office;"*) ;; *) fail "Categories ohne Office: $(key Categories)" ;; esac
# The untranslated texts are the German ones: a German word each, no English.
comment="$(key Comment)"
generic="$(key GenericName)"
case "$comment" in *Empfänger*) ;; *) fail "Comment nicht deutsch: $comment" ;; esac
case "$generic" in *Serienmail*) ;; *) fail "GenericName nicht deutsch: $generic" ;; esac
if grep -qiE '^(Comment|GenericName)=.*\b(send|recipients|mail merge)\b' "$entry"; then
  fail "englischer Text in einem unübersetzten Schlüssel"
fi
echo "desktop entry ok"
