#!/usr/bin/env bash
# `cmake --install` puts exactly the files of an installation into the
# prefix: the two programs, the manual pages, the copyright file and the
# changelog, the desktop entry, the icon
# in every hicolor size, the AppStream metadata; and AppStream finds the
# desktop entry and the icon the metadata names in that tree.
set -euo pipefail
build="$1"
fail() { echo "FEHLER: $*" >&2; exit 1; }
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
prefix="$tmp/usr"

cmake --install "$build" --prefix "$prefix" >"$tmp/install.log" 2>&1 || { cat "$tmp/install.log" >&2; fail "cmake --install"; }

sizes=(16 24 32 48 64 128 256)
expected=(
  bin/postello
  bin/postello-cli
  share/applications/postello.desktop
  share/doc/postello/changelog.gz
  share/doc/postello/copyright
  share/icons/hicolor/scalable/apps/postello.svg
  share/man/man1/postello-cli.1.gz
  share/man/man1/postello.1.gz
  share/metainfo/de.postello.Postello.metainfo.xml
)
for s in "${sizes[@]}"; do expected+=("share/icons/hicolor/${s}x${s}/apps/postello.png"); done
(cd "$prefix" && find . -type f | sed 's|^\./||' | sort) >"$tmp/found.txt"
printf '%s\n' "${expected[@]}" | sort >"$tmp/expected.txt"
diff -u "$tmp/expected.txt" "$tmp/found.txt" || fail "installierte Dateien weichen ab"

for p in postello postello-cli; do
  [ -x "$prefix/bin/$p" ] || fail "$p nicht ausführbar"
  file -b "$prefix/bin/$p" | grep -q '^ELF' || fail "$p ist kein Programm"
done

# Each PNG is a picture of its folder's size.
for s in "${sizes[@]}"; do
  png="$prefix/share/icons/hicolor/${s}x${s}/apps/postello.png"
  info="$(file -b "$png")"
  case "$info" in "PNG image data, $s x $s,"*) ;; *) fail "$png: $info" ;; esac
done
file -b "$prefix/share/icons/hicolor/scalable/apps/postello.svg" | grep -q 'SVG' || fail "postello.svg ist kein SVG"

# The manual pages unpack and render without warnings, each under its name.
for p in postello postello-cli; do
  page="$prefix/share/man/man1/$p.1.gz"
  warnings="$(man --warnings -l "$page" 2>&1 >/dev/null)" || fail "man -l $page: $warnings"
  [ -z "$warnings" ] || fail "man meldet zu $p.1.gz: $warnings"
  # Rendered into a file first: a reader that stops early would let the
  # pipeline fail on a broken pipe under pipefail.
  man -l "$page" 2>/dev/null | col -bx >"$tmp/$p.txt"
  name="$(sed -n '/^NAME/{n;p;q}' "$tmp/$p.txt" | awk '{print $1}')"
  [ "$name" = "$p" ] || fail "$p.1.gz beschreibt \"$name\""
done

desktop-file-validate "$prefix/share/applications/postello.desktop" || fail "desktop-file-validate"
appstreamcli validate --no-net "$prefix/share/metainfo/de.postello.Postello.metainfo.xml" >"$tmp/as.txt" 2>&1 \
  || { cat "$tmp/as.txt" >&2; fail "appstreamcli validate"; }
# validate-tree follows the launchable to the desktop entry and the stock
# icon into the hicolor theme of the same tree.
appstreamcli validate-tree --no-net "$tmp" >"$tmp/tree.txt" 2>&1 || { cat "$tmp/tree.txt" >&2; fail "appstreamcli validate-tree"; }
if grep -qE '^[WE]: ' "$tmp/tree.txt"; then cat "$tmp/tree.txt" >&2; fail "appstreamcli validate-tree warnt"; fi
echo "install tree ok"
