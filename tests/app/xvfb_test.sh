#!/usr/bin/env bash
# Corvana in a real X window, started the way a person starts it (scripts/run):
# with a small archive it extracts it and quits by itself; without files it
# shows a window named Corvana that quits on Ctrl+Q. Screenshots of the real
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
cmake --build "$build" --target corvana >"$work/build.log" 2>&1 ||
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

# 4. No display at all: one clear line and status 1.
status=0
out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$root/scripts/run" 2>&1) || status=$?
[ "$status" -eq 1 ] || { echo "FAIL: without a display scripts/run exited $status"; exit 1; }
[ "$(printf '%s\n' "$out" | wc -l)" -eq 1 ] || { echo "FAIL: more than one line: $out"; exit 1; }
echo "PASS"
