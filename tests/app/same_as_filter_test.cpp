// The Printer Application and the CUPS filter print the same raster pages alike: for the same
// pages, media and settings, a PWG raster job on the app and the filter on CUPS raster with the
// model's PPD give the same page bitmaps and the same page starts, on one model of each platform
// (C, Z, M) and a QV model (the colour library loaded on both sides).
#include <gtest/gtest.h>

#include <cups/raster.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <vector>

#include "tests/app/app_server.h"
#include "tests/support/inspect_runner.h"

namespace {

constexpr const char *kA4 = "iso_a4_210x297mm";
constexpr unsigned kPages = 2;

// Pixel (x, y) of page p: a grey ramp over every level at the top, black blocks and a thin
// diagonal that move from page to page, white elsewhere.
uint8_t Pixel(unsigned p, unsigned x, unsigned y, unsigned width) {
    if (y < 1200) return static_cast<uint8_t>(x * 256 / width);
    if (y >= 2000 && y < 3000 && x >= 300 * p + 400 && x < 300 * p + 1400) return 0;
    const unsigned d = y / 2 + 50 * p;
    return (x + 2 >= d && x <= d + 2) ? 0 : 0xFF;
}

// The same A4 pages of 8-bit grey at 600 dpi, written as the client's PWG raster (named by
// PWG media name, A4 as 595 x 841 points) and as CUPS makes raster for the PPD (named A4,
// 595 x 842 points): the same lines in both.
void WritePages(const std::string &pwgPath, const std::string &cupsPath) {
    cups_page_header2_t pwg;
    cupsRasterInitPWGHeader(&pwg, pwgMediaForPWG(kA4), "sgray_8", 600, 600, "one-sided", "normal");
    pwg.cupsInteger[CUPS_RASTER_PWG_TotalPageCount] = kPages;
    cups_page_header2_t cups = pwg;
    std::memset(cups.cupsPageSizeName, 0, sizeof cups.cupsPageSizeName);
    std::strcpy(cups.cupsPageSizeName, "A4");
    cups.PageSize[0] = 595;
    cups.PageSize[1] = 842;
    const int pwgFd = open(pwgPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int cupsFd = open(cupsPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    cups_raster_t *pwgRas = cupsRasterOpen(pwgFd, CUPS_RASTER_WRITE_PWG);
    cups_raster_t *cupsRas = cupsRasterOpen(cupsFd, CUPS_RASTER_WRITE);
    std::vector<uint8_t> line(pwg.cupsBytesPerLine);
    for (unsigned p = 1; p <= kPages; ++p) {
        cupsRasterWriteHeader2(pwgRas, &pwg);
        cupsRasterWriteHeader2(cupsRas, &cups);
        for (unsigned y = 0; y < pwg.cupsHeight; ++y) {
            for (unsigned x = 0; x < pwg.cupsWidth; ++x)
                line[x] = Pixel(p, x, y, pwg.cupsWidth);
            cupsRasterWritePixels(pwgRas, line.data(), pwg.cupsBytesPerLine);
            cupsRasterWritePixels(cupsRas, line.data(), pwg.cupsBytesPerLine);
        }
    }
    cupsRasterClose(pwgRas);
    cupsRasterClose(cupsRas);
    close(pwgFd);
    close(cupsFd);
}

// Page p's page-start items as text: frame fields (platforms C, Z) or block parameters (M).
std::vector<std::string> PageStart(const Json &report, int64_t page) {
    std::vector<std::string> lines;
    for (const Json &item : report["items"].arr) {
        const std::string &name = item["name"].str;
        if (item["page"].asInt() != page ||
            (name != "page-spec" && name != "custom-paper" && name != "START_PAGE_CMD"))
            continue;
        std::string text = name;
        for (const auto &[key, value] : item["fields"].obj)
            text += " " + key + "=" +
                    (value.type == Json::String ? value.str : std::to_string(value.asInt()));
        for (const Json &param : item["params"].arr)
            text += " " + param["name"].str + "=" + std::to_string(param["value"].asInt());
        lines.push_back(text);
    }
    return lines;
}

class SameAsFilter : public ::testing::TestWithParam<const char *> {
  protected:
    static void SetUpTestSuite() {
        server_ = new AppServer;
        ASSERT_TRUE(server_->ok()) << server_->Log();
        WritePages(server_->dir() + "/pages.pwg", server_->dir() + "/pages.ras");
    }
    static void TearDownTestSuite() {
        delete server_;
        server_ = nullptr;
    }
    static AppServer *server_;
};
AppServer *SameAsFilter::server_ = nullptr;

// Tray 1 (media-source tray-1 / InputSlot=Tray1) and pages turned by 180 degrees (rotate-180 /
// ImageRotation=True); the other settings are the printer's and the PPD's defaults.
TEST_P(SameAsFilter, PrintsTheFiltersBitmapsAndPageStarts) {
    const std::string model = GetParam(), dir = server_->dir();
    ASSERT_TRUE(server_->AddPrinter(model, "kelvra-" + model)) << server_->Log();
    IppPtr request = server_->NewRequest(IPP_OP_PRINT_JOB, model);
    ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_MIMETYPE, "document-format", nullptr,
                 "image/pwg-raster");
    ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_NAME, "job-name", nullptr, "same");
    ippAddBoolean(request.get(), IPP_TAG_JOB, "rotate-180", 1);
    IppPtr mediaCol(ippNew());
    ippAddString(mediaCol.get(), IPP_TAG_ZERO, IPP_TAG_KEYWORD, "media-source", nullptr, "tray-1");
    ippAddCollection(request.get(), IPP_TAG_JOB, "media-col", mediaCol.get());
    IppPtr response = server_->Request(model, std::move(request), dir + "/pages.pwg");
    const int id = ippGetInteger(ippFindAttribute(response.get(), "job-id", IPP_TAG_INTEGER), 0);
    ASSERT_GT(id, 0) << cupsLastErrorString();
    ASSERT_EQ(server_->WaitJob(model, id), IPP_JSTATE_COMPLETED) << server_->Log();
    const InspectRun app = InspectJson(server_->OutputDir(model) + "/same.prn");

    FilterCall call;
    call.args = FilterArgs("ImageRotation=True InputSlot=Tray1", dir + "/pages.ras");
    call.env["PPD"] = std::string(KELVRA_BUILD_DIR) + "/ppd/ppd/kelvra-" + model + ".ppd";
    call.env["KELVRA_CMS_LIBRARY"] = KELVRA_CMSLIB_BIN;
    const FilterRun run = RunFilterProcess(call);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    WriteWholeFile(dir + "/" + model + ".prn", run.out);
    const InspectRun filter = InspectJson(dir + "/" + model + ".prn");

    for (const InspectRun *r : {&app, &filter}) {
        ASSERT_EQ(r->exitCode, 0) << r->err;
        ASSERT_EQ((*r).json["pages"].size(), kPages);
    }
    EXPECT_EQ(app.json["dialect"].str, filter.json["dialect"].str);
    for (unsigned i = 0; i < kPages; ++i) {
        SCOPED_TRACE("page " + std::to_string(i + 1));
        const Json &a = app.json["pages"][i], &f = filter.json["pages"][i];
        EXPECT_GT(f["toner_pixels"].asInt(), 0);
        for (const char *key : {"width", "height", "bpp", "toner_pixels"})
            EXPECT_EQ(a[key].asInt(), f[key].asInt()) << key;
        EXPECT_EQ(a["hash"].str, f["hash"].str) << "the decoded bitmaps differ";
        const std::vector<std::string> starts = PageStart(filter.json, i + 1);
        EXPECT_FALSE(starts.empty());
        EXPECT_EQ(PageStart(app.json, i + 1), starts);
    }
}

INSTANTIATE_TEST_SUITE_P(OnePerPlatform, SameAsFilter,
                         ::testing::Values("r10", "r18", "r40", "qv66adn"),
                         [](const auto &info) { return std::string(info.param); });

} // namespace
