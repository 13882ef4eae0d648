#!/bin/bash
# Prints through a real CUPS spooler: installs the driver into a staging root, starts a private
# cupsd on a private socket with its own configuration, spool and temporary directories, adds
# queues with generated PPDs and file: devices, prints CUPS's test page and the bundled
# sample.pdf with copies, collation, duplex, density and PIN options, waits for every job, and
# takes the captured job streams apart with kelvra-inspect. Both input routes are covered: the
# shipped PPDs hand the filter PDF (FINAL_CONTENT_TYPE application/vnd.cups-pdf), which it
# rasterises itself, letting Ghostscript halftone where it can; a CUPS raster document goes to
# the filter as it is.
# cupsd runs as root, as in production, so it runs the filter as lp with umask 077 and its
# own TMPDIR. Everything lives under one temporary directory, removed at exit.
#
# Usage: spooler_test.sh BUILD_DIR SOURCE_DIR INSPECT FILTER_DIR CMS_DIR PPD_DIR
# Exit 0 pass, 1 fail, 77 skipped (not root: cupsd must run as root to run filters as lp).
set -euo pipefail
build=$1 src=$2 inspect=$3 filterdir=$4 cmsdir=$5 ppddir=$6
started=$(date +%s%N)

if [ "$(id -u)" -ne 0 ]; then
    echo "SKIP: needs root (cupsd runs the filter as lp only when it runs as root)"
    exit 77
fi
for tool in cupsd lpadmin lp lpstat lpinfo cups-config; do
    command -v "$tool" >/dev/null || { echo "FAIL: $tool is not installed" >&2; exit 1; }
done

BASE=$(mktemp -d /tmp/kelvra-spooler.XXXXXX)
chmod 0755 "$BASE" # the filters run as lp and must reach the staged files
CUPSD_PID=""
cleanup() {
    if [ -n "$CUPSD_PID" ] && kill -0 "$CUPSD_PID" 2>/dev/null; then
        kill "$CUPSD_PID" 2>/dev/null || true
        for _ in $(seq 50); do kill -0 "$CUPSD_PID" 2>/dev/null || break; sleep 0.1; done
        kill -9 "$CUPSD_PID" 2>/dev/null || true
        wait "$CUPSD_PID" 2>/dev/null || true
    fi
    if [ -n "${KELVRA_KEEP_SPOOLER:-}" ]; then echo "kept $BASE" >&2; else rm -rf "$BASE"; fi
}
trap cleanup EXIT
trap 'exit 1' INT TERM

failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

# 1. The driver, installed as a user would install it, into a staging root.
STAGE=$BASE/stage
DESTDIR=$STAGE cmake --install "$build" >/dev/null
filter=$STAGE$filterdir/rastertoKelvra
cmslib=$STAGE$cmsdir/mirodelCMSLib-amd64.so
ppds=$STAGE$ppddir

# 2. The private spooler (tests/support/private_cupsd.sh): its own server root, spool, temp and
# log directories, CUPS's own filters, backends and helpers in its ServerBin; the staged driver
# beside them, and the staged PPD tree as its model directory, so lpinfo -m lists them.
cupsd_sh=$src/tests/support/private_cupsd.sh
"$cupsd_sh" prepare "$BASE"
mkdir -p "$BASE"/{ppd,out}
ln -s "$ppds" "$BASE/data/model/kelvra"
ln -sf "$filter" "$BASE/bin/filter/rastertoKelvra" # root-owned 0755 file, root-owned dirs
# The QV queue loads the staged colour library: a root-owned wrapper names it, since cupsd
# passes no environment of its own to filters.
cat > "$BASE/bin/filter/rastertoKelvra-staged-cms" <<WRAP
#!/bin/sh
KELVRA_CMS_LIBRARY=$cmslib exec $filter "\$@"
WRAP
chmod 0755 "$BASE/bin/filter/rastertoKelvra-staged-cms"
"$cupsd_sh" run "$BASE" &
CUPSD_PID=$!
export CUPS_SERVER=$BASE/sock
for _ in $(seq 100); do lpstat -r 2>/dev/null | grep -q "is running" && break; sleep 0.1; done
lpstat -r | grep -q "is running" || { echo "FAIL: private cupsd did not start" >&2; exit 1; }

