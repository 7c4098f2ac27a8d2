#!/usr/bin/env bash
# One print job through a real CUPS queue.  Starts a private cupsd of its own
# (configuration, spool, cache and logs in a temporary directory; it listens
# on a local socket in that directory only and never reads or writes the
# machine's CUPS configuration), adds a PDF printer queue (cups-pdf), lets
# the test program print a page to it through QPrinter, and has it check the
# PDF the queue produced.
#   cups_print_test.sh <test_output program>
# Exit 77 (skipped) where cupsd or the PDF printer cannot be used.
set -uo pipefail
program=${1:?usage: cups_print_test.sh <test_output program>}

skip() {
    echo "SKIPPED: $*"
    exit 77
}

for tool in cupsd lpadmin lpstat pdftoppm pdfinfo; do
    command -v "$tool" >/dev/null || skip "$tool not installed (packages cups, poppler-utils)"
done
backend=/usr/lib/cups/backend/cups-pdf
ppd=/usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd
[ -e "$backend" ] && [ -e "$ppd" ] || skip "no cups-pdf backend (package printer-driver-cups-pdf)"
# The backend is executable by root only, and cupsd runs such backends only
# when it runs as root itself.
[ "$(id -u)" -eq 0 ] || skip "the cups-pdf backend needs a cupsd started as root"

tmp=$(mktemp -d /tmp/kv-cups.XXXXXX) || skip "no temporary directory"
chmod 755 "$tmp"  # filters run as the spool user and must reach the spool
mkdir -p "$tmp/etc" "$tmp/spool/tmp" "$tmp/cache" "$tmp/state" "$tmp/log"
cupsd_pid=
out_dir=
out_dir_existed=1
cleanup() {
    if [ -n "$cupsd_pid" ]; then
        kill "$cupsd_pid" 2>/dev/null
        wait "$cupsd_pid" 2>/dev/null
    fi
    [ "$out_dir_existed" -eq 0 ] && [ -n "$out_dir" ] && rmdir "$out_dir" 2>/dev/null
    rm -rf "$tmp"
}
trap cleanup EXIT

cat >"$tmp/etc/cupsd.conf" <<CONF
Listen $tmp/cups.sock
LogLevel info
Browsing No
BrowseLocalProtocols none
WebInterface No
DefaultAuthType None
<Location />
  Order allow,deny
  Allow all
</Location>
<Policy default>
  <Limit All>
    Order deny,allow
  </Limit>
</Policy>
CONF
cat >"$tmp/etc/cups-files.conf" <<CONF
ServerRoot $tmp/etc
RequestRoot $tmp/spool
TempDir $tmp/spool/tmp
CacheDir $tmp/cache
StateDir $tmp/state
ErrorLog $tmp/log/error_log
AccessLog $tmp/log/access_log
PageLog $tmp/log/page_log
Printcap $tmp/printcap
Sandboxing Relaxed
CONF

cupsd -f -c "$tmp/etc/cupsd.conf" -s "$tmp/etc/cups-files.conf" >"$tmp/log/cupsd.out" 2>&1 &
cupsd_pid=$!
for _ in $(seq 100); do
    [ -S "$tmp/cups.sock" ] && break
    kill -0 "$cupsd_pid" 2>/dev/null || break
    sleep 0.1
done
if [ ! -S "$tmp/cups.sock" ]; then
    cat "$tmp/log/cupsd.out" "$tmp/log/error_log" 2>/dev/null | tail -20
    skip "cupsd could not be started"
fi
export CUPS_SERVER=$tmp/cups.sock
queue=kvtest
lpadmin -p "$queue" -E -v cups-pdf:/ -P "$ppd" 2>"$tmp/log/lpadmin.err" ||
    { cat "$tmp/log/lpadmin.err"; skip "cups-pdf queue could not be added"; }
lpstat -p "$queue" || skip "the queue does not answer"

# cups-pdf writes into the "Out" directory of its configuration, ${HOME}
# standing for the home of the job's owner (read only, never changed here).
out_dir=$(sed -n 's/^[[:space:]]*Out[[:space:]]\+//p' /etc/cups/cups-pdf.conf 2>/dev/null | tail -1)
[ -n "$out_dir" ] || out_dir='/var/spool/cups-pdf/${USER}'
user=$(id -un)
home=$(getent passwd "$user" | cut -d: -f6)
out_dir=${out_dir//'${HOME}'/$home}
out_dir=${out_dir//'${USER}'/$user}
[ -d "$out_dir" ] || out_dir_existed=0

log=$tmp/log/test.out
VIEWER_CUPS_PRINTER=$queue VIEWER_CUPS_OUTDIR=$out_dir "$program" --gtest_filter='PrintCups.*' 2>&1 | tee "$log"
rc=${PIPESTATUS[0]}
if [ "$rc" -ne 0 ]; then
    echo "--- cupsd error log"
    tail -30 "$tmp/log/error_log"
    exit "$rc"
fi
grep -q '\[  SKIPPED \]' "$log" && skip "the test program skipped the print job"
grep -q '\[  PASSED  \] 1 test' "$log" || { echo "no print test ran"; exit 1; }
exit 0
