#!/bin/sh
# cmake --install into a staging directory: the program, a man page for the program and one for
# each sub-command its usage lists, and the systemd unit starting the program where it was
# installed, which systemd-analyze verifies without a word (unknown or misspelt settings, a
# missing man page named by Documentation=) when it is installed.
# Usage: install_layout.sh BUILD_DIR
set -eu
build=$1
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
DESTDIR=$stage cmake --install "$build" >/dev/null
bin=$(find "$stage" -path "*/bin/kelvra-printer-app")
[ -x "$bin" ] || { echo "FAIL: no program installed"; exit 1; }
prefix=${bin%/bin/kelvra-printer-app}
man=$prefix/share/man/man1
[ -f "$man/kelvra-printer-app.1" ] || { echo "FAIL: no kelvra-printer-app.1"; exit 1; }
subcommands=$("$bin" --help 2>&1 | sed -n '/^Sub-commands:/,/^$/p' | awk 'NR > 1 && NF { print $1 }')
[ -n "$subcommands" ] || { echo "FAIL: no sub-commands in the usage"; exit 1; }
status=0
for cmd in $subcommands; do
    [ -f "$man/kelvra-printer-app-$cmd.1" ] || { echo "FAIL: no man page for $cmd"; status=1; }
done
unit=$(find "$stage" -name kelvra-printer-app.service)
grep -q "^ExecStart=${bin#$stage} server" "$unit" || { echo "FAIL: unit $unit"; status=1; }
if command -v systemd-analyze >/dev/null; then
    # The unit as installed, but starting the staged program and finding the staged man pages.
    mkdir "$stage/verify"
    sed "s|^ExecStart=|ExecStart=$stage|" "$unit" > "$stage/verify/kelvra-printer-app.service"
    out=$(MANPATH=$prefix/share/man systemd-analyze verify "$stage/verify/kelvra-printer-app.service" 2>&1) &&
        [ -z "$out" ] || { echo "FAIL: systemd-analyze verify: $out"; status=1; }
fi
[ $status = 0 ] && echo "ok: program, $(echo $subcommands | wc -w) sub-command man pages, unit"
exit $status
