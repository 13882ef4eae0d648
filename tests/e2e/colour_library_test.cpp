// The QV and Mirodel page path through the colour library, end to end: the real filter on
// generated raster, with the built library loaded and without it, the job streams taken apart
// by kelvra-inspect, and the library's pages compared with what the library itself gives when
// it is called directly with the records the filter should build.
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "cmslib/cms_records.h"
#include "common/rotate.h"
#include "tests/support/filter_runner.h"
#include "tests/support/inspect_runner.h"
#include "tests/support/raster_writer.h"

namespace {

using Bytes = std::vector<uint8_t>;

// A 2-inch square has no catalogue row: the page is computed, 1216 x 1200 pixels at 600 dpi
// (the width rounded up to a multiple of 32), so 16 white columns follow every raster line.
constexpr unsigned kSidePt = 144;

enum Fill { WHITE, BLACK, GREY, PATTERN };
constexpr std::array<Fill, 4> kFills = {WHITE, BLACK, GREY, PATTERN};
constexpr uint8_t kMidGrey = 0x80;

const char *FillName(Fill f) {
    switch (f) {
    case WHITE:
        return "white";
    case BLACK:
        return "black";
    case GREY:
        return "mid-grey";
    default:
        return "pattern";
    }
}

// Raster pixel of a page; the pattern has no symmetry, so a wrong stride, offset or turn of
// the grey page changes the screened result.
uint8_t RasterPixel(Fill f, unsigned x, unsigned y) {
    switch (f) {
    case WHITE:
        return 0xFF;
    case BLACK:
        return 0x00;
    case GREY:
        return kMidGrey;
    default:
        if (x < 40 && y < 300) return 0x00;                           // a bar at the top left
        return static_cast<uint8_t>((x * 255 / 1300 + y / 9) & 0xFF); // ramp with a slant
    }
}

struct Model {
    const char *ppd;
    bool qv; // QV66ADN on platform Z, else Mirodel R70-pp on platform M
};
constexpr Model kQV{"qv.ppd", true};
constexpr Model kMirodel{"mirodel.ppd", false};

// What one job should look like for a model and the 1200-dpi request.
struct Expect {
    unsigned dpi;     // raster resolution sent to the filter
    unsigned width;   // page pixels per line
    unsigned height;  // lines
    unsigned bpp;     // bits per pixel of the bitmap
    unsigned rasterW; // raster pixels per line (the rest of the page line is white)
};

Expect Expected(const Model &m, bool dpi1200) {
    // The QV models print the request at 1200 dpi with one bit; the Mirodel models turn it
    // into two bits at 600 dpi.
    const unsigned dpi = (m.qv && dpi1200) ? 1200 : 600;
    const unsigned scale = dpi / 600;
    const unsigned bpp = m.qv ? (dpi1200 ? 1 : 2) : (dpi1200 ? 2 : 1);
    return {dpi, 1216 * scale, 1200 * scale, bpp, kSidePt * dpi / 72};
}

std::string JobOptions(const Model &m, bool dpi1200, bool negative) {
    std::string o = "Density=4 TonerMode=False";
    if (!m.qv) o = "TonerMode=False";
    if (dpi1200) o += " DPI1200=True";
    if (negative) o += " NegativePrint=True";
    return o;
}

// Writes the four-page job (white, black, mid-grey, pattern) at the given resolution.
std::string WriteJobRaster(const TempDir &dir, unsigned dpi) {
    const std::string path = dir.file("job-" + std::to_string(dpi) + ".ras");
    const cups_page_header2_t h = MakeGreyHeader(kSidePt, kSidePt, dpi, dpi, "Square2in");
    std::vector<RasterPage> pages;
    for (Fill f : kFills)
        pages.push_back(
            MakeGreyPage(h, [f](unsigned x, unsigned y) { return RasterPixel(f, x, y); }));
    WriteRasterFile(path, pages);
    return path;
}

// The bytes of a file (none when it cannot be read).
Bytes ReadBytes(const std::string &path) {
    const std::string bytes = ReadWholeFile(path);
    return Bytes(bytes.begin(), bytes.end());
}

struct JobOutcome {
    FilterRun run;
    InspectRun report;
    std::vector<Bytes> pages; // decoded bitmaps in stream order
};

// Runs the filter with `cmsLibrary` as the library path ("" leaves it unloaded), keeps the
// stream, inspects it and dumps every page it holds.
JobOutcome RunJob(const TempDir &dir, const Model &m, const std::string &options,
                  const std::string &raster, const std::string &cmsLibrary,
                  const std::string &tag) {
    FilterCall call;
    call.args = FilterArgs(options, raster);
    call.env["PPD"] = FixturePPD(m.ppd);
    call.env["KELVRA_CMS_LIBRARY"] = cmsLibrary;
    JobOutcome o;
    o.run = RunFilterProcess(call);
    const std::string stream = dir.file(tag + ".bin");
    WriteWholeFile(stream, o.run.out);
    o.report = InspectJson(stream);
    for (size_t i = 1; i <= o.report.json["pages"].size(); ++i) {
        const std::string dump = dir.file(tag + "-page" + std::to_string(i) + ".bin");
        InspectRun d = RunInspector({"--dump-page", std::to_string(i), dump, stream});
        o.pages.push_back(d.exitCode == 0 ? ReadBytes(dump) : Bytes{});
    }
    return o;
}

// The 2-bit (or 1-bit) value of pixel x in a packed row, most significant bits first.
unsigned Level(const Bytes &bitmap, size_t rowBytes, unsigned bpp, unsigned x, unsigned y) {
    const size_t bit = static_cast<size_t>(x) * bpp;
    const uint8_t byte = bitmap[y * rowBytes + bit / 8];
    return (byte >> (8 - bpp - bit % 8)) & ((1u << bpp) - 1);
}

// Counts the pixels of each level inside the raster columns of the page.
std::array<size_t, 4> LevelHistogram(const Bytes &bitmap, const Expect &e) {
    std::array<size_t, 4> hist{};
    const size_t rowBytes = (static_cast<size_t>(e.width) * e.bpp + 7) / 8;
    for (unsigned y = 0; y < e.height; ++y)
        for (unsigned x = 0; x < e.rasterW; ++x)
            ++hist[Level(bitmap, rowBytes, e.bpp, x, y)];
    return hist;
}

Bytes Inverted(Bytes b) {
    for (uint8_t &v : b)
        v = static_cast<uint8_t>(~v);
    return b;
}

// The colour library, loaded in this process the way the filter loads it.
struct Library {
    void *handle = nullptr;
    PFN_GDIPrintCMSmain entry = nullptr;
    explicit Library(const char *path) {
        handle = dlopen(path, RTLD_NOW | RTLD_LOCAL);
        if (handle) entry = reinterpret_cast<PFN_GDIPrintCMSmain>(dlsym(handle, "GDIPrintCMSmain"));
    }
    ~Library() {
        if (handle) dlclose(handle);
    }
    Library(const Library &) = delete;
    Library &operator=(const Library &) = delete;
};

// The grey page as the filter holds it before screening: width x height bytes, raster lines
// at the left edge, white where no raster reaches.
Bytes FilterGreyPage(Fill f, unsigned width, unsigned height, unsigned rasterW, unsigned rasterH) {
    Bytes grey(static_cast<size_t>(width) * height, 0xFF);
    for (unsigned y = 0; y < std::min(height, rasterH); ++y)
        for (unsigned x = 0; x < std::min(width, rasterW); ++x)
            grey[static_cast<size_t>(y) * width + x] = RasterPixel(f, x, y);
    return grey;
}

// Screens a grey page by calling the library directly with the records the filter is meant to
// build for this page: the whole print area, the options' settings, a bitmap of the page's size.
Bytes ScreenDirectly(const Library &lib, Bytes grey, unsigned width, unsigned height,
                     const CMS_SETTINGS &settings, unsigned bpp) {
    CMS_TRANSFER_SRC src{};
    src.cbStructSize = 36;
    src.ColorSrcData = grey.data();
    src.cbSize = static_cast<int32_t>(grey.size());
    src.InputDataWidth = static_cast<uint16_t>(width);
    src.InputDataHeight = static_cast<uint16_t>(height);
    src.InputDataLineByte = width;
    Bytes bitmap(static_cast<size_t>(width) * height * bpp / 8, 0xA5);
    CMS_TRANSFER_DST dst{};
    dst.cbStructSize = 35;
    dst.ColorDstData = bitmap.data();
    dst.cbSize = static_cast<int32_t>(bitmap.size());
    dst.OutputBitMode = settings.BitMode;
    CMS_SETTINGS s = settings;
    std::fflush(stderr);
    const int savedErr = dup(2), devNull = open("/dev/null", O_WRONLY);
    dup2(devNull, 2); // the library's "cms:" lines belong to the filter runs, not to this check
    const int result = lib.entry(&src, &s, &dst);
    dup2(savedErr, 2);
    close(savedErr);
    close(devNull);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(dst.OutputDataLineByte, width * bpp / 8);
    return bitmap;
}

// The settings the filter should hand the library: the Mirodel models use fixed tone settings,
// the QV models the job's options (Density=4, TonerMode=False, DPI1200 as requested).
CMS_SETTINGS ExpectedSettings(const Model &m, bool dpi1200, uint16_t paperSize) {
    CMS_SETTINGS s{};
    s.cbStructSize = 18;
    s.PaperSize = paperSize;
    if (m.qv) {
        s.DpiMode = dpi1200 ? 1 : 0;
        s.BitMode = dpi1200 ? 0 : 1;
        s.TonerSaveMode = 0;
        s.TonerDensityLevel = 4;
    } else {
        s.DpiMode = s.BitMode = dpi1200 ? 1 : 0;
        s.TonerSaveMode = 0;
        s.TonerDensityLevel = 3;
    }
    return s;
}

// The page-data announcement of the first page: bits per pixel and, on platform Z, the
// colour-depth and packing bits of the raster image frame.
void CheckAnnouncement(const Json &report, const Model &m, const Expect &e,
                       const std::string &what) {
    if (m.qv) {
        const auto frames = ItemsNamed(report, "raster-image");
        ASSERT_FALSE(frames.empty()) << what;
        for (const Json *f : frames) {
            const Json &fields = (*f)["fields"];
            EXPECT_EQ(fields["bpp"].asInt(), e.bpp) << what;
            EXPECT_EQ(fields["format"].asInt(), (e.bpp == 2 ? 0x01 : 0x00) | 0x04 | 0x20) << what;
            EXPECT_EQ(fields["whole_width"].asInt(), e.width) << what;
            EXPECT_EQ(fields["whole_height"].asInt(), e.height) << what;
        }
    } else {
        const auto starts = ItemsNamed(report, "START_PAGE_CMD");
        ASSERT_FALSE(starts.empty()) << what;
        for (const Json *s : starts) {
            bool sawDepth = false;
            for (const Json &p : (*s)["params"].arr)
                if (p["name"].str == "VIDEO_DEPTH_PARAM") {
                    sawDepth = true;
                    EXPECT_EQ(p["value"].asInt(), e.bpp) << what;
                }
            EXPECT_TRUE(sawDepth) << what;
        }
    }
}

struct JobCase {
    Model model;
    bool dpi1200;
    bool negative;
    bool library;
};

std::string Describe(const JobCase &c) {
    return std::string(c.model.qv ? "QV" : "Mirodel") +
           (c.dpi1200 ? " 1200-dpi request" : " 600 dpi") + (c.negative ? " negative" : "") +
           (c.library ? " with library" : " without library");
}

std::string Tag(const JobCase &c) {
    return std::string(c.model.qv ? "qv" : "mir") + (c.dpi1200 ? "-1200" : "-600") +
           (c.negative ? "-neg" : "") + (c.library ? "-lib" : "-own");
}

std::vector<JobCase> AllCases() {
    std::vector<JobCase> cases;
    for (Model m : {kQV, kMirodel})
        for (bool dpi1200 : {false, true})
            for (bool negative : {false, true})
                for (bool library : {true, false})
                    cases.push_back({m, dpi1200, negative, library});
    return cases;
}

// Runs every case once for the whole file: 16 jobs of four pages.
class ColourLibraryJobs : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        dir_ = new TempDir;
        std::map<unsigned, std::string> rasters;
        for (const JobCase &c : AllCases()) {
            const Expect e = Expected(c.model, c.dpi1200);
            if (!rasters.count(e.dpi)) rasters[e.dpi] = WriteJobRaster(*dir_, e.dpi);
            outcomes_.push_back(RunJob(*dir_, c.model, JobOptions(c.model, c.dpi1200, c.negative),
                                       rasters[e.dpi], c.library ? KELVRA_CMSLIB_BIN : "", Tag(c)));
        }
    }
    static void TearDownTestSuite() {
        outcomes_.clear();
        delete dir_;
        dir_ = nullptr;
    }
    static const JobOutcome &Outcome(const JobCase &c) {
        const auto cases = AllCases();
        for (size_t i = 0; i < cases.size(); ++i)
            if (Tag(cases[i]) == Tag(c)) return outcomes_[i];
        throw std::logic_error("no such case");
    }
    static const JobOutcome &Outcome(const Model &m, bool dpi1200, bool negative, bool library) {
        return Outcome(JobCase{m, dpi1200, negative, library});
    }

    static TempDir *dir_;
    static std::vector<JobOutcome> outcomes_;
};
TempDir *ColourLibraryJobs::dir_ = nullptr;
std::vector<JobOutcome> ColourLibraryJobs::outcomes_;

} // namespace

