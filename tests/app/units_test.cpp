// The Printer Application's own rules, without a server: line conversion to the job's
// resolution, darkness to density levels, the device-ID rule of automatic adding and a job's
// second start.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "app/autoadd.h"
#include "app/job_options.h"
#include "app/line_convert.h"
#include "app/printer_gate.h"
#include "common/model_catalogue.h"

namespace {

cups_page_header2_t GreyHeader(unsigned w, unsigned h, unsigned dpi, cups_cspace_t space) {
    cups_page_header2_t hd{};
    hd.cupsWidth = hd.cupsBytesPerLine = w;
    hd.cupsHeight = h;
    hd.HWResolution[0] = hd.HWResolution[1] = dpi;
    hd.cupsBitsPerColor = hd.cupsBitsPerPixel = 8;
    hd.cupsColorSpace = space;
    return hd;
}

// Feeds `rows` (each `w` samples) and collects what comes out.
std::vector<std::vector<uint8_t>> Convert(LineConverter &c,
                                          const std::vector<std::vector<uint8_t>> &rows) {
    std::vector<std::vector<uint8_t>> out;
    for (const auto &r : rows)
        c.Feed(r.data(), [&](const uint8_t *l) { out.emplace_back(l, l + c.Width()); });
    return out;
}

TEST(AppLineConverter, A1200DpiPageBecomes600DpiByAveragingTwoByTwo) {
    LineConverter c;
    std::string why;
    ASSERT_TRUE(c.Start(GreyHeader(4, 4, 1200, CUPS_CSPACE_SW), 600, why));
    EXPECT_EQ(c.Width(), 2u);
    EXPECT_EQ(c.Height(), 2u);
    const auto out =
        Convert(c, {{0, 0, 255, 255}, {0, 0, 255, 255}, {0, 255, 255, 255}, {255, 0, 255, 255}});
    EXPECT_EQ(out, (std::vector<std::vector<uint8_t>>{{0, 255}, {128, 255}}));
}

TEST(AppLineConverter, A600DpiPageBecomes1200DpiByRepeatingPixels) {
    LineConverter c;
    std::string why;
    ASSERT_TRUE(c.Start(GreyHeader(2, 1, 600, CUPS_CSPACE_SW), 1200, why));
    const auto out = Convert(c, {{10, 200}});
    EXPECT_EQ(out, (std::vector<std::vector<uint8_t>>{{10, 10, 200, 200}, {10, 10, 200, 200}}));
}

TEST(AppLineConverter, BlackRasterIsTurnedIntoLuminanceAndColourIsRefused) {
    LineConverter c;
    std::string why;
    ASSERT_TRUE(c.Start(GreyHeader(2, 1, 600, CUPS_CSPACE_K), 600, why));
    EXPECT_EQ(Convert(c, {{0, 255}}), (std::vector<std::vector<uint8_t>>{{255, 0}}));
    EXPECT_FALSE(c.Start(GreyHeader(2, 1, 600, CUPS_CSPACE_SRGB), 600, why));
}

TEST(AppDensity, FiftyIsTheModelsNormalLevelAndTheEndsAreItsExtremes) {
    for (const ModelInfo &m : AllModels()) {
        const DensityLevels &d = m.density;
        EXPECT_EQ(DensityLevel(d, 50, 0), d.normal) << m.modelName;
        EXPECT_EQ(DensityLevel(d, 0, 0), d.lightest);
        EXPECT_EQ(DensityLevel(d, 100, 0), d.darkest);
        EXPECT_EQ(DensityLevel(d, 50, 100), d.darkest); // print-darkness adds to the printer's
        EXPECT_EQ(DensityLevel(d, 50, -100), d.lightest);
    }
}

TEST(AppAutoAdd, TheDeviceIdNamesAModelWholeWithOrWithoutItsMaker) {
    EXPECT_EQ(MatchDeviceID("MFG:Kelvra;MDL:R40N;"), FindModel("Kelvra R40N Series"));
    EXPECT_EQ(MatchDeviceID("MANUFACTURER:KELVRA;MODEL:r40n series;"),
              FindModel("Kelvra R40N Series"));
    EXPECT_EQ(MatchDeviceID("MDL:Mirodel  R70-pp Series;"), FindModel("Mirodel R70-pp Series"));
    EXPECT_EQ(MatchDeviceID("MFG:Kelvra;MDL:R40;"), FindModel("Kelvra R40 Series"));
    EXPECT_EQ(MatchDeviceID("MFG:Mirodel;MDL:R40N;"), nullptr); // another maker's R40N
    EXPECT_EQ(MatchDeviceID("MFG:Kelvra;MDL:R4;"), nullptr);
    EXPECT_EQ(MatchDeviceID("MFG:Kelvra;"), nullptr);
}

} // namespace

// A job started twice runs once: the second start waits for the first run to end and ends as
// it did, whether it came while the first ran or after; other jobs are not held up.
TEST(AppPrinterGate, ASecondRunOfAJobWaitsForTheFirstAndTakesItsOutcome) {
    PrinterGate gate;
    bool result = true;
    ASSERT_TRUE(gate.BeginRun(7, result));
    EXPECT_TRUE(gate.BeginRun(8, result));
    std::atomic<bool> secondEnded{false};
    bool secondResult = true;
    std::thread second([&] {
        EXPECT_FALSE(gate.BeginRun(7, secondResult));
        secondEnded = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_FALSE(secondEnded);
    gate.EndRun(7, false);
    second.join();
    EXPECT_FALSE(secondResult);
    gate.EndRun(8, true);
    bool late = false;
    EXPECT_FALSE(gate.BeginRun(8, late));
    EXPECT_TRUE(late);
}
