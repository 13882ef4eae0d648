// Jobs that cannot be printed as sent: raster headers the printers cannot take, and a reader
// of the job stream that goes away early.
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "tests/support/job_e2e.h"

namespace {

// A header whose fields are then changed by `edit`, on a single page without pixel data.
RasterPage RefusedPage(void (*edit)(cups_page_header2_t &)) {
    RasterPage page;
    page.header = MakeGreyHeader(595, 842, 600, 600, "A4");
    edit(page.header);
    return page;
}

struct PipeRun {
    int exitCode = -1;
    bool timedOut = false;
    std::string err;
    size_t bytesRead = 0;
};

// Runs the filter with standard output on a small pipe whose reader takes `readBefore` bytes
// and then closes it (0: closed before the filter starts), and waits at most 60 s.
PipeRun RunWithClosingReader(const std::string &raster, const std::string &ppd, size_t readBefore) {
    TempDir dir;
    const std::string errPath = dir.file("err");
    int fds[2];
    if (pipe(fds) != 0) return {};
    fcntl(fds[0], F_SETPIPE_SZ, 4096);
    if (readBefore == 0) {
        close(fds[0]);
        fds[0] = -1;
    }
    std::vector<std::string> store = {KELVRA_FILTER_BIN};
    for (const std::string &a : FilterArgs("", raster))
        store.push_back(a);
    std::vector<std::string> envStore = {"PPD=" + FixturePPD(ppd), "KELVRA_CMS_LIBRARY="};
    if (const char *path = std::getenv("PATH")) envStore.push_back(std::string("PATH=") + path);
    if (const char *tmp = std::getenv("TMPDIR")) envStore.push_back(std::string("TMPDIR=") + tmp);
    pid_t pid = fork();
    if (pid == 0) {
        int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        int in = open("/dev/null", O_RDONLY);
        dup2(in, 0);
        dup2(fds[1], 1);
        dup2(err, 2);
        if (fds[0] >= 0) close(fds[0]);
        close(fds[1]);
        ExecWith(store, envStore);
    }
    close(fds[1]);
    PipeRun r;
    if (fds[0] >= 0) {
        char buf[4096];
        while (r.bytesRead < readBefore) {
            const ssize_t n = read(fds[0], buf, sizeof buf);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            r.bytesRead += static_cast<size_t>(n);
        }
        close(fds[0]);
    }
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            r.timedOut = true;
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    std::ifstream in(errPath);
    r.err.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return r;
}

} // namespace

