#!/bin/sh
# Installs the build into a fresh DESTDIR with `cmake --install` and checks what a CUPS
# installation needs: the filter, the colour library and the 61 PPDs at their paths, nothing
# group- or world-writable, and (as root, where the files are root-owned as cupsd demands)
# cupstestppd with its filter presence and permission checks against the staged root.
# Usage: install_layout.sh BUILD_DIR FILTER_DIR CMS_DIR PPD_DIR
set -eu
build=$1 filterdir=$2 cmsdir=$3 ppddir=$4
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT INT TERM

fail() { echo "FAIL: $*" >&2; exit 1; }
mode() { stat -c %a "$1"; }

DESTDIR=$stage cmake --install "$build" >/dev/null || fail "cmake --install failed"

filter=$stage$filterdir/rastertoKelvra
[ -f "$filter" ] || fail "no filter at $filterdir/rastertoKelvra"
[ "$(mode "$filter")" = 755 ] || fail "filter mode $(mode "$filter"), want 755"
lib=$stage$cmsdir/mirodelCMSLib-amd64.so
[ -f "$lib" ] || fail "no colour library at $cmsdir/mirodelCMSLib-amd64.so"
[ "$(mode "$lib")" = 755 ] || fail "colour library mode $(mode "$lib"), want 755"
if ldd "$filter" | grep -q 'not found'; then fail "filter has unresolved libraries"; fi
# The Ghostscript of the fast route, in the directory the filter puts on the raster filter's PATH.
screengs=$stage$filterdir/kelvra-gs/gs
[ -f "$screengs" ] || fail "no screen-setting Ghostscript at $filterdir/kelvra-gs/gs"
[ "$(mode "$screengs")" = 755 ] || fail "screen-setting Ghostscript mode $(mode "$screengs"), want 755"

count=$(find "$stage$ppddir" -maxdepth 1 -name '*.ppd' -type f | wc -l)
[ "$count" -eq 61 ] || fail "$count PPDs in $ppddir, want 61"
bad=$(find "$stage$ppddir" -name '*.ppd' ! -perm 644)
[ -z "$bad" ] || fail "PPDs not mode 644: $bad"
[ "$(mode "$stage$ppddir")" = 755 ] || fail "$ppddir mode $(mode "$stage$ppddir"), want 755"

# Nothing below the staging root may be writable by group or others (cupsd refuses such
# filters, and PPDs and libraries must not be changeable by other users either).
writable=$(find "$stage" -mindepth 1 -perm /022)
[ -z "$writable" ] || fail "group- or world-writable: $writable"
# Only the deliverables are installed: the filter with its screen-setting Ghostscript, the colour
# library, the PPDs, the inspector
# with its man page and, when it is built, the Printer Application with its man pages and
# systemd unit (checked by its own test).
others=$(find "$stage" -type f ! -path "$stage$ppddir/*" ! -path "$filter" ! -path "$lib" \
    ! -path "$screengs" \
    ! -path "*/bin/kelvra-inspect" ! -path "*/man1/kelvra-inspect.1" \
    ! -path "*/bin/kelvra-printer-app" ! -path "*/man1/kelvra-printer-app*.1" \
    ! -name kelvra-printer-app.service)
[ -z "$others" ] || fail "unexpected installed files: $others"

if [ "$(id -u)" -eq 0 ]; then
    # Root-owned files: cupstestppd checks that the staged filter exists with safe modes.
    out=$(cupstestppd -R "$stage" "$stage$ppddir"/*.ppd 2>&1) || { echo "$out" >&2; fail "cupstestppd -R"; }
    echo "cupstestppd -R: $count PPDs pass with the filter checks"
else
    echo "not root: staged files are not root-owned, cupstestppd filter checks skipped"
fi
echo "install layout OK: $filterdir/rastertoKelvra, $cmsdir/mirodelCMSLib-amd64.so, $count PPDs in $ppddir"
