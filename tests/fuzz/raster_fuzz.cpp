// Fuzzes the filter's raster input path: the whole job (start-up, page headers, raster lines,
// the driver core's page pipeline, job end) run in-process through RunFilter on an arbitrary
// stream. A job keeps nothing outside itself, so one run needs no reset after the last; only
// the signal handlers and the timer the filter installs are put back for libFuzzer.
//
// Input: one selector byte, then the raster stream.
//   bits 0-2  PPD fixture (the dialects and model groups)
//   bits 3-5  job option string (a few presets that reach spooling, rotation, 2-bit output...)
//   bit 6     load the colour library (QV and Mirodel pages go through it)
//   bit 7     stream as a file argument instead of standard input
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <cstddef>
#include <cstring>
#include <dirent.h>
#include <dlfcn.h>
#include <string>
#include <sys/mman.h>
#include <sys/time.h>
#include <unistd.h>
#include <vector>

#include "core/raster_page.h"
#include "filter/job.h"
#include "tests/fuzz/fuzz_support.h"

// libcups sizes its buffers from a page header before anyone can check it (up to 4 GB for a
// hostile cupsBytesPerLine), which under ASan costs seconds of shadow poisoning per input.
// Allocations above 1 GB fail instead, as they would on a small machine; the filter and
// libcups must both cope with that.
extern "C" const char *__asan_default_options() {
    return "max_allocation_size_mb=1024:allocator_may_return_null=1";
}

// The cleanup of a manual-duplex job waits 10 seconds for the user; no waiting inside the
// filter here. Other threads (libFuzzer's memory watcher) still sleep for real.
namespace {
thread_local bool tInFilter = false;
} // namespace
extern "C" unsigned int sleep(unsigned int seconds) {
    if (tInFilter) return 0;
    timespec t{static_cast<time_t>(seconds), 0};
    while (nanosleep(&t, &t) != 0 && errno == EINTR) {
    }
    return 0;
}

namespace {

const char *const kPPDs[8] = {
    "platform_c.ppd", "platform_z.ppd", "platform_m.ppd",      "qv.ppd",
    "mirodel.ppd",    "unlisted_z.ppd", "platform_z_plus.ppd", "unlisted_none.ppd"};

const char *const kOptions[8] = {
    "",
    "Collate=true",
    "DPI1200=true",
    "ImageRotation=true FeedLongEdge=true",
    "NegativePrint=true TonerMode=true Density=4",
    "PageSize=Custom.200x300 page-left=10 page-top=5 document-name-supplied=x",
    "InputSlot=Tray2 Booklet BlankSuppress=PrinterSetting",
    "Collate=true FineMode=true noDPI1200 Media=A5(148x210mm)",
};

std::string gTmpDir;

// The signal set-up that libFuzzer relies on (its timeout uses SIGALRM and the real timer);
// the filter installs its own handlers and keep-alive timer, so they are put back after a run.
struct SignalState {
    struct sigaction alrm, term, pipe;
    itimerval timer;
    SignalState() {
        sigaction(SIGALRM, nullptr, &alrm);
        sigaction(SIGTERM, nullptr, &term);
        sigaction(SIGPIPE, nullptr, &pipe);
        getitimer(ITIMER_REAL, &timer);
    }
    ~SignalState() {
        sigaction(SIGALRM, &alrm, nullptr);
        sigaction(SIGTERM, &term, nullptr);
        sigaction(SIGPIPE, &pipe, nullptr);
        setitimer(ITIMER_REAL, &timer, nullptr);
    }
};

// Open descriptors of the process: a job closes every descriptor it opened.
int OpenDescriptors() {
    DIR *d = opendir("/proc/self/fd");
    if (!d) return -1;
    int n = 0;
    while (readdir(d) != nullptr)
        ++n;
    closedir(d);
    return n;
}

bool TmpDirIsEmpty() {
    DIR *d = opendir(gTmpDir.c_str());
    if (!d) return true;
    bool empty = true;
    while (const dirent *e = readdir(d))
        if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) empty = false;
    closedir(d);
    return empty;
}

// Pages above this many pixels take seconds each under the sanitizers; inputs that hold one
// are skipped so the fuzzer spends its time on the header and line handling. Large pages
// are covered by the end-to-end hostile-job tests through the real binary.
constexpr uint64_t kMaxFuzzPagePixels = 6'000'000;

