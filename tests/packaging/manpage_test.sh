#!/usr/bin/env bash
# The manual page of postello-cli renders without warnings and names every
# command that `postello-cli --help` lists, each with every option its own
# --help lists, so a command added later cannot be missing from the page.
set -euo pipefail
cli="$1"
page="$2"
fail() { echo "FEHLER: $*" >&2; exit 1; }
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
export XDG_DATA_HOME="$tmp/data"

[ -s "$page" ] || fail "keine Handbuchseite $page"
warnings="$(man --warnings -l "$page" 2>&1 >/dev/null)" || fail "man -l: $warnings"
[ -z "$warnings" ] || fail "man meldet: $warnings"
MANWIDTH=120 man -l "$page" 2>/dev/null | col -bx >"$tmp/page.txt"
grep -q '^BEFEHLE' "$tmp/page.txt" || fail "kein Abschnitt BEFEHLE"

# The command names of the overview: the lines indented by two blanks
# after "Befehle:".
"$cli" --help >"$tmp/overview.txt"
mapfile -t commands < <(awk '/^Befehle:/ {f = 1; next} f && /^  [a-z]/ {print $1}' "$tmp/overview.txt")
[ "${#commands[@]}" -gt 0 ] || fail "postello-cli --help nennt keinen Befehl"
printf '%s\n' "${commands[@]}" | grep -qx send || fail "send fehlt in postello-cli --help"

# The rendered page lists the commands as sub-headings, indented by three
# blanks, in the section BEFEHLE and in no other order than the overview's.
awk '/^BEFEHLE/ {f = 1; next} /^[^ ]/ {f = 0} f && /^   [^ ]/ {print $1}' "$tmp/page.txt" >"$tmp/headings.txt"
printf '%s\n' "${commands[@]}" >"$tmp/commands.txt"
diff -u "$tmp/commands.txt" "$tmp/headings.txt" || fail "Befehle der Seite weichen von postello-cli --help ab"

for c in "${commands[@]}"; do
  # This command's part of the page: from its heading to the next one.
  awk -v c="$c" '/^   [^ ]/ {f = ($1 == c); next} /^[^ ]/ {f = 0} f' "$tmp/page.txt" >"$tmp/section.txt"
  "$cli" "$c" --help >"$tmp/help.txt"
  mapfile -t options < <(grep -oE '(^|[ [])--[a-z][a-z0-9-]*' "$tmp/help.txt" | sed 's/^[ [ ]*//' | sort -u)
  [ "${#options[@]}" -gt 0 ] || fail "$c --help nennt keine Option"
  # Each option heads an entry of its own (seven blanks in, as the usage
  # line, which also names it, is not enough).
  for o in "${options[@]}"; do
    grep -qE -- "^ {7}$o( |$)" "$tmp/section.txt" || fail "Option $o von $c fehlt auf der Seite"
  done
  # The usage line is there as the program prints it.
  usage="$(sed -n 's/^Aufruf: //p' "$tmp/help.txt" | head -n1)"
  [ -n "$usage" ] || fail "$c --help hat keine Aufrufzeile"
  grep -qF -- "$usage" "$tmp/section.txt" || fail "Aufrufzeile von $c fehlt: $usage"
done
echo "manual page ok: ${#commands[@]} Befehle"
