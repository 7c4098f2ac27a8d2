#!/usr/bin/env bash
# viewer --print on a machine without a display: FILE.pdf gets one page of
# the scene (read back with poppler, as a user's tools would read it) and the
# exit status 0; a missing scene, a PDF that cannot be written and the print
# dialog without a display exit 1 with a message and write nothing.
set -u
viewer=$1
scene=$2
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
unset DISPLAY QT_QPA_PLATFORM WAYLAND_DISPLAY
fail=0
check() { if ! "$@"; then echo "FAILED: $*"; fail=1; fi; }

"$viewer" --print "$out/a.pdf" "$scene" >"$out/log" 2>&1
check test $? -eq 0
check grep -q "printed to $out/a.pdf" "$out/log"
check test "$(pdfinfo "$out/a.pdf" 2>/dev/null | sed -n 's/^Pages: *//p')" = 1
check test "$(pdfinfo "$out/a.pdf" 2>/dev/null | sed -n 's/^Title: *//p')" = "KRV Print Job"
# Not a blank page: the scene was drawn.
pdftoppm -r 30 -png -singlefile "$out/a.pdf" "$out/a" 2>/dev/null
check test "$(identify -format '%k' "$out/a.png" 2>/dev/null)" -gt 50

"$viewer" --print "$out/b.pdf" "$out/missing.kvf" >"$out/log" 2>&1
check test $? -eq 1
check grep -q "cannot read the scene" "$out/log"
check test ! -e "$out/b.pdf"

"$viewer" --print "$out/no/such/dir/c.pdf" "$scene" >"$out/log" 2>&1
check test $? -eq 1
check grep -q "nothing printed" "$out/log"

"$viewer" --print "$scene" >"$out/log" 2>&1
check test $? -eq 1
check grep -q "needs a display" "$out/log"
[ "$fail" -ne 0 ] && cat "$out/log"
exit $fail
