#!/usr/bin/env bash
# The AppStream metadata passes appstreamcli's validation without network,
# launches the installed desktop entry, and its newest release is the
# version being built.
set -euo pipefail
metainfo="$1"
version="$2"
fail() { echo "FEHLER: $*" >&2; exit 1; }

out="$(appstreamcli validate --no-net --explain "$metainfo" 2>&1)" || fail "appstreamcli validate: $out"
# Warnings and infos do not fail the tool; a clean file has neither.
if grep -qE '^[WIE]: ' <<<"$out"; then fail "appstreamcli validate meldet: $out"; fi

id="$(sed -n 's|.*<id>\(.*\)</id>.*|\1|p' "$metainfo")"
[ "$(basename "$metainfo")" = "$id.metainfo.xml" ] || fail "Dateiname passt nicht zur ID $id"
launchable="$(sed -n 's|.*<launchable type="desktop-id">\(.*\)</launchable>.*|\1|p' "$metainfo")"
[ "$launchable" = postello.desktop ] || fail "launchable: $launchable"
[ "$(sed -n 's|.*<icon type="stock">\(.*\)</icon>.*|\1|p' "$metainfo")" = postello ] || fail "icon"
grep -q '<content_rating type="oars-1.1"' "$metainfo" || fail "content_rating fehlt"
# Both languages in name-bearing texts.
grep -q '<summary xml:lang="de">' "$metainfo" || fail "deutsche Zusammenfassung fehlt"
grep -q '<p xml:lang="de">' "$metainfo" || fail "deutsche Beschreibung fehlt"
newest="$(grep -o '<release version="[^"]*"' "$metainfo" | head -n1 | cut -d'"' -f2)"
[ "$newest" = "$version" ] || fail "neueste Version in den Metadaten $newest, gebaut wird $version"
echo "appstream ok"
