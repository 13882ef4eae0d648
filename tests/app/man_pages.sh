#!/bin/sh
# Formats every man page in the directory given with man-db's man --warnings and fails on any
# warning, naming the page. Skipped (77) where man is not installed.
dir=${1:?usage: man_pages.sh MAN-DIRECTORY}
command -v man >/dev/null 2>&1 || { echo "man is not installed"; exit 77; }
status=0
count=0
for page in "$dir"/*.1; do
    count=$((count + 1))
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$page" 2>&1 >/dev/null)
    if [ -n "$warnings" ]; then
        echo "$page:"
        echo "$warnings"
        status=1
    fi
done
[ "$count" -gt 0 ] || { echo "no man pages in $dir"; exit 1; }
echo "$count pages checked"
exit $status
