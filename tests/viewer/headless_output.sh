#!/usr/bin/env bash
# The headless main job on a machine without a display: no DISPLAY, no
# QT_QPA_PLATFORM.  viewer --output writes a picture of the requested size
# (checked with ImageMagick, as a user's tools would read it) and exits 0;
# a missing scene or an unknown type exits 1 with a message; the usage text
# and a window-less start do not abort for want of a display.
set -u
viewer=$1
scene=$2
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
unset DISPLAY QT_QPA_PLATFORM WAYLAND_DISPLAY
fail=0
check() { if ! "$@"; then echo "FAILED: $*"; fail=1; fi; }

"$viewer" --output "$out/a.png" --size 64x48 "$scene" > "$out/log" 2>&1
check test $? -eq 0
check test "$(identify -format '%m %w %h' "$out/a.png" 2>/dev/null)" = "PNG 64 48"
# Not a flat picture: the scene was drawn.
check test "$(identify -format '%k' "$out/a.png" 2>/dev/null)" -gt 50

"$viewer" --output "$out/b.ppm" --size=40x30 "$scene" > "$out/log" 2>&1
check test $? -eq 0
check test "$(identify -format '%m %w %h' "$out/b.ppm" 2>/dev/null)" = "PPM 40 30"

# A VRML world of the scene's viewport.
"$viewer" --output "$out/w.wrl" "$scene" > "$out/log" 2>&1
check test $? -eq 0
check test "$(head -c 15 "$out/w.wrl")" = "#VRML V2.0 utf8"
check grep -q "IndexedFaceSet" "$out/w.wrl"

"$viewer" --output "$out/c.png" "$out/missing.kvf" > "$out/log" 2>&1
check test $? -eq 1
check grep -q "cannot read the scene" "$out/log"
"$viewer" --output "$out/d.xyz" "$scene" > "$out/log" 2>&1
check test $? -eq 1
check test ! -e "$out/d.xyz"

# The usage text: exit 1, not an abort inside Qt (134).
"$viewer" -h > "$out/log" 2>&1
check test $? -eq 1
check grep -q "Usage" "$out/log"
exit $fail
