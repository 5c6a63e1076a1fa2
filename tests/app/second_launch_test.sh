#!/usr/bin/env bash
# A second launch hands its file to the first instance over the session bus and
# exits 0; the first extracts it and does not quit by itself. Runs on a session
# bus of its own (dbus-run-session), so that tests running at once never meet.
#   second_launch_test.sh CORVANA
set -euo pipefail
corvana=$1
source "$(dirname "$0")/byte_names.sh"
if [ -z "${CORVANA_OWN_BUS:-}" ]; then
  command -v dbus-run-session >/dev/null || { echo "SKIP: no dbus-run-session"; exit 77; }
  CORVANA_OWN_BUS=1 exec dbus-run-session -- "$0" "$@"
fi
export QT_QPA_PLATFORM=offscreen
work=$(mktemp -d)
first_pid=""
cleanup() {
  if [ -n "$first_pid" ]; then kill "$first_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
# Preferences in a scratch folder, never the user's own.
export XDG_CONFIG_HOME="$work/config"

mkdir "$work/src" && echo hello >"$work/src/a.txt"
(cd "$work" && zip -qr t.zip src)

owned() {
  dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
    org.freedesktop.DBus.NameHasOwner string:local.corvana.Corvana 2>/dev/null | grep -q "true"
}

"$corvana" >"$work/first.log" 2>&1 &
first_pid=$!
for _ in $(seq 100); do owned && break; sleep 0.1; done
owned || { echo "FAIL: the first instance never took the bus name"; cat "$work/first.log"; exit 1; }

# The second launch, with a relative path made absolute by the program itself.
status=0
(cd "$work" && timeout 20 "$corvana" t.zip) || status=$?
[ "$status" -eq 0 ] || { echo "FAIL: the second launch exited $status"; exit 1; }

for _ in $(seq 200); do [ -f "$work/t/src/a.txt" ] && break; sleep 0.1; done
[ -f "$work/t/src/a.txt" ] || { echo "FAIL: the first instance did not extract the file"; exit 1; }

# A name that is not UTF-8 keeps its bytes on the way over, and a sibling named
# after its lossy UTF-8 reading is left alone.
for name in $'caf\xe9' $'\xff\xfe'; do
  make_byte_name_archives "$work" "$name"
  status=0
  (cd "$work" && timeout 20 "$corvana" "$name.zip") || status=$?
  [ "$status" -eq 0 ] || { echo "FAIL: the hand-over of a byte name exited $status"; exit 1; }
  expect_byte_name_extracted "$work" "$name" "the hand-over"
  rm -rf "$work/$name" "$work/$name.zip" "$work/$byte_name_sibling.zip"
done

# Files that arrive after launch never end the application.
sleep 1
kill -0 "$first_pid" 2>/dev/null || { echo "FAIL: the first instance quit by itself"; exit 1; }

# A plain second launch only activates the first.
status=0
timeout 20 "$corvana" || status=$?
[ "$status" -eq 0 ] || { echo "FAIL: the activating launch exited $status"; exit 1; }
kill -0 "$first_pid" 2>/dev/null || { echo "FAIL: activation ended the first instance"; exit 1; }

# SIGTERM quits it cleanly.
kill -TERM "$first_pid"
status=0
wait "$first_pid" || status=$?
first_pid=""
[ "$status" -eq 0 ] || { echo "FAIL: SIGTERM gave status $status"; exit 1; }
echo "PASS"
