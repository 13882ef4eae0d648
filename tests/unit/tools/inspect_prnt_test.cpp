// kelvra-inspect on job streams written by the driver's own printer operations (Prnt_StartDoc,
// Prnt_StartPage, Prnt_SendPage, Prnt_EndPage, Prnt_EndDoc): each dialect's job of two pages
// is well-formed and decodes to the bitmaps sent.
#include "common/last_error.h"
#include "common/sink.h"
#include "prnt/prnt.h"
#include "tests/support/filter_runner.h"
#include "tests/support/inspect_runner.h"
#include "tests/support/job_fixture.h"
#include "tests/unit/tools/stream_builder.h"

#include <gtest/gtest.h>

#include <fstream>

using namespace sb;

namespace {

struct PrntCase {
    const char *name;
    int platform;
    ModelGroup group;
    EngineBlock engine;
    int bpp; // bits per pixel of the QV and Mirodel models; 1 for the others
};

const PrntCase kCases[] = {
    {"PlatformC", PLATFORM_C, ModelGroup::Plain, EngineBlock::None, 1},
    {"PlatformZ_R18", PLATFORM_Z, ModelGroup::Plain, EngineBlock::R18, 1},
    {"PlatformZ_QV2bit", PLATFORM_Z, ModelGroup::QV, EngineBlock::None, 2},
    {"PlatformM", PLATFORM_M, ModelGroup::Plain, EngineBlock::None, 1},
    {"PlatformM_Mirodel2bit", PLATFORM_M, ModelGroup::Mirodel, EngineBlock::None, 2},
    {"PlatformM_QV2bit", PLATFORM_M, ModelGroup::QV, EngineBlock::None, 2},
};

// Writes one job of the given pages through the printer operations into `path`; returns
// false (with the job's error text in `error`) when an operation failed.
bool WriteJob(const PrntCase &c, std::vector<TestPage> pages, const std::string &path,
              std::string &error) {
    JobSettings settings = TestSettings(c.platform, c.group);
    settings.engine = c.engine;
    settings.colorBits = c.bpp;
    const bool qvOrMirodel = c.group != ModelGroup::Plain;
    MemoryWriter writer;
    ErrorText errorText;
    OutputSink sink(writer, errorText);
    PrntStream stream{settings, sink, errorText, 0, false, 0, 0, {}};
    bool ok = true;
    GDI_START_DOC_PARAM doc{};
    doc.jobID = 42;
    doc.saveMode = c.platform == PLATFORM_M ? 0 : 0x10;
    doc.densityLevel = 3;
    ok &= Prnt_StartDoc(stream, doc) == 1;
    for (size_t i = 0; i < pages.size(); ++i) {
        TestPage &pg = pages[i];
        stream.page = int(i + 1);
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
        ok &= Prnt_StartPage(stream, sp) == 1;
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
        ok &= Prnt_SendPage(stream, send, 0) == 1;
        GDI_END_PAGE_PARAM ep{};
        ep.page = int(i + 1);
        ep.resolutionE = 600;
        ep.paperWidthE = 210;
        ep.densityE = 3;
        ok &= Prnt_EndPage(stream, ep) == 1;
    }
    GDI_END_DOC_PARAM ed{};
    ed.page = int(pages.size());
    ok &= Prnt_EndDoc(stream, ed) == 1;
    std::ofstream(path, std::ios::binary) << writer.bytes;
    error = errorText.c_str();
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
    std::string error;
    ASSERT_TRUE(WriteJob(c, pages, path, error)) << error;
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
