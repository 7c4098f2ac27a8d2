#!/usr/bin/env bash
# PostScript and EPS from the headless main job on a machine without a
# display: viewer --output FILE.eps|FILE.ps writes a page that Ghostscript
# runs without error and renders as a picture (not a blank page), and exits
# 0; a file that cannot be written exits 1 and leaves nothing behind.
set -u
viewer=$1
scene=$2
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
unset DISPLAY QT_QPA_PLATFORM WAYLAND_DISPLAY
fail=0
check() { if ! "$@"; then echo "FAILED: $*"; fail=1; fi; }
gsrun() { gs -q -dSAFER -dBATCH -dNOPAUSE "$@" > "$out/gs.log" 2>&1; }

for f in page.eps page.ps; do
  "$viewer" --output "$out/$f" "$scene" > "$out/log" 2>&1
  check test $? -eq 0
  check grep -q "wrote $out/$f" "$out/log"
  check gsrun -sDEVICE=nullpage "$out/$f"
done
check test "$(head -c 23 "$out/page.eps")" = "%!PS-Adobe-3.0 EPSF-3.0"
check test "$(head -c 14 "$out/page.ps")" = "%!PS-Adobe-3.0"
check gsrun -sDEVICE=png16m -r50 -dEPSCrop -sOutputFile="$out/page.png" "$out/page.eps"
# The scene was drawn: many colours, and the drawing fills the box.
check test "$(identify -format '%k' "$out/page.png" 2>/dev/null)" -gt 50
check test "$(identify -format '%w %h' "$out/page.png" 2>/dev/null)" = "375 500"

"$viewer" --output "$out/missing/dir/x.eps" "$scene" > "$out/log" 2>&1
check test $? -eq 1
check test ! -e "$out/missing"
exit $fail
