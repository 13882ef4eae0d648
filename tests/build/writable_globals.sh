#!/bin/sh
# The driver's libraries below the front ends keep no writable process-wide state: no symbol
# of theirs lives in a writable data section (.data, .bss and their .data.rel, .data.rel.local,
# per-symbol and thread-local forms, or common). Read-only-after-relocation data
# (.data.rel.ro*: constexpr tables holding pointers, vtables, type information) is constant
# once the library is loaded and allowed, whatever the build type; the decision is made on the
# section each symbol is placed in, not on nm's letter, which names .data.rel.ro data "d" like
# writable data and writable unique or weak data "u" or "V". Not the code's own: the
# sanitizers' instrumentation symbols, and the exception-handling references the compiler
# emits (DW.ref.*: the personality routine and caught types, set by the dynamic linker).
# Usage: writable_globals.sh LIBRARY.a...
status=0
for lib in "$@"; do
    # objdump -t: "ADDRESS FLAGS SECTION<TAB>SIZE NAME"; member headers end in "file format".
    syms=$(objdump -t "$lib") || { echo "FAIL: objdump -t $lib"; status=1; continue; }
    found=$(echo "$syms" | awk -F'\t' '
        / file format / { member = $1; sub(/:.*/, "", member); next }
        !/^[0-9a-f]+ / || length($1) < 25 { next }
        {
            flags = substr($1, 18, 7)
            n = split($1, left, " "); section = left[n]
            m = split($2, right, " "); name = right[m]
            if (substr(flags, 6, 1) == "d" || substr(flags, 7, 1) == "f") next
            if (section ~ /^\.data\.rel\.ro(\.|$)/) next
            if (section ~ /^\.(l?data|l?bss|tdata|tbss)(\.|$)/ || section == "*COM*")
                print name " (" section " in " member ")"
        }' | grep -v -E '^(__odr_asan|__asan_|__ubsan_|__sancov_|DW\.ref\.)' | c++filt)
    if [ -n "$found" ]; then
        echo "FAIL: $(basename "$lib") defines writable globals:"
        echo "$found" | sed 's/^/    /'
        status=1
    else
        echo "ok: $(basename "$lib")"
    fi
done
exit $status
