#!/bin/bash
# A private CUPS scheduler in a directory of its own, for tests: its own configuration, state,
# cache, spool, temporary and log directories and a UNIX socket ($BASE/sock) as its only
# listener, so that it touches nothing of the machine's CUPS. CUPS's own filters, backends and
# helpers are linked into its ServerBin, CUPS's data files into its DataDir with an empty
# model directory ($BASE/data/model) that a test may fill. Clients reach it with
# CUPS_SERVER=$BASE/sock.
#
# Usage: private_cupsd.sh prepare BASE   lays BASE out (BASE exists and is empty)
#        private_cupsd.sh run BASE       checks the configuration, then becomes cupsd running
#                                        in the foreground (stop it with SIGTERM)
# Run as root, cupsd runs filters and backends as lp, as in production; run as another user,
# everything runs as that user.
set -euo pipefail
[ $# -eq 2 ] || { echo "usage: $0 prepare|run BASE" >&2; exit 2; }
cmd=$1 BASE=$2

prepare() {
    chmod 0755 "$BASE" # filters and backends run as lp and must reach the files below
    mkdir -p "$BASE"/{bin/filter,bin/backend,bin/daemon,log,cache,spool/temp,data/model}
    local serverbin datadir d f data=()
    serverbin=$(cups-config --serverbin)
    datadir=$(cups-config --datadir)
    for d in filter backend daemon; do ln -s "$serverbin/$d"/* "$BASE/bin/$d/"; done
    for f in "$datadir"/*; do [ "${f##*/}" = model ] || data+=("$f"); done
    ln -s "${data[@]}" "$BASE/data/"

    local user group
    if [ "$(id -u)" -eq 0 ]; then
        user=lp group=lp
        chown root:lp "$BASE/spool" "$BASE/spool/temp"
        chmod 0710 "$BASE/spool"
        chmod 1770 "$BASE/spool/temp"
    else
        user=$(id -un) group=$(id -gn)
    fi

    cat > "$BASE/cupsd.conf" <<CONF
Listen $BASE/sock
Browsing Off
LogLevel debug
MaxLogSize 0
PreserveJobHistory Yes
<Policy default>
<Limit All>
Order Allow,Deny
</Limit>
</Policy>
CONF
    cat > "$BASE/cups-files.conf" <<CONF
FileDevice Yes
Printcap $BASE/printcap
User $user
Group $group
SystemGroup $( [ "$user" = lp ] && echo root || echo "$group" )
ServerRoot $BASE
StateDir $BASE
CacheDir $BASE/cache
DataDir $BASE/data
ServerBin $BASE/bin
RequestRoot $BASE/spool
TempDir $BASE/spool/temp
AccessLog $BASE/log/access_log
ErrorLog $BASE/log/error_log
PageLog $BASE/log/page_log
CONF
}

run() {
    cupsd -t -c "$BASE/cupsd.conf" -s "$BASE/cups-files.conf" > "$BASE/log/cupsd-t" 2>&1 ||
        { cat "$BASE/log/cupsd-t" >&2; echo "cupsd rejects the configuration" >&2; exit 1; }
    exec cupsd -f -c "$BASE/cupsd.conf" -s "$BASE/cups-files.conf" 2> "$BASE/log/cupsd.stderr"
}

case $cmd in
prepare) prepare ;;
run) run ;;
*) echo "usage: $0 prepare|run BASE" >&2; exit 2 ;;
esac
