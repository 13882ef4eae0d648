# Shared by the tests: failures are counted, job streams checked with the installed inspector.
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# check_stream FILE DIALECT PAGES [BPP]: kelvra-inspect accepts FILE, a job stream in DIALECT
# with PAGES pages, none blank (and BPP bits per pixel on every page).
check_stream() {
    kelvra-inspect "$1" > "$1.txt" 2>&1 || { fail "$1: kelvra-inspect: $(head -3 "$1.txt")"; return; }
    [ "$(head -1 "$1.txt" | cut -d, -f1)" = "dialect $2" ] || fail "$1: $(head -1 "$1.txt")"
    [ "$(grep -cE '^page [0-9]+ \(number' "$1.txt")" -eq "$3" ] || fail "$1: not $3 pages"
    ! grep -q ' 0 toner pixels' "$1.txt" || fail "$1: a blank page"
    [ -z "${4:-}" ] || [ "$(grep -cE "^page .*, $4 bpp," "$1.txt")" -eq "$3" ] || fail "$1: not $4 bpp"
}

# finish NAME SUMMARY: exits 1 after any failure, else prints the summary.
finish() {
    [ "$failures" -eq 0 ] || { echo "$1: $failures failure(s)"; exit 1; }
    echo "$1: $2"
}
