#!/usr/bin/env bash
# Corvana in a real X window, started the way a person starts it (scripts/run):
# with a small archive it extracts it and quits by itself; without files it
# shows a window named Corvana that takes a real drag and quits on Ctrl+Q.
# Screenshots of the real window go next to the offscreen ones.
#   xvfb_test.sh SOURCE_ROOT BUILD_DIR SCREENSHOT_DIR
set -euo pipefail
root=$1
build=$2
shots=$3
source "$(dirname "$0")/byte_names.sh"
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

# Presses Ctrl+Q in the window and expects the program to end with status 0.
#   quit_by_ctrl_q WHEN
quit_by_ctrl_q() {
  xdotool windowfocus --sync "$window"
  xdotool key --clearmodifiers ctrl+q
  for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  if kill -0 "$pid" 2>/dev/null; then echo "FAIL: Ctrl+Q did not quit $1"; exit 1; fi
  local status=0
  wait "$pid" || status=$?
  pid=""
  [ "$status" -eq 0 ] || { echo "FAIL: quitting $1 gave status $status"; exit 1; }
}

# 1. An archive: extracted, and the application quits by itself with status 0.
status=0
(cd "$work" && timeout 60 "$root/scripts/run" t.zip) || status=$?
[ "$status" -eq 0 ] || { echo "FAIL: scripts/run t.zip exited $status"; exit 1; }
[ -f "$work/t/src/a.txt" ] || { echo "FAIL: nothing was extracted"; exit 1; }

# 2. No files: a window named Corvana. A real drag from another program onto
# it: a name that is not UTF-8 keeps its bytes, and the sibling named after its
# lossy UTF-8 reading ("caf\uFFFD") is left alone. Then it quits on Ctrl+Q.
name=$'caf\xe9'
make_byte_name_archives "$work" "$name"
printf '%s\r\n' "$(file_uri "$work/$name.zip")" >"$work/drag.uris"
"$root/scripts/run" >"$work/run.log" 2>&1 &
pid=$!
window=$(timeout 60 xdotool search --sync --onlyvisible --name '^Corvana$' | head -1) || true
[ -n "$window" ] || { echo "FAIL: no window named Corvana"; cat "$work/run.log"; exit 1; }
sleep 1
import -window "$window" "$shots/app-xvfb-main-window.png"
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
expect_byte_name_extracted "$work" "$name" "the drop"
kill "$source_pid" 2>/dev/null || true
wait "$source_pid" 2>/dev/null || true
quit_by_ctrl_q "after the drop"

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
quit_by_ctrl_q "after a failed job"

# 4. No display at all: one clear line and status 1.
status=0
out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$root/scripts/run" 2>&1) || status=$?
[ "$status" -eq 1 ] || { echo "FAIL: without a display scripts/run exited $status"; exit 1; }
[ "$(printf '%s\n' "$out" | wc -l)" -eq 1 ] || { echo "FAIL: more than one line: $out"; exit 1; }
echo "PASS"