TEST_F(ColourLibraryJobs, EveryJobPrintsFourWellFormedPagesOfTheAnnouncedDepthAndSize) {
    for (const JobCase &c : AllCases()) {
        const JobOutcome &o = Outcome(c);
        const Expect e = Expected(c.model, c.dpi1200);
        const std::string what = Describe(c);
        EXPECT_EQ(o.run.exitCode, 0) << what << "\n" << o.run.err;
        ASSERT_TRUE(o.report.jsonOk) << what << o.report.err;
        EXPECT_TRUE(o.report.json["ok"].boolean) << what << "\n" << o.report.err;
        EXPECT_EQ(o.report.json["dialect"].str, c.model.qv ? "Z" : "M") << what;
        const Json &pages = o.report.json["pages"];
        ASSERT_EQ(pages.size(), kFills.size()) << what;
        for (size_t i = 0; i < pages.size(); ++i) {
            EXPECT_TRUE(pages[i]["decoded"].boolean) << what << " page " << i + 1;
            EXPECT_EQ(pages[i]["width"].asInt(), e.width) << what;
            EXPECT_EQ(pages[i]["height"].asInt(), e.height) << what;
            EXPECT_EQ(pages[i]["bpp"].asInt(), e.bpp) << what;
            EXPECT_EQ(o.pages[i].size(), static_cast<size_t>(e.width) * e.height * e.bpp / 8)
                << what << " page " << i + 1;
        }
        CheckAnnouncement(o.report.json, c.model, e, what);
    }
}

