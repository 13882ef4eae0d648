// The filter's command-line and environment contract, through the real binary.
#include <gtest/gtest.h>

#include "tests/support/filter_runner.h"
#include "tests/support/raster_writer.h"

namespace {

std::string ThreePageRaster(const TempDir &dir) {
    std::string path = dir.file("three.ras");
    cups_page_header2_t h = MakeGreyHeader(72, 72, 600, 600, "Custom");
    WriteRasterFile(path, {MakeGreyPage(h), MakeGreyPage(h), MakeGreyPage(h)});
    return path;
}

FilterRun RunWith(const std::vector<std::string> &args, const std::string &ppd,
              const std::string &stdinFile = "") {
    FilterCall call;
    call.args = args;
    if (!ppd.empty()) call.env["PPD"] = ppd;
    call.stdinFile = stdinFile;
    return RunFilterProcess(call);
}

} // namespace

TEST(FilterStartup, WrongArgumentCountsGiveTheUsageLineAndExit1) {
    for (size_t count : {0u, 4u, 7u}) {
        std::vector<std::string> args(count, "x");
        FilterRun run = RunWith(args, FixturePPD("platform_z.ppd"));
        EXPECT_EQ(run.exitCode, 1) << count + 1 << " arguments";
        EXPECT_NE(run.err.find("ERROR: job-id user title copies options [file]\n"),
                  std::string::npos);
        EXPECT_TRUE(run.out.empty());
    }
}

TEST(FilterStartup, EmptyRasterStreamHasNoPages) {
    TempDir dir;
    std::string empty = dir.file("empty.ras");
    WriteRasterFile(empty, {});
    for (bool asFile : {true, false}) {
        FilterRun run = asFile ? RunWith(FilterArgs("", empty), FixturePPD("platform_z.ppd"))
                               : RunWith(FilterArgs(""), FixturePPD("platform_z.ppd"), empty);
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_NE(run.err.find("DEBUG: cupsRasterReadHeader2 return failure/end-of-file.\n"),
                  std::string::npos);
        EXPECT_NE(run.err.find("ERROR: No pages found!\n"), std::string::npos);
        EXPECT_TRUE(run.out.empty()) << "no job start or job end without pages";
    }
}

TEST(FilterStartup, ThreePagesGiveThreePageLinesAndExit0) {
    TempDir dir;
    std::string raster = ThreePageRaster(dir);
    FilterRun run = RunWith(FilterArgs("", raster), FixturePPD("platform_z.ppd"));
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(CountOf(run.err, "PAGE: "), 3u);
    EXPECT_NE(run.err.find("PAGE: 3 1\n"), std::string::npos);
    EXPECT_NE(run.err.find("INFO: Ready to print.\n"), std::string::npos);
    // The same stream on standard input.
    FilterRun piped = RunWith(FilterArgs(""), FixturePPD("platform_z.ppd"), raster);
    EXPECT_EQ(piped.exitCode, 0);
    EXPECT_EQ(CountOf(piped.err, "PAGE: "), 3u);
}

TEST(FilterStartup, UnreadableInputFileIsReported) {
    FilterRun run = RunWith(FilterArgs("", "/nonexistent/job.ras"), FixturePPD("platform_z.ppd"));
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("ERROR: Unable to open raster file - "), std::string::npos);
    EXPECT_EQ(CountOf(run.err, "PAGE: "), 0u);
}

TEST(FilterStartup, PlatformComesFromModelListThenPPDKeyword) {
    struct Case { const char *ppd; int platform; };
    const Case cases[] = {
        {"unlisted_z.ppd", 2},          // unlisted model, "platform_z" in lower case
        {"listed_with_keyword.ppd", 1}, // listed model keeps its own dialect
        {"platform_m.ppd", 3},
        {"qv.ppd", 2},
        {"mirodel.ppd", 3},
        {"unlisted_none.ppd", 0},
    };
    TempDir dir;
    std::string raster = ThreePageRaster(dir);
    for (const Case &c : cases) {
        FilterRun run = RunWith(FilterArgs("", raster), FixturePPD(c.ppd));
        std::string expected = "DEBUG: ##platform = " + std::to_string(c.platform) + ",";
        EXPECT_NE(run.err.find(expected), std::string::npos) << c.ppd << "\n" << run.err;
    }
}

TEST(FilterStartup, MissingOrBrokenPPDEndsTheJobWithAnError) {
    TempDir dir;
    std::string raster = ThreePageRaster(dir);
    struct Case { std::string ppd; const char *message; };
    const Case cases[] = {
        {"", "ERROR: The PPD environment variable is not set\n"},
        {dir.file("missing.ppd"), "ERROR: Unable to open the PPD file"},
        {FixturePPD("no_model_name.ppd"), "has no model name\n"},
    };
    for (const Case &c : cases) {
        FilterRun run = RunWith(FilterArgs("", raster), c.ppd);
        EXPECT_EQ(run.exitCode, 1) << c.ppd;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
        EXPECT_TRUE(run.out.empty());
    }
}

TEST(FilterStartup, MissingColourLibraryIsOneCompleteStatusLine) {
    TempDir dir;
    std::string raster = ThreePageRaster(dir);
    FilterCall call;
    call.args = FilterArgs("", raster);
    call.env["PPD"] = FixturePPD("qv.ppd");
    call.env["KELVRA_CMS_LIBRARY"] = dir.file("absent.so");
    FilterRun run = RunFilterProcess(call);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(CountOf(run.err, "加载CMS库失败"), 1u);
    size_t at = run.err.find("加载CMS库失败");
    ASSERT_NE(at, std::string::npos);
    size_t eol = run.err.find('\n', at);
    ASSERT_NE(eol, std::string::npos);
    EXPECT_NE(run.err.substr(at, eol - at).find("absent.so"), std::string::npos);
    EXPECT_EQ(run.err.compare(eol + 1, 7, "DEBUG: "), 0) << "next line starts on a line of its own";
}
