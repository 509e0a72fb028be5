#!/usr/bin/env bash
# Every include of a project header points down the layers:
#   ui, cli -> app -> send -> imap -> smtp, oauth -> mime, addressdb, editor, inbox -> core
# and keyring (the grant store in the system keyring) on top of oauth's
# grant store, for ui and cli alike,
# with one edge between siblings: editor -> mime (the HTML import asks the
# register of file types which files are pictures).
# A library that includes a folder above it (or beside it, where the
# layers do not allow it) is named with the offending line.
set -euo pipefail
src="$1"
declare -A allowed=(
  [core]="core"
  [mime]="core mime"
  [addressdb]="core addressdb"
  [editor]="core mime editor"
  [inbox]="core mime inbox"
  [smtp]="core mime addressdb editor smtp"
  [oauth]="core mime addressdb editor oauth"
  [imap]="core mime addressdb editor smtp oauth imap"
  [send]="core mime addressdb editor inbox smtp oauth imap send"
  [app]="core mime addressdb editor inbox smtp oauth imap send app"
  [keyring]="core mime addressdb editor oauth keyring"
  [cli]="core mime addressdb editor inbox smtp oauth imap send app keyring cli"
  [ui]="core mime addressdb editor inbox smtp oauth imap send app keyring ui"
)
bad=0
for dir in "${!allowed[@]}"; do
  [ -d "$src/$dir" ] || { echo "FEHLER: Ordner $dir fehlt" >&2; bad=1; continue; }
  while IFS= read -r line; do
    file="${line%%:*}"
    target="$(sed -n 's/.*#include "\([a-z]*\)\/.*/\1/p' <<<"$line")"
    [ -n "$target" ] || continue
    case " ${allowed[$dir]} " in
      *" $target "*) ;;
      *) echo "FEHLER: ${file#$src/} bindet $target/ ein: $line" >&2; bad=1 ;;
    esac
  done < <(grep -Hn '#include "[a-z]*/' "$src/$dir"/*.h "$src/$dir"/*.cpp 2>/dev/null || true)
done
[ "$bad" -eq 0 ] && echo "Schichten ok"
exit "$bad"
