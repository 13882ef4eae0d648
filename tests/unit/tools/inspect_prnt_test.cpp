// kelvra-inspect on job streams written by the driver's own printer operations (Prnt_StartDoc,
// Prnt_StartPage, Prnt_SendPage, Prnt_EndPage, Prnt_EndDoc) with standard output redirected to
// a file: each dialect's job of two pages is well-formed and decodes to the bitmaps sent.
#include "common/globals.h"
#include "prnt/prnt.h"
#include "tests/support/filter_runner.h"
#include "tests/support/inspect_runner.h"
#include "tests/unit/tools/stream_builder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fcntl.h>
#include <unistd.h>

using namespace sb;

namespace {

struct PrntCase {
    const char *name;
    int platform;
    const char *model;
    int bpp; // Color_bit of the QV and Mirodel models; 1 for the others
};

const PrntCase kCases[] = {
    {"PlatformC", PLATFORM_C, "Kelvra P25 Series", 1},
    {"PlatformZ_R18", PLATFORM_Z, "Kelvra R18 Series", 1},
    {"PlatformZ_QV2bit", PLATFORM_Z, "Kelvra QV66ADN Series", 2},
    {"PlatformM", PLATFORM_M, "Kelvra M40 Series", 1},
    {"PlatformM_Mirodel2bit", PLATFORM_M, "Mirodel R70-pp Series", 2},
    {"PlatformM_QV2bit", PLATFORM_M, "Kelvra QV68ADW Series", 2},
};

// Points standard output at a file for the lifetime of the object.
class StdoutToFile {
  public:
    explicit StdoutToFile(const std::string &path) {
        fflush(stdout);
        saved_ = dup(STDOUT_FILENO);
        const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(fd, STDOUT_FILENO);
        close(fd);
    }
    ~StdoutToFile() {
        fflush(stdout);
        dup2(saved_, STDOUT_FILENO);
        close(saved_);
    }
    StdoutToFile(const StdoutToFile &) = delete;
    StdoutToFile &operator=(const StdoutToFile &) = delete;

  private:
    int saved_ = -1;
};

// Writes one job of the given pages through the printer operations; returns false when an
// operation failed.
bool WriteJob(const PrntCase &c, std::vector<TestPage> pages, const std::string &path) {
    snprintf(gPPDFile, sizeof gPPDFile, "%s", c.model);
    Color_bit = c.bpp;
    gSendDataToDevice = 1;
    IsManDuplex = 0;
    BlankSuppressflag = 0;
    const bool qvOrMirodel = std::strstr(c.model, "QV") || std::strstr(c.model, "Mirodel");
    char *argv[] = {const_cast<char *>("rastertoKelvra"),
                    const_cast<char *>("42"),
                    const_cast<char *>("tester"),
                    const_cast<char *>("a title"),
                    const_cast<char *>("1"),
                    const_cast<char *>("noLockedPinPrint"),
                    nullptr};
    bool ok = true;
    StdoutToFile redirect(path);
    GDI_START_DOC_PARAM doc{};
    doc.jobID = 42;
    doc.saveMode = c.platform == PLATFORM_M ? 0 : 0x10;
    doc.densityLevel = 3;
    ok &= Prnt_StartDoc(&doc, c.platform, argv) == 1;
    for (size_t i = 0; i < pages.size(); ++i) {
        TestPage &pg = pages[i];
        g_page = int(i + 1);
        GDI_START_PAGE_PARAM sp{};
        sp.paperSize = 9;
        sp.mediaType = 1;
        sp.resolutionX = sp.resolutionY = c.platform == PLATFORM_M ? 600 : 60;
        sp.tray = 1;
        sp.copies = 1;
        sp.pageNum = uint16_t(i + 1);
        sp.userPrntAreaW = uint16_t(pg.width);
        sp.userPrntAreaH = uint16_t(pg.height);
        sp.iIs2bit = pg.bpp == 2 ? 1 : 0;
        sp.densityLevel = 3;
        ok &= Prnt_StartPage(&sp, c.platform) == 1;
        GDI_SEND_PAGE_PARAM send{};
        send.compression = 0x20;
        if (pg.bpp == 2) {
            send.colorDepth = 1;
            send.dataPacking = 4;
        }
        // The QV and Mirodel models report the pixel width; the others the doubled width.
        send.whlImgW = uint16_t(qvOrMirodel ? pg.width : pg.codedWidth());
        send.whlImgH = uint16_t(pg.height);
        if (c.platform == PLATFORM_C) {
            send.rasImgW = uint16_t(pg.width);
            send.rasImgH = 768;
        }
        send.sendImgBuf = pg.bits.data();
        ok &= Prnt_SendPage(&send, c.platform, 0) == 1;
        GDI_END_PAGE_PARAM ep{};
        ep.page = int(i + 1);
        ep.resolutionE = 600;
        ep.paperWidthE = 210;
        ep.densityE = 3;
        ok &= Prnt_EndPage(&ep, c.platform) == 1;
    }
    GDI_END_DOC_PARAM ed{};
    ed.page = int(pages.size());
    ok &= Prnt_EndDoc(&ed, c.platform) == 1;
    return ok;
}

void PrintTo(const PrntCase &c, std::ostream *os) {
    *os << c.name;
}

class InspectPrntStream : public ::testing::TestWithParam<PrntCase> {};

TEST_P(InspectPrntStream, DriverJobOfTwoPagesIsWellFormedAndDecodes) {
    const PrntCase &c = GetParam();
    TempDir dir;
    const std::vector<TestPage> pages = {PatternPage(608, 700, c.bpp, 21),
                                         PatternPage(608, 300, c.bpp, 22)};
    const std::string path = dir.file("job.bin");
    ASSERT_TRUE(WriteJob(c, pages, path)) << prntLastError;
    const InspectRun r = InspectJson(path, {"--dump-page", "1", dir.file("p1.raw")});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    ASSERT_TRUE(r.jsonOk) << r.err;
    EXPECT_EQ(r.json["dialect"].str, std::string(1, " CZM"[c.platform]));
    const Json &jp = r.json["pages"];
    ASSERT_EQ(jp.size(), 2u);
    for (size_t i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(jp[i]["page_num"].asInt(), int64_t(i + 1));
        EXPECT_EQ(jp[i]["width"].asInt(), pages[i].width);
        EXPECT_EQ(jp[i]["height"].asInt(), pages[i].height);
        EXPECT_EQ(jp[i]["bpp"].asInt(), c.bpp);
        EXPECT_EQ(jp[i]["toner_pixels"].asInt(), int64_t(TonerPixels(pages[i])));
        EXPECT_EQ(jp[i]["hash"].str, InspectorHash(pages[i].bits.data(), pages[i].bits.size()));
    }
    EXPECT_EQ(ReadFile(dir.file("p1.raw")), pages[0].bits);
    if (c.platform == PLATFORM_C) {
        for (const Json *ck : ItemsNamed(r.json, "image-checksum"))
            EXPECT_EQ((*ck)["fields"]["checksum"].asInt(), (*ck)["fields"]["expected"].asInt());
    }
    if (c.platform == PLATFORM_Z) {
        EXPECT_EQ(ItemsNamed(r.json, "band").size(), 3u + 2u); // 700 and 300 lines
    }
}

INSTANTIATE_TEST_SUITE_P(Dialects, InspectPrntStream, ::testing::ValuesIn(kCases),
                         [](const auto &info) { return std::string(info.param.name); });

} // namespace