// Headers the printers cannot take are refused before any buffer is sized from them: an
// "ERROR:" line, no job start, and exit 1 since no page was printed.
TEST(JobInputErrors, RefusedRasterHeadersEndTheJobBeforeAnyOutput) {
    struct Case {
        const char *name;
        void (*edit)(cups_page_header2_t &);
    };
    const Case cases[] = {
        {"1-bit raster",
         [](cups_page_header2_t &h) {
             h.cupsBitsPerColor = h.cupsBitsPerPixel = 1;
             h.cupsBytesPerLine = (h.cupsWidth + 7) / 8;
         }},
        {"RGB raster",
         [](cups_page_header2_t &h) {
             h.cupsBitsPerPixel = 24;
             h.cupsColorSpace = CUPS_CSPACE_RGB;
             h.cupsNumColors = 3;
             h.cupsBytesPerLine = 3 * h.cupsWidth;
         }},
        {"2400 dpi",
         [](cups_page_header2_t &h) {
             h.HWResolution[0] = h.HWResolution[1] = 2400;
             h.cupsWidth = h.cupsBytesPerLine = 595 * 2400 / 72;
             h.cupsHeight = 842 * 2400 / 72;
         }},
        {"absurd raster size",
         [](cups_page_header2_t &h) { h.cupsWidth = h.cupsBytesPerLine = h.cupsHeight = 4000000; }},
        {"absurd page size",
         [](cups_page_header2_t &h) { h.PageSize[0] = h.PageSize[1] = 100000; }},
        {"zero page size", [](cups_page_header2_t &h) { h.PageSize[0] = 0; }},
        {"line length not the width", [](cups_page_header2_t &h) { h.cupsBytesPerLine = 100; }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        JobRun job = RunJob(dir, "platform_c.ppd", "", {RefusedPage(c.edit)});
        EXPECT_EQ(job.run.exitCode, 1);
        EXPECT_NE(job.run.err.find("ERROR: Unsupported raster page"), std::string::npos)
            << job.run.err;
        EXPECT_NE(job.run.err.find("ERROR: No pages found!\n"), std::string::npos);
        EXPECT_EQ(job.run.err.find("Malloc"), std::string::npos);
        EXPECT_TRUE(job.run.out.empty()) << "nothing may reach the printer";
    }
}

// A refused header after a printed page ends the job there: the printed page is closed with
// its job end and the filter reports success for what it printed.
TEST(JobInputErrors, RefusedHeaderAfterAPrintedPageEndsTheJobCleanly) {
    TempDir dir;
    const cups_page_header2_t good = MakeGreyHeader(192, 216, 600, 600, "Custom");
    const std::vector<Block> blocks = {{0, 0, 800, 100}};
    RasterPage bad = RefusedPage([](cups_page_header2_t &h) { h.HWResolution[0] = 4800; });
    const RasterPage first = BlockPage(good, blocks);
    JobRun job = RunJob(dir, "platform_c.ppd", "", {first, bad, first});
    EXPECT_EQ(job.run.exitCode, 0) << job.run.err;
    EXPECT_NE(job.run.err.find("ERROR: Unsupported raster page"), std::string::npos);
    EXPECT_TRUE(job.report.json["ok"].boolean) << job.report.err;
    ASSERT_EQ(job.report.json["pages"].size(), 1u);
    const Bitmap got = DumpPage(dir, job.stream, 1);
    EXPECT_EQ(DescribeDifference(got, ExpectedBitmap(first, blocks, {1600, 1800}), 200), "");
}

// The reader of the job stream is gone before the first byte: the filter says so with an
// "ERROR:" line and exits 1 without rendering the pages.
TEST(JobInputErrors, OutputClosedBeforeTheJobStopsTheFilter) {
    TempDir dir;
    const std::string raster = dir.file("in.ras");
    const cups_page_header2_t h = MakeGreyHeader(192, 216, 600, 600, "Custom");
    WriteRasterFile(raster, {MakeGreyPage(h), MakeGreyPage(h), MakeGreyPage(h)});
    for (const char *ppd : {"platform_c.ppd", "platform_z.ppd", "platform_m.ppd"}) {
        SCOPED_TRACE(ppd);
        PipeRun r = RunWithClosingReader(raster, ppd, 0);
        EXPECT_FALSE(r.timedOut);
        EXPECT_EQ(r.exitCode, 1) << r.err;
        EXPECT_NE(r.err.find("ERROR: "), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find("INFO: Printing page"), std::string::npos) << "no page rendered";
        EXPECT_EQ(r.err.find("INFO: Ready to print."), std::string::npos);
    }
}

// The reader closes the stream in the middle of the first page: the filter stops there.
TEST(JobInputErrors, OutputClosedMidPageStopsTheFilter) {
    TempDir dir;
    const std::string raster = dir.file("in.ras");
    const cups_page_header2_t h = MakeGreyHeader(595, 842, 600, 600, "A4");
    // Scattered black and white dots do not compress, so one page is far more than the pipe
    // holds and the bytes read before the close.
    const RasterPage busy = MakeGreyPage(h, [](unsigned x, unsigned y) -> uint8_t {
        uint32_t v = x * 0x9E3779B1u ^ y * 0x85EBCA77u;
        v ^= v >> 15;
        v *= 0x2C1B3C6Du;
        return (v >> 28) & 1 ? 0 : 0xFF;
    });
    WriteRasterFile(raster, {busy, busy, busy});
    for (const char *ppd : {"platform_c.ppd", "platform_z.ppd", "platform_m.ppd"}) {
        SCOPED_TRACE(ppd);
        PipeRun r = RunWithClosingReader(raster, ppd, 16384);
        EXPECT_GE(r.bytesRead, 16384u) << "the stream ended before the reader closed it";
        EXPECT_FALSE(r.timedOut);
        EXPECT_EQ(r.exitCode, 1) << r.err;
        EXPECT_NE(r.err.find("ERROR: "), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find("PAGE: 2 "), std::string::npos) << "the filter went on rendering";
        EXPECT_EQ(r.err.find("INFO: Ready to print."), std::string::npos);
    }
}
