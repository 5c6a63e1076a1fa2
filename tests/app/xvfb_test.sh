#!/usr/bin/env bash
# Corvana in a real X window, started the way a person starts it (scripts/run):
# with a small archive it extracts it and quits by itself; without files it
# shows a window named Corvana that quits on Ctrl+Q and takes a real drag. Screenshots of the real
# window go next to the offscreen ones.
#   xvfb_test.sh SOURCE_ROOT BUILD_DIR SCREENSHOT_DIR
set -euo pipefail
root=$1
build=$2
shots=$3
for tool in xvfb-run xdotool import; do
  command -v "$tool" >/dev/null || { echo "SKIP: no $tool"; exit 77; }
done
if [ -z "${CORVANA_IN_XVFB:-}" ]; then
  CORVANA_IN_XVFB=1 exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
fi
unset QT_QPA_PLATFORM WAYLAND_DISPLAY
# A bus that leads nowhere: this test hands nothing to any other Corvana.
export DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent/corvana-test-bus
export BUILD_DIR=$build
mkdir -p "$shots"
work=$(mktemp -d)
pid=""
cleanup() {
  if [ -n "$pid" ]; then kill -9 "$pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
# Preferences in a scratch folder, never the user's own.
export XDG_CONFIG_HOME="$work/config"

mkdir "$work/src" && echo hello >"$work/src/a.txt"
(cd "$work" && zip -qr t.zip src)

# Build first, so that the time bounds below measure the program, not the compiler.
cmake --build "$build" --target corvana corvana-test-drag-source >"$work/build.log" 2>&1 ||
  { echo "FAIL: corvana does not build"; tail -20 "$work/build.log"; exit 1; }

# 1. An archive: extracted, and the application quits by itself with status 0.
status=0
(cd "$work" && timeout 60 "$root/scripts/run" t.zip) || status=$?
[ "$status" -eq 0 ] || { echo "FAIL: scripts/run t.zip exited $status"; exit 1; }
[ -f "$work/t/src/a.txt" ] || { echo "FAIL: nothing was extracted"; exit 1; }

# 2. No files: a window named Corvana, which quits on Ctrl+Q.
"$root/scripts/run" >"$work/run.log" 2>&1 &
pid=$!
window=$(timeout 60 xdotool search --sync --onlyvisible --name '^Corvana$' | head -1) || true
[ -n "$window" ] || { echo "FAIL: no window named Corvana"; cat "$work/run.log"; exit 1; }
sleep 1
import -window "$window" "$shots/app-xvfb-main-window.png"
xdotool windowfocus --sync "$window"
xdotool key --clearmodifiers ctrl+q
status=0
for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$pid" 2>/dev/null; then echo "FAIL: Ctrl+Q did not quit"; exit 1; fi
wait "$pid" || status=$?
pid=""
[ "$status" -eq 0 ] || { echo "FAIL: quitting gave status $status"; exit 1; }

# 3. An archive whose job ends with a warning: the application stays open with
# its tile, and quits on Ctrl+Q.
echo "not an archive" >"$work/bad.zip"
"$root/scripts/run" "$work/bad.zip" >"$work/run.log" 2>&1 &
pid=$!
window=$(timeout 60 xdotool search --sync --onlyvisible --name '^Corvana$' | head -1) || true
[ -n "$window" ] || { echo "FAIL: no window for bad.zip"; cat "$work/run.log"; exit 1; }
sleep 3
kill -0 "$pid" 2>/dev/null || { echo "FAIL: a job with a warning ended the application"; exit 1; }
import -window "$window" "$shots/app-xvfb-failed-tile.png"
xdotool windowfocus --sync "$window"
xdotool key --clearmodifiers ctrl+q
for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$pid" 2>/dev/null; then echo "FAIL: Ctrl+Q did not quit after a failed job"; exit 1; fi
status=0
wait "$pid" || status=$?
pid=""
[ "$status" -eq 0 ] || { echo "FAIL: quitting after a failed job gave status $status"; exit 1; }

# 4. A real drag from another program onto the window: a name that is not
# UTF-8 keeps its bytes, and the sibling named after its lossy UTF-8 reading
# ("caf\uFFFD") is left alone.
name=$'caf\xe9'
sibling=$'caf\xef\xbf\xbd'
rm -rf "$work/src" && mkdir "$work/src" && echo right >"$work/src/right.txt"
(cd "$work" && zip -qr right.zip src && mv right.zip "$name.zip")
rm -rf "$work/src" && mkdir "$work/src" && echo wrong >"$work/src/wrong.txt"
(cd "$work" && zip -qr wrong.zip src && mv wrong.zip "$sibling.zip")
rm -rf "$work/src"
# Every byte but "/" percent-encoded.
encode() {
  local hex out=""
  for hex in $(printf '%s' "$1" | od -An -v -tx1); do
    if [ "$hex" = 2f ]; then out+=/; else out+="%${hex^^}"; fi
  done
  printf '%s' "$out"
}
printf 'file://%s\r\n' "$(encode "$work/$name.zip")" >"$work/drag.uris"
"$root/scripts/run" >"$work/run.log" 2>&1 &
pid=$!
window=$(timeout 60 xdotool search --sync --onlyvisible --name '^Corvana$' | head -1) || true
[ -n "$window" ] || { echo "FAIL: no window for the drop"; cat "$work/run.log"; exit 1; }
"$build/tests/app/corvana-test-drag-source" "$work/drag.uris" >"$work/drag.out" &
source_pid=$!
timeout 60 xdotool search --sync --onlyvisible --name '^corvana-test-drag-source$' >/dev/null ||
  { echo "FAIL: no drag source window"; exit 1; }
sleep 1
eval "$(xdotool getwindowgeometry --shell "$window")"
to_x=$((X + WIDTH / 2))
to_y=$((Y + HEIGHT / 2))
xdotool mousemove 60 60
sleep 0.3
xdotool mousedown 1
for step in $(seq 1 10); do
  xdotool mousemove $((60 + (to_x - 60) * step / 10)) $((60 + (to_y - 60) * step / 10))
  sleep 0.1
done
sleep 0.5
xdotool mouseup 1
for _ in $(seq 100); do [ -s "$work/drag.out" ] && break; sleep 0.1; done
[ "$(cat "$work/drag.out")" = accepted ] ||
  { echo "FAIL: the window did not accept the drop: $(cat "$work/drag.out")"; exit 1; }
# The source stays until the window has fetched the dropped data.
for _ in $(seq 200); do [ -f "$work/$name/src/right.txt" ] && break; sleep 0.1; done
kill "$source_pid" 2>/dev/null || true
wait "$source_pid" 2>/dev/null || true
[ -f "$work/$name/src/right.txt" ] || { echo "FAIL: the dropped archive was not extracted"; exit 1; }
[ ! -e "$work/$sibling" ] || { echo "FAIL: the sibling archive was extracted"; exit 1; }
xdotool windowfocus --sync "$window"
xdotool key --clearmodifiers ctrl+q
for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$pid" 2>/dev/null; then echo "FAIL: Ctrl+Q did not quit after the drop"; exit 1; fi
status=0
wait "$pid" || status=$?
pid=""
[ "$status" -eq 0 ] || { echo "FAIL: quitting after the drop gave status $status"; exit 1; }

# 5. No display at all: one clear line and status 1.
status=0
out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$root/scripts/run" 2>&1) || status=$?
[ "$status" -eq 1 ] || { echo "FAIL: without a display scripts/run exited $status"; exit 1; }
[ "$(printf '%s\n' "$out" | wc -l)" -eq 1 ] || { echo "FAIL: more than one line: $out"; exit 1; }
echo "PASS"