# 3. Queues. The shipped PPDs come through cups-driverd (lpadmin -m, as a user adds a queue);
# the PDF variant and the QV wrapper PPD are given as files.
lpinfo -m > "$BASE/models"
listed=$(grep -c '^kelvra/.*\.ppd ' "$BASE/models" || true)
[ "$listed" -eq 61 ] || { fail "lpinfo -m lists $listed of the 61 PPDs"; grep -i kelvra "$BASE/models" | head -3 >&2; }
sed 's/ 0 rastertoKelvra"/ 0 rastertoKelvra-staged-cms"/' "$ppds/kelvra-qv66adn.ppd" > "$BASE/qv.ppd"
add_queue() { # name, then -m model or -P file
    lpadmin -p "$1" -E -v "file://$BASE/out/$1.prn" "$2" "$3" 2>/dev/null
}
add_queue zpage -m kelvra/kelvra-r18.ppd
add_queue zmanual -m kelvra/kelvra-r18.ppd
add_queue mcollate -m kelvra/kelvra-r40.ppd
add_queue cpdf -P "$build/ppd/pdf/kelvra-r10.ppd"
add_queue qvpin -P "$BASE/qv.ppd"
# Queue defaults set by an administrator apply to jobs that do not name the option, on every
# dialect; an unconfigured queue prints copies as its PPD's defaults say (collated).
add_queue cdense -m kelvra/kelvra-r10.ppd
add_queue zdense -m kelvra/kelvra-r18.ppd
add_queue mdense -m kelvra/kelvra-r40.ppd
for q in cdense zdense mdense; do lpadmin -p "$q" -o Density=4; done
add_queue ccopies -m kelvra/kelvra-r10.ppd

datadir=$(cups-config --datadir)
testpage=$datadir/data/testprint
[ -f "$testpage" ] || testpage=$datadir/data/default-testpage.pdf
sample=$src/tests/fixtures/docs/sample.pdf

# 4. Jobs, all at once (one queue and one output file each).
declare -A JOB
submit() { # queue, lp arguments...
    local queue=$1; shift
    local out
    out=$(lp -d "$queue" "$@")
    JOB[$queue]=$(sed -n 's/^request id is [^ ]*-\([0-9]*\) .*/\1/p' <<<"$out")
    [ -n "${JOB[$queue]}" ] || fail "lp did not queue a job on $queue: $out"
}
# The test page as a CUPS raster document (8-bit grey), which CUPS hands the filter unchanged.
gs -q -dNOPAUSE -dBATCH -dSAFER -sDEVICE=cups -r600 -sPAPERSIZE=a4 -dFIXEDMEDIA -dcupsColorSpace=18 \
   -dcupsBitsPerColor=8 -sOutputFile="$BASE/testpage.ras" "$datadir/data/default-testpage.pdf"
submit zpage "$BASE/testpage.ras"
submit zmanual -o sides=two-sided-long-edge "$sample"
submit mcollate -n 2 -o collate=true -o Density=4 "$sample"
submit cpdf -o sides=two-sided-long-edge -o Density=3 "$sample"
submit qvpin -n 2 -o collate=false -o LockedPinPrint=True -o PinNum1=1 -o PinNum2=2 \
       -o PinNum3=3 -o PinNum4=4 "$sample"
for q in cdense zdense mdense; do submit "$q" "$testpage"; done
submit ccopies -n 2 "$sample"

# A job ends with "Job completed."; a failing filter leaves it stopped, so stop waiting then.
log=$BASE/log/error_log
deadline=$((SECONDS + 90))
for queue in "${!JOB[@]}"; do
    id=${JOB[$queue]}
    while :; do
        if grep -q "\[Job $id\] Job completed\." "$log"; then break; fi
        if grep -qE "\[Job $id\] (Job stopped|Job aborted|Job canceled|Stopping job)" "$log" ||
           [ $SECONDS -ge $deadline ]; then
            fail "job $id on $queue did not complete:"
            grep "\[Job $id\]" "$log" | grep -vE 'DEBUG:|debug' | tail -20 >&2
            break
        fi
        sleep 0.2
    done