TEST_F(ColourLibraryJobs, LibraryLinesAppearOnlyWhenTheLibraryIsLoaded) {
    for (const JobCase &c : AllCases()) {
        const JobOutcome &o = Outcome(c);
        const std::string what = Describe(c);
        if (c.library) {
            EXPECT_EQ(CountOf(o.run.err, "cms: Welcome to CMS!\n"), kFills.size()) << what;
            EXPECT_EQ(CountOf(o.run.err, "cms: GDI_ht complete!\n"), kFills.size()) << what;
            EXPECT_EQ(CountOf(o.run.err, "加载CMS库失败"), 0u) << what;
            EXPECT_EQ(CountOf(o.run.err, "cms: Illegal"), 0u) << what << "\n" << o.run.err;
        } else {
            EXPECT_EQ(CountOf(o.run.err, "cms:"), 0u) << what;
            EXPECT_EQ(CountOf(o.run.err, "加载CMS库失败"), 1u) << what;
        }
    }
}

TEST_F(ColourLibraryJobs, WhiteBlackAndGreyGiveTheExpectedLevels) {
    for (const JobCase &c : AllCases()) {
        if (c.negative) continue;
        const JobOutcome &o = Outcome(c);
        const Expect e = Expected(c.model, c.dpi1200);
        const unsigned full = (1u << e.bpp) - 1;
        const std::string what = Describe(c);
        ASSERT_EQ(o.pages.size(), kFills.size()) << what;
        // White: level 0 everywhere, the white columns right of the raster included.
        EXPECT_TRUE(std::all_of(o.pages[WHITE].begin(), o.pages[WHITE].end(), [](uint8_t b) {
            return b == 0;
        })) << what;
        EXPECT_EQ(o.report.json["pages"][size_t{WHITE}]["toner_pixels"].asInt(), 0) << what;
        // Black: full toner (level 3 at two bits) over every raster pixel.
        const auto black = LevelHistogram(o.pages[BLACK], e);
        EXPECT_EQ(black[full], size_t{e.rasterW} * e.height) << what;
        // Mid-grey: a screen, partly toner, partly paper; through the library, several levels.
        const auto grey = LevelHistogram(o.pages[GREY], e);
        const size_t total = size_t{e.rasterW} * e.height;
        EXPECT_GT(grey[0], total / 10) << what;
        EXPECT_LT(grey[0], total * 9 / 10) << what;
        if (c.library) {
            const auto levels =
                std::count_if(grey.begin(), grey.end(), [](size_t n) { return n > 0; });
            EXPECT_EQ(static_cast<unsigned>(levels), full + 1)
                << what << ": every level in the screen";
        }
    }
}

