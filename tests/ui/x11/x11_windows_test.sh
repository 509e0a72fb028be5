#!/usr/bin/env bash
# Starts a private X server (Xvfb) and checks the window titles as the
# window manager sees them: first the real program's main window, then every
# window through ui_X11WindowsTest on the xcb platform.
#   x11_windows_test.sh path/to/postello path/to/ui_X11WindowsTest
set -euo pipefail
program="$1"
windows_test="$2"
fail() { echo "FEHLER: $*" >&2; exit 1; }
for tool in Xvfb xprop xwininfo; do
  command -v "$tool" >/dev/null || fail "$tool fehlt (Pakete xvfb und x11-utils)"
done

tmp="$(mktemp -d)"
xvfb_pid=""
app_pid=""
cleanup() {
  [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$tmp"
}
trap cleanup EXIT

# Xvfb picks a free display and writes its number, once it is ready.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$tmp/display" >"$tmp/xvfb.log" 2>&1 &
xvfb_pid=$!
display=""
for _ in $(seq 1 100); do
  display="$(tr -dc '0-9' <"$tmp/display")"
  [ -n "$display" ] && break
  kill -0 "$xvfb_pid" 2>/dev/null || break
  sleep 0.2
done
[ -n "$display" ] || fail "Xvfb startet nicht: $(cat "$tmp/xvfb.log")"
export DISPLAY=":$display"
export QT_QPA_PLATFORM=xcb
export HOME="$tmp/home" XDG_DATA_HOME="$tmp/data" XDG_CONFIG_HOME="$tmp/config" XDG_RUNTIME_DIR="$tmp/run"
mkdir -p "$HOME" "$XDG_DATA_HOME" "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"

# The program as it is started from the menu: its main window's title.
"$program" >"$tmp/app.log" 2>&1 &
app_pid=$!
main_window=""
for _ in $(seq 1 100); do
  main_window="$(xwininfo -root -tree | awk '/"Omvex Postello 1.2"/ {print $1; exit}')"
  [ -n "$main_window" ] && break
  kill -0 "$app_pid" 2>/dev/null || fail "postello endete: $(cat "$tmp/app.log")"
  sleep 0.2
done
[ -n "$main_window" ] || fail "kein Fenster \"Omvex Postello 1.2\"; Fenster: $(xwininfo -root -tree | grep '"' || true)"
name="$(xprop -id "$main_window" _NET_WM_NAME)"
[ "$name" = '_NET_WM_NAME(UTF8_STRING) = "Omvex Postello 1.2"' ] || fail "Titel des Hauptfensters: $name"
# No window of the program carries the application's name as a suffix.
# (Qt's hidden 1x1 group leader window is named after the application; it
# is never shown.)
suffixed="$(xwininfo -root -tree | grep -v ' 1x1+' | grep -v '"Omvex Postello [0-9.]*"' |
  grep -E '^ +0x[0-9a-f]+ "[^"]*Postello [0-9.]+"' || true)"
[ -z "$suffixed" ] || fail "ein Fenstertitel endet auf den Programmnamen: $suffixed"
kill "$app_pid"
wait "$app_pid" 2>/dev/null || true
app_pid=""

# Every window, shown by the test program on this server.
"$windows_test" || fail "ui_X11WindowsTest"
echo "window titles ok"
