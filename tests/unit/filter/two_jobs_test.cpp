// Two jobs in one process: each job keeps its state in its own objects, so jobs of different
// dialects printed at the same time on two threads give exactly the streams they give alone.
#include <gtest/gtest.h>

#include <cups/ppd.h>
#include <fcntl.h>
#include <unistd.h>

#include <string>
#include <thread>
#include <vector>

#include "filter/cups_settings.h"
#include "filter/job.h"
#include "tests/support/filter_runner.h"
#include "tests/support/job_fixture.h"
#include "tests/support/raster_writer.h"

#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

namespace {

struct TwoJobCase {
    std::string ppd;     // fixture PPD
    std::string options; // the job's option string
    std::string raster;  // raster file of the job
};

// Writes `pages` pages, each with its own pattern, with `copies` copies and the duplex request.
std::string WriteJobRaster(const TempDir &dir, const std::string &name, int pages, int copies,
                           bool duplex) {
    std::vector<RasterPage> raster;
    for (int p = 0; p < pages; ++p) {
        cups_page_header2_t h = MakeGreyHeader(420, 595, 600, 600, "A5");
        h.NumCopies = static_cast<unsigned>(copies);
        h.Duplex = duplex ? CUPS_TRUE : CUPS_FALSE;
        raster.push_back(MakeGreyPage(h, [p](unsigned x, unsigned y) {
            return static_cast<uint8_t>(((x / (16 + p)) + (y / 24)) % 3 == 0 ? 0 : 0xFF);
        }));
    }
    const std::string path = dir.file(name);
    WriteRasterFile(path, raster);
    return path;
}

// Runs one job through the filter's entry below its arguments and returns its printer stream.
std::string PrintAlone(const TwoJobCase &c) {
    TempDir spoolDir;
    ppd_file_t *ppd = ppdOpenFile(c.ppd.c_str());
    EXPECT_NE(ppd, nullptr);
    if (ppd == nullptr) return {};
    std::string a0 = "rastertoKelvra", a1 = "7", a2 = "tester", a3 = "two jobs", a4 = "1";
    std::string a5 = c.options;
    char *argv[] = {a0.data(), a1.data(), a2.data(), a3.data(), a4.data(), a5.data(), nullptr};
    JobSettings settings;
    ResolveJobSettings(settings, argv, ppd, "debian_12");
    settings.identity.time = 1767225600;
    ppdClose(ppd);

    const int fd = open(c.raster.c_str(), O_RDONLY);
    cups_raster_t *ras = cupsRasterOpen(fd, CUPS_RASTER_READ);
    MemoryWriter printer;
    TestSpoolFiles spools(spoolDir.path());
    std::FILE *log = std::fopen("/dev/null", "w");
    {
        PrintJob job(settings, printer, &spools, ColourLibrary{}, log);
        EXPECT_EQ(PrintRasterJob(job, ras, log), JobFlow::EndJob);
    }
    std::fclose(log);
    cupsRasterClose(ras);
    close(fd);
    EXPECT_TRUE(spoolDir.entries().empty()) << "spool files left behind";
    return printer.bytes;
}

TEST(TwoJobs, OfDifferentDialectsOnTwoThreadsGiveTheStreamsTheyGiveAlone) {
    TempDir dir;
    // A platform C job with three collated copies (replayed from the collate spool) and a
    // platform Z job printed in manual duplex (odd and even spools, pages turned).
    const TwoJobCase collated{FixturePPD("platform_c.ppd"), "Collate=True",
                              WriteJobRaster(dir, "c.ras", 3, 3, false)};
    const TwoJobCase manual{FixturePPD("platform_z.ppd"), "Density=4",
                            WriteJobRaster(dir, "z.ras", 5, 1, true)};
    const std::string aloneC = PrintAlone(collated), aloneZ = PrintAlone(manual);
    // The collated job sends its three pages three times; the manual-duplex job all five.
    EXPECT_EQ(CountOf(aloneC, std::string("\x0B\x12\x12", 3)), 9u);
    EXPECT_EQ(CountOf(aloneZ, std::string("\x0B\x12\x12", 3)), 5u + 1u); // with a blank back
    ASSERT_NE(aloneC, aloneZ);

    for (int round = 0; round < 3; ++round) {
        std::string c, z;
        std::thread tc([&] { c = PrintAlone(collated); });
        std::thread tz([&] { z = PrintAlone(manual); });
        tc.join();
        tz.join();
        EXPECT_TRUE(c == aloneC) << "platform C stream differs in round " << round;
        EXPECT_TRUE(z == aloneZ) << "platform Z stream differs in round " << round;
    }
}

} // namespace