// libcups sizes its line buffers from the header before anyone can check it (a 4 GB calloc
// for a huge cupsBytesPerLine); that costs seconds under the sanitizers, so a first header
// asking for more than 1 MB per line is skipped before libcups sees it.
bool FirstLineIsSmall(const std::string &stream) {
    uint32_t sync = 0;
    if (stream.size() < 4 + sizeof(cups_page_header2_t)) return true;
    std::memcpy(&sync, stream.data(), 4);
    const bool swapped = sync == CUPS_RASTER_REVSYNC || sync == CUPS_RASTER_REVSYNCv1 ||
                         sync == CUPS_RASTER_REVSYNCv2 || sync == CUPS_RASTER_REVSYNCapple;
    uint32_t bpl = 0;
    std::memcpy(&bpl, stream.data() + 4 + offsetof(cups_page_header2_t, cupsBytesPerLine), 4);
    if (swapped) bpl = __builtin_bswap32(bpl);
    return bpl <= (1u << 20);
}

// Reads the stream's page headers as the filter will and tells whether every page the
// filter would print stays under kMaxFuzzPagePixels.
bool PagesAreSmall(int fd) {
    lseek(fd, 0, SEEK_SET);
    cups_raster_t *ras = cupsRasterOpen(fd, CUPS_RASTER_READ);
    if (ras == nullptr) return true;
    bool small = true;
    cups_page_header2_t h;
    std::vector<uint8_t> line;
    while (small && cupsRasterReadHeader2(ras, &h) && IsPrintableRasterHeader(h, stderr)) {
        const uint64_t dpiX = std::max(600u, h.HWResolution[0]);
        const uint64_t dpiY = std::max(600u, h.HWResolution[1]);
        const uint64_t pixels =
            (uint64_t{h.PageSize[0]} * dpiX / 72 + 1) * (uint64_t{h.PageSize[1]} * dpiY / 72 + 1);
        small = pixels <= kMaxFuzzPagePixels;
        line.resize(h.cupsBytesPerLine);
        for (unsigned y = 0; small && y < h.cupsHeight; ++y)
            if (cupsRasterReadPixels(ras, line.data(), h.cupsBytesPerLine) == 0) break;
    }
    cupsRasterClose(ras);
    lseek(fd, 0, SEEK_SET);
    return small;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    KeepSanitizerReportsVisible();
    // The filter opens and closes the colour library on every run; keeping one reference
    // here leaves its coverage counters mapped for libFuzzer between runs.
    if (dlopen(KELVRA_CMSLIB_BIN, RTLD_NOW | RTLD_NODELETE) == nullptr)
        FuzzFail("cannot load the colour library", dlerror());
    char dir[] = "/tmp/kelvra-fuzz-raster-XXXXXX";
    if (mkdtemp(dir) == nullptr) std::abort();
    gTmpDir = dir;
    setenv("TMPDIR", dir, 1);
    unsetenv("FINAL_CONTENT_TYPE");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    FuzzReader in(data, size);
    const uint8_t selector = in.U8();
    const std::string stream = in.Rest();

    const std::string ppd = std::string(KELVRA_FIXTURES_DIR) + "/ppd/" + kPPDs[selector & 7];
    setenv("PPD", ppd.c_str(), 1);
    setenv("KELVRA_CMS_LIBRARY", (selector & 0x40) ? KELVRA_CMSLIB_BIN : "", 1);

    const int mem = memfd_create("raster", 0);
    if (mem < 0) std::abort();
    if (!stream.empty() && write(mem, stream.data(), stream.size()) != ssize_t(stream.size()))
        std::abort();
    {
        Silence err(getenv("KELVRA_FUZZ_VERBOSE") ? -1 : STDERR_FILENO);
        if (!FirstLineIsSmall(stream) || !PagesAreSmall(mem)) {
            close(mem);
            return -1; // not added to the corpus
        }
    }
    const std::string memPath = "/proc/self/fd/" + std::to_string(mem);

    std::string args[7] = {
        "rastertoKelvra", "7", "fuzzer", "fuzz job", "1", kOptions[(selector >> 3) & 7], memPath};
    char *argv[8];
    for (int i = 0; i < 7; ++i)
        argv[i] = args[i].data();
    argv[7] = nullptr;
    const bool asFile = selector & 0x80;

    const int descriptors = OpenDescriptors();
    {
        SignalState signals;
        Silence out(STDOUT_FILENO);
        Silence err(getenv("KELVRA_FUZZ_VERBOSE") ? -1 : STDERR_FILENO);
        const int savedIn = dup(STDIN_FILENO);
        if (!asFile) dup2(mem, STDIN_FILENO);
        tInFilter = true;
        RunFilter(asFile ? 7 : 6, argv);
        tInFilter = false;
        dup2(savedIn, STDIN_FILENO);
        close(savedIn);
    }
    const int left = OpenDescriptors();
    close(mem);
    if (!TmpDirIsEmpty()) FuzzFail("the filter left files in TMPDIR", gTmpDir);
    if (left != descriptors)
        FuzzFail("the filter left descriptors open",
                 std::to_string(descriptors) + " before, " + std::to_string(left) + " after");
    return 0;
}