done
# Each job's lines of the log, in a file of their own (grep -q in a pipe would break it).
for queue in "${!JOB[@]}"; do
    grep "\[Job ${JOB[$queue]}\]" "$log" > "$BASE/log/$queue.log" || true
done
inlog() { grep -q -- "$2" "$BASE/log/$1.log"; }

# 5. The captured streams.
listing() { # queue -> the inspector's listing; the stream must be well-formed and decode
    if ! "$inspect" "$BASE/out/$1.prn" > "$BASE/out/$1.txt" 2>&1; then
        fail "$1: kelvra-inspect rejects the stream:"
        grep -i -E 'error|offset' "$BASE/out/$1.txt" | head -5 >&2
    fi
}
count() { grep -cE "$2" "$BASE/out/$1.txt" || true; }
expect() { # queue, what, expected, actual
    [ "$3" = "$4" ] || fail "$1: $2 is $4, expected $3"
}
for queue in "${!JOB[@]}"; do
    if [ -s "$BASE/out/$queue.prn" ]; then listing "$queue"; else fail "$queue: no job stream"; : > "$BASE/out/$queue.txt"; fi
done

# CUPS test page on platform Z as a raster document: one A4 page (paper code 1) with toner.
expect zpage dialect "dialect Z" "$(head -1 "$BASE/out/zpage.txt" | cut -d, -f1)"
expect zpage pages 1 "$(count zpage '^page [0-9]+ \(number')"
expect zpage "A4 page specifications" 1 "$(count zpage 'page-spec .* paper_size=1 ')"
[ "$(count zpage ' 0 toner pixels')" = 0 ] || fail "zpage: the test page printed blank"
inlog zpage ' 1 filters for job' && inlog zpage 'rastertoKelvra (application/vnd.cups-raster to' ||
    fail "zpage: the raster document did not reach the filter as raster"

# PDF through queues made with lpadmin -m: CUPS does not rasterise; Ghostscript halftones the
# sample with the job's screen, while the test page (it has transparency) is halftoned by the
# filter.
for q in ccopies cdense; do
    if inlog "$q" 'Started filter .*/gstoraster'; then fail "$q: CUPS rasterised the PDF"; fi
done
inlog ccopies 'halftones the pages with the job' || fail "ccopies: no fast route"
inlog cdense 'uses transparency: its pages are halftoned here' ||
    fail "cdense: the test page did not keep the 8-bit route"

# Two-sided on platform Z: the filter prints it in manual duplex, telling the printer it is
# simplex: the fronts 1 and 3, the manual-duplex command, then the backs 4 (blank) and 2, and
# the user is shown the PPD's instruction.
pagenums=$(sed -n 's/^page [0-9]* (number \([0-9]*\)).*/\1/p' "$BASE/out/zmanual.txt" | tr '\n' ' ')
expect zmanual "page order" "1 3 4 2 " "$pagenums"
expect zmanual "blank pages" 1 "$(count zmanual ' 0 toner pixels')"
expect zmanual "manual-duplex commands" 1 "$(count zmanual ' manual-duplex ')"
expect zmanual "duplex job specifications" 0 "$(count zmanual 'job-spec .* duplex=[1-9]')"
inlog zmanual 'job-printer-state-message to "Put the printed sheets back in the paper tray' ||
    fail "zmanual: the manual-duplex instruction was not shown"

# Collated copies on platform M: the filter spools the 3 pages and replays them, one copy each.
expect mcollate dialect "dialect M" "$(head -1 "$BASE/out/mcollate.txt" | cut -d, -f1)"
expect mcollate pages 6 "$(count mcollate '^page [0-9]+ \(number')"
expect mcollate "single-copy pages" 6 "$(count mcollate 'COPIES_PARAM .* value=1$')"
expect mcollate "density-4 pages" 6 "$(count mcollate 'DENSITY_PARAM .* value=4$')"
hashes=$(grep -oE 'hash [0-9A-F]{16}' "$BASE/out/mcollate.txt" | cut -d' ' -f2 | tr '\n' ' ')
read -r -a h <<<"$hashes"
[ "${#h[@]}" -eq 6 ] && [ "${h[0]} ${h[1]} ${h[2]}" = "${h[3]} ${h[4]} ${h[5]}" ] &&
    [ "${h[0]}" != "${h[1]}" ] || fail "mcollate: the second copy is not pages 1-3 again ($hashes)"

