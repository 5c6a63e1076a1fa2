# Sourced by the end-to-end tests: an archive whose name is not UTF-8 beside a
# sibling named after its lossy UTF-8 reading ("caf\uFFFD"), and the check that
# the right one was extracted.
byte_name_sibling=$'caf\xef\xbf\xbd'

# Makes DIR/NAME.zip holding src/right.txt and DIR/caf\uFFFD.zip holding src/wrong.txt.
#   make_byte_name_archives DIR NAME
make_byte_name_archives() {
  local dir=$1 name=$2 kind
  for kind in right wrong; do
    rm -rf "$dir/src" && mkdir "$dir/src" && echo "$kind" >"$dir/src/$kind.txt"
    (cd "$dir" && zip -qr "$kind.zip" src)
  done
  rm -rf "$dir/src"
  mv "$dir/right.zip" "$dir/$name.zip"
  mv "$dir/wrong.zip" "$dir/$byte_name_sibling.zip"
}

# Waits for DIR/NAME.zip's extraction; fails when it does not come or when the
# sibling was extracted instead.
#   expect_byte_name_extracted DIR NAME WHAT
expect_byte_name_extracted() {
  local dir=$1 name=$2
  for _ in $(seq 200); do [ -f "$dir/$name/src/right.txt" ] && break; sleep 0.1; done
  [ ! -e "$dir/$byte_name_sibling" ] || { echo "FAIL: $3: the sibling archive was extracted"; exit 1; }
  [ -f "$dir/$name/src/right.txt" ] || { echo "FAIL: $3: the archive was not extracted"; exit 1; }
}

# A file URI of PATH with every byte but "/" percent-encoded.
file_uri() {
  local hex out=""
  for hex in $(printf '%s' "$1" | od -An -v -tx1); do
    if [ "$hex" = 2f ]; then out+=/; else out+="%${hex^^}"; fi
  done
  printf 'file://%s' "$out"
}