TEST_F(ColourLibraryJobs, NegativePrintingInvertsTheLibraryOutputWhole) {
    for (Model m : {kQV, kMirodel})
        for (bool dpi1200 : {false, true}) {
            const JobOutcome &plain = Outcome(m, dpi1200, false, true);
            const JobOutcome &negative = Outcome(m, dpi1200, true, true);
            ASSERT_EQ(plain.pages.size(), kFills.size());
            ASSERT_EQ(negative.pages.size(), kFills.size());
            for (Fill f : kFills)
                EXPECT_TRUE(negative.pages[f] == Inverted(plain.pages[f]))
                    << (m.qv ? "QV" : "Mirodel") << (dpi1200 ? " 1200" : " 600") << " "
                    << FillName(f) << " page: every bit of the bitmap is inverted";
        }
}

TEST_F(ColourLibraryJobs, NegativePrintingWithoutTheLibraryTurnsWhiteIntoFullToner) {
    for (Model m : {kQV, kMirodel})
        for (bool dpi1200 : {false, true}) {
            const JobOutcome &o = Outcome(m, dpi1200, true, false);
            const Expect e = Expected(m, dpi1200);
            const unsigned full = (1u << e.bpp) - 1;
            ASSERT_EQ(o.pages.size(), kFills.size());
            const std::string what =
                std::string(m.qv ? "QV" : "Mirodel") + (dpi1200 ? " 1200" : " 600");
            EXPECT_EQ(LevelHistogram(o.pages[WHITE], e)[full], size_t{e.rasterW} * e.height)
                << what;
            EXPECT_EQ(LevelHistogram(o.pages[BLACK], e)[0], size_t{e.rasterW} * e.height) << what;
        }
}

