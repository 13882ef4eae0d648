#!/bin/sh
# The driver's libraries below the front ends keep no writable process-wide state: no symbol
# of theirs lives in .bss or .data (nm letters B, D, b, d; read-only-after-relocation data
# such as vtables is listed as d too and is allowed only for vtables and type information; the
# sanitizers' own instrumentation symbols are not the code's).
# Usage: writable_globals.sh LIBRARY.a...
status=0
for lib in "$@"; do
    found=$(nm --defined-only -C "$lib" | grep -E '^[0-9a-f]+ [bBdD] ' |
            grep -v -E ' (vtable|typeinfo|typeinfo name) for ' | cut -d' ' -f3- |
            grep -v -E '^(__odr_asan|__asan_|__ubsan_|__sancov_)')
    if [ -n "$found" ]; then
        echo "FAIL: $(basename "$lib") defines writable globals:"
        echo "$found" | sed 's/^/    /'
        status=1
    else
        echo "ok: $(basename "$lib")"
    fi
done
exit $status
