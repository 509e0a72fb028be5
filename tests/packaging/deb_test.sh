#!/usr/bin/env bash
# CPack builds the Debian package; lintian finds no error in it (its
# warnings are listed); unpacked into a clean root, its
# programs run from the installed paths: postello-cli answers --help and
# the window program starts on the offscreen platform and stays up. Both
# keep their state in the user's data folder, never beside the programs.
set -euo pipefail
build="$1"
version="$2"
fail() { echo "FEHLER: $*" >&2; exit 1; }
tmp="$(mktemp -d)"
pid=""
cleanup() {
  if [ -n "$pid" ]; then kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; fi
  chmod -R u+w "$tmp" 2>/dev/null || true
  rm -rf "$tmp"
}
trap cleanup EXIT

cpack --config "$build/CPackConfig.cmake" -G DEB -B "$tmp/out" >"$tmp/cpack.log" 2>&1 \
  || { cat "$tmp/cpack.log" >&2; fail "cpack -G DEB"; }
debs=("$tmp"/out/postello_*.deb)
[ "${#debs[@]}" -eq 1 ] && [ -f "${debs[0]}" ] || fail "kein postello_*.deb in $tmp/out"
deb="${debs[0]}"

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = postello ] || fail "Package: $(field Package)"
[ "$(field Version)" = "$version" ] || fail "Version: $(field Version), erwartet $version"
[ "$(field Architecture)" = "$(dpkg --print-architecture)" ] || fail "Architecture: $(field Architecture)"
depends="$(field Depends)"
for d in libqt6widgets6 libqt6gui6 libqt6core6 libssl3 libcurl4 libc6 qt6-qpa-plugins ca-certificates; do
  grep -qE "(^|, )$d( |,|$)" <<<"$depends" || fail "Depends ohne $d: $depends"
done
description="$(field Description)"
grep -q 'Serienmail' <<<"$description" || fail "keine deutsche Beschreibung: $description"
grep -q 'mail-merge' <<<"$description" || fail "keine englische Beschreibung: $description"

# Debian's package checker: errors fail the test, warnings are listed.
lintian_args=(--no-cfg)
[ "$(id -u)" -eq 0 ] && lintian_args+=(--allow-root)
rc=0
lintian "${lintian_args[@]}" "$deb" >"$tmp/lintian.txt" 2>&1 || rc=$?
# 1 and 2 say that tags were found; anything else is lintian failing to run.
[ "$rc" -le 2 ] || { cat "$tmp/lintian.txt" >&2; fail "lintian endete mit $rc"; }
if grep -q '^E: ' "$tmp/lintian.txt"; then cat "$tmp/lintian.txt" >&2; fail "lintian meldet Fehler"; fi
grep '^W: ' "$tmp/lintian.txt" || true

root="$tmp/root"
dpkg-deb -x "$deb" "$root"
for f in usr/bin/postello usr/bin/postello-cli usr/share/applications/postello.desktop \
         usr/share/doc/postello/copyright usr/share/doc/postello/changelog.gz \
         usr/share/man/man1/postello-cli.1.gz usr/share/icons/hicolor/48x48/apps/postello.png; do
  [ -f "$root/$f" ] || fail "$f fehlt im Paket"
done
# Stripped programs: no debugging sections in the package.
file -b "$root/usr/bin/postello" | grep -q ', stripped' || fail "postello nicht gestrippt"
for p in postello postello-cli; do
  if ldd "$root/usr/bin/$p" | grep -q 'not found'; then ldd "$root/usr/bin/$p" >&2; fail "$p: Bibliothek fehlt"; fi
done
# An installed program's folder belongs to root; a user cannot write it.
chmod -R a-w "$root/usr"
before="$(cd "$root" && find . | sort)"

export HOME="$tmp/home"
mkdir -p "$HOME"
unset XDG_DATA_HOME

"$root/usr/bin/postello-cli" --help >"$tmp/help.txt" 2>&1 || { cat "$tmp/help.txt" >&2; fail "postello-cli --help"; }
grep -q '^Befehle:' "$tmp/help.txt" || fail "postello-cli --help: $(cat "$tmp/help.txt")"
# A command that reads the state: it looks in ~/.local/share/Postello.
"$root/usr/bin/postello-cli" mails >"$tmp/mails.txt" 2>&1 || { cat "$tmp/mails.txt" >&2; fail "postello-cli mails"; }
[ -d "$HOME/.local/share/Postello" ] || fail "postello-cli legte ~/.local/share/Postello nicht an"

export XDG_DATA_HOME="$tmp/xdg"
QT_QPA_PLATFORM=offscreen "$root/usr/bin/postello" >"$tmp/window.log" 2>&1 &
pid=$!
for _ in $(seq 1 100); do
  [ -d "$XDG_DATA_HOME/Postello" ] && break
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.1
done
[ -d "$XDG_DATA_HOME/Postello" ] || { cat "$tmp/window.log" >&2; fail "postello legte \$XDG_DATA_HOME/Postello nicht an"; }
# Still up after a while: it got past start-up and waits for the user.
sleep 3
kill -0 "$pid" 2>/dev/null || { cat "$tmp/window.log" >&2; fail "postello endete von selbst"; }
kill "$pid"
wait "$pid" 2>/dev/null || true
pid=""

after="$(cd "$root" && find . | sort)"
[ "$before" = "$after" ] || fail "im installierten Baum entstanden Dateien: $(diff <(echo "$before") <(echo "$after"))"
echo "package ok: $(basename "$deb")"