TEST_F(ColourLibraryJobs, LibraryPagesAreExactlyWhatTheLibraryGivesForTheFilterRecords) {
    Library lib(KELVRA_CMSLIB_BIN);
    ASSERT_NE(lib.entry, nullptr) << dlerror();
    for (const JobCase &c : AllCases()) {
        if (!c.library) continue;
        const JobOutcome &o = Outcome(c);
        const Expect e = Expected(c.model, c.dpi1200);
        const CMS_SETTINGS settings =
            ExpectedSettings(c.model, c.dpi1200, 0); // computed size: code 0
        ASSERT_EQ(o.pages.size(), kFills.size()) << Describe(c);
        for (Fill f : kFills) {
            const Bytes grey = FilterGreyPage(f, e.width, e.height, e.rasterW, e.rasterW);
            Bytes expected = ScreenDirectly(lib, grey, e.width, e.height, settings, e.bpp);
            if (c.negative) expected = Inverted(expected);
            EXPECT_TRUE(o.pages[f] == expected) << Describe(c) << " " << FillName(f) << " page";
        }
    }
}

// A QV A5 page is fed along its long edge: the print area is exchanged and the grey page
// turned by 90 degrees before the library screens it, so the records must describe the
// turned page (3264 x 4736 becomes 4736 x 3264).
TEST(ColourLibraryLongEdge, QVA5PageScreensTheTurnedPage) {
    TempDir dir;
    const std::string raster = dir.file("a5.ras");
    const cups_page_header2_t h = MakeGreyHeader(420, 595, 600, 600, "A5");
    WriteRasterFile(raster, {MakeGreyPage(h, [](unsigned x, unsigned y) {
                        return RasterPixel(PATTERN, x, y);
                    })});
    const JobOutcome o =
        RunJob(dir, kQV, JobOptions(kQV, false, false), raster, KELVRA_CMSLIB_BIN, "a5");
    ASSERT_EQ(o.run.exitCode, 0) << o.run.err;
    ASSERT_TRUE(o.report.json["ok"].boolean) << o.report.err;
    ASSERT_EQ(o.pages.size(), 1u);
    const Json &page = o.report.json["pages"][size_t{0}];
    EXPECT_EQ(page["width"].asInt(), 4736);
    EXPECT_EQ(page["height"].asInt(), 3264);
    EXPECT_EQ(page["bpp"].asInt(), 2);
    const auto specs = ItemsNamed(o.report.json, "page-spec");
    ASSERT_EQ(specs.size(), 1u);
    EXPECT_EQ((*specs[0])["fields"]["paper_size"].asInt(), 18) << "A5 fed long edge first";

    // The filter's grey page: 3264 of the 3500 raster columns, centred, then turned.
    const unsigned W = 3264, H = 4736, rasterW = h.cupsWidth, cut = (rasterW - W) / 2;
    Bytes grey(size_t{W} * H, 0xFF);
    for (unsigned y = 0; y < std::min(H, h.cupsHeight); ++y)
        for (unsigned x = 0; x < W; ++x)
            grey[size_t{y} * W + x] = RasterPixel(PATTERN, x + cut, y);
    ASSERT_EQ(Rotate90(grey.data(), W, H), 1);
    Library lib(KELVRA_CMSLIB_BIN);
    ASSERT_NE(lib.entry, nullptr) << dlerror();
    const Bytes expected = ScreenDirectly(lib, grey, H, W, ExpectedSettings(kQV, false, 18), 2);
    EXPECT_TRUE(o.pages[0] == expected) << "the library's bitmap of the turned page, unchanged";
}

