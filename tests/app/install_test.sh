#!/usr/bin/env bash
# `cmake --install` into a scratch prefix refreshes the prefix's desktop
# database and icon cache with the tools found on PATH; a staged install
# (DESTDIR) and a system without the tools run none. The tools are stand-ins
# that record how they were called.
#   install_test.sh CMAKE BUILD_DIR
set -euo pipefail
cmake=$1
build=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

mkdir "$work/bin" "$work/empty"
for tool in update-desktop-database gtk-update-icon-cache; do
  printf '#!/bin/sh\necho "%s $*" >>"%s/calls"\n' "$tool" "$work" >"$work/bin/$tool"
  chmod +x "$work/bin/$tool"
done

fail() { echo "FAIL: $*"; [ -f "$work/calls" ] && cat "$work/calls"; exit 1; }

# Installed to its own prefix: both tools run on that prefix.
PATH="$work/bin:$PATH" "$cmake" --install "$build" --prefix "$work/prefix" >/dev/null
[ -f "$work/prefix/share/applications/local.corvana.Corvana.desktop" ] ||
  fail "the desktop entry was not installed"
grep -qx "update-desktop-database -q $work/prefix/share/applications" "$work/calls" ||
  fail "the desktop database of the prefix was not updated"
grep -qx "gtk-update-icon-cache -q -t -f $work/prefix/share/icons/hicolor" "$work/calls" ||
  fail "the icon cache of the prefix was not updated"

# Staged for a package: the files land under DESTDIR and no tool runs.
rm -f "$work/calls"
DESTDIR="$work/stage" PATH="$work/bin:$PATH" "$cmake" --install "$build" --prefix /usr >/dev/null
[ -f "$work/stage/usr/share/applications/local.corvana.Corvana.desktop" ] ||
  fail "the staged install is missing the desktop entry"
[ ! -f "$work/calls" ] || fail "a tool ran for a staged install"
grep -qx 'Exec="/usr/bin/corvana" %F' "$work/stage/usr/share/applications/"*.desktop ||
  fail "the staged entry does not name /usr/bin/corvana"

# Without the tools the install still succeeds.
PATH="$work/empty" "$cmake" --install "$build" --prefix "$work/bare" >/dev/null ||
  fail "the install failed without the tools"
[ -f "$work/bare/share/applications/local.corvana.Corvana.desktop" ] ||
  fail "the install without the tools is missing the desktop entry"
[ ! -e "$work/bare/share/applications/mimeinfo.cache" ] || fail "a tool ran that is not on PATH"

# Installed off PATH, as ~/.local/bin is before the next login: GIO, with only
# itself and the real database tool on PATH, still lists the entry.
if gio=$(command -v gio); then
  mkdir "$work/gio" && ln -s "$gio" $(command -v update-desktop-database) "$work/gio/"
  home="$work/home prefix"
  session() {
    env -i HOME="$work" XDG_DATA_HOME="$home/share" XDG_DATA_DIRS="$work/empty" PATH="$work/gio" "$@"
  }
  session "$cmake" --install "$build" --prefix "$home" >/dev/null
  session gio mime application/zip | grep -qw local.corvana.Corvana.desktop ||
    fail "GIO does not list the entry installed to a prefix off PATH"
else
  echo "SKIP: gio is not installed, so no check of what GIO lists"
fi
echo "PASS"