# PDF handed to the filter (FINAL_CONTENT_TYPE application/vnd.cups-pdf): no CUPS rasteriser
# in the chain; printer duplex on platform C with a blank back side for the odd page count.
if inlog cpdf 'Started filter .*/gstoraster'; then fail "cpdf: CUPS rasterised the PDF"; fi
inlog cpdf '"FINAL_CONTENT_TYPE=application/vnd.cups-pdf"' ||
    fail "cpdf: the filter was not told its input is PDF"
expect cpdf dialect "dialect C" "$(head -1 "$BASE/out/cpdf.txt" | cut -d, -f1)"
expect cpdf pages 4 "$(count cpdf '^page [0-9]+ \(number')"
expect cpdf "blank pages" 1 "$(count cpdf ' 0 toner pixels')"
expect cpdf "duplex job specifications" 1 "$(count cpdf 'job-spec .* duplex=[1-9]')"
expect cpdf "density frames" 1 "$(count cpdf ' density .* level=3$')"

# QV model with the staged colour library: 2 bits per pixel, uncollated copies made by the
# printer, and a locked job whose PIN comes from the PinNum options.
expect qvpin pages 3 "$(count qvpin '^page [0-9]+ \(number')"
expect qvpin "2-bit pages" 3 "$(count qvpin '^page .*, 2 bpp,')"
expect qvpin "two-copy pages" 3 "$(count qvpin 'page-spec .* copies=2 ')"
expect qvpin "PIN lines" 1 "$(count qvpin '"@PJL SET JOBPASSWORD="1234""')"
inlog qvpin 'cms: Welcome to CMS!' || fail "qvpin: the colour library did not run"

# The queue default Density=4 reaches the printer on platforms C, Z (job density frame) and M
# (page density record) although the jobs did not name it.
expect cdense "density frames" 1 "$(count cdense ' density .* level=4$')"
expect zdense "density frames" 1 "$(count zdense ' density .* level=4$')"
expect mdense "density-4 pages" 1 "$(count mdense 'DENSITY_PARAM .* value=4$')"
# An unconfigured queue collates copies (the PPD's default, as CUPS's own default): pages 1-3
# twice, each announced as one copy.
expect ccopies pages 6 "$(count ccopies '^page [0-9]+ \(number')"
expect ccopies "single-copy pages" 6 "$(count ccopies 'page-spec .* copies=1 ')"
hashes=$(grep -oE 'hash [0-9A-F]{16}' "$BASE/out/ccopies.txt" | cut -d' ' -f2 | tr '\n' ' ')
read -r -a h <<<"$hashes"
[ "${#h[@]}" -eq 6 ] && [ "${h[0]} ${h[1]} ${h[2]}" = "${h[3]} ${h[4]} ${h[5]}" ] ||
    fail "ccopies: the copies are not collated ($hashes)"

# Production conditions: the filter left nothing in the spooler's temporary directory and no
# job hit a permission problem.
leftover=$(find "$BASE/spool/temp" -mindepth 1 -newer "$BASE/cupsd.conf" -name '*' ! -name 'cups-*' 2>/dev/null | head -5)
[ -z "$leftover" ] || fail "files left in the spooler's TMPDIR: $leftover"
grep -qi 'permission denied' "$log" && fail "permission denied in the spooler log"

elapsed=$(( ($(date +%s%N) - started) / 1000000 ))
if [ "$failures" -ne 0 ]; then
    echo "spooler test: $failures failure(s) after ${elapsed} ms" >&2
    exit 1
fi
echo "spooler test: ${#JOB[@]} jobs printed through cupsd and checked in ${elapsed} ms"