// A Mirodel page with the long-edge request but no long-edge paper code is not turned: the page
// start, the library's records and the page data must all describe the same unturned bitmap
// (the print area used to be exchanged anyway, so the library screened a sheared page and the
// page start announced 6784 x 4736 for a 4736 x 6784 image).
TEST(ColourLibraryLongEdge, MirodelA4LongEdgeRequestKeepsPageAnnouncementAndBitmapTogether) {
    TempDir dir;
    const std::string raster = dir.file("a4.ras");
    const cups_page_header2_t h = MakeGreyHeader(595, 842, 600, 600, "A4");
    WriteRasterFile(raster, {MakeGreyPage(h, [](unsigned x, unsigned y) {
                        return RasterPixel(PATTERN, x, y);
                    })});
    const unsigned W = 4736, H = 6784, cut = (h.cupsWidth - W) / 2;
    Bytes grey(size_t{W} * H, 0xFF);
    for (unsigned y = 0; y < std::min(H, h.cupsHeight); ++y)
        for (unsigned x = 0; x < W; ++x)
            grey[size_t{y} * W + x] = RasterPixel(PATTERN, x + cut, y);
    Library lib(KELVRA_CMSLIB_BIN);
    ASSERT_NE(lib.entry, nullptr) << dlerror();
    const Bytes expected = ScreenDirectly(lib, grey, W, H, ExpectedSettings(kMirodel, false, 9), 1);

    for (bool library : {true, false}) {
        const std::string what = library ? "with library" : "without library";
        const JobOutcome o = RunJob(dir, kMirodel, "TonerMode=False FeedLongEdge=True", raster,
                                    library ? KELVRA_CMSLIB_BIN : "", library ? "lib" : "own");
        ASSERT_EQ(o.run.exitCode, 0) << o.run.err;
        EXPECT_TRUE(o.report.json["ok"].boolean) << what << "\n" << o.report.err;
        ASSERT_EQ(o.pages.size(), 1u) << what;
        const Json &page = o.report.json["pages"][size_t{0}];
        EXPECT_EQ(page["width"].asInt(), W) << what;
        EXPECT_EQ(page["height"].asInt(), H) << what;
        const auto starts = ItemsNamed(o.report.json, "START_PAGE_CMD");
        ASSERT_EQ(starts.size(), 1u);
        std::map<std::string, int64_t> params;
        for (const Json &p : (*starts[0])["params"].arr)
            params[p["name"].str] = p["value"].asInt();
        EXPECT_EQ(params["PAPER_SIZE_PARAM"], 9) << what;
        EXPECT_EQ(params["IMG_WIDTH_PARAM"], W) << what;
        EXPECT_EQ(params["VIDEO_WIDTH_PARAM"], W) << what;
        EXPECT_EQ(params["IMG_HEIGHT_PARAM"], H) << what;
        EXPECT_EQ(params["VIDEO_HEIGHT_PARAM"], H) << what;
        if (library) {
            EXPECT_TRUE(o.pages[0] == expected) << "the library's bitmap of the unturned page";
        }
    }
}

// A library that opens but lacks an entry point is no library: the filter's own halftoning
// prints the page, and no "cms:" line appears.
TEST(ColourLibraryBinding, LibraryWithoutTheEntryPointsCountsAsAbsent) {
    TempDir dir;
    const std::string raster = WriteJobRaster(dir, 600);
    const std::string options = JobOptions(kQV, false, false);
    const JobOutcome withLibm = RunJob(dir, kQV, options, raster, "libm.so.6", "libm");
    const JobOutcome without = RunJob(dir, kQV, options, raster, "", "none");
    const JobOutcome with = RunJob(dir, kQV, options, raster, KELVRA_CMSLIB_BIN, "lib");
    EXPECT_EQ(withLibm.run.exitCode, 0) << withLibm.run.err;
    EXPECT_EQ(CountOf(withLibm.run.err, "cms:"), 0u);
    EXPECT_EQ(CountOf(withLibm.run.err, "加载CMS库失败"), 1u) << withLibm.run.err;
    EXPECT_NE(withLibm.run.err.find("libm.so.6"), std::string::npos)
        << "the message names the library";
    ASSERT_EQ(withLibm.pages.size(), kFills.size());
    ASSERT_EQ(without.pages.size(), kFills.size());
    ASSERT_EQ(with.pages.size(), kFills.size());
    for (Fill f : kFills)
        EXPECT_TRUE(withLibm.pages[f] == without.pages[f])
            << FillName(f) << ": the filter's own screen";
    EXPECT_FALSE(withLibm.pages[GREY] == with.pages[GREY]) << "the library screens differently";
}
