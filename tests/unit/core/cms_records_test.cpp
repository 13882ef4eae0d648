// The three records handed to the colour library for a page: source, settings, destination.
#include "core/cms_records_fill.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "tests/support/job_fixture.h"

namespace {

GDI_START_PAGE_PARAM PageStart(uint16_t w, uint16_t h, uint16_t paper) {
    GDI_START_PAGE_PARAM p{};
    p.userPrntAreaW = w;
    p.userPrntAreaH = h;
    p.paperSize = paper;
    return p;
}

TEST(CmsRecords, SourceDescribesTheWholeGreyPrintArea) {
    std::vector<unsigned char> page(16);
    CMS_TRANSFER_SRC src;
    std::memset(&src, 0xAB, sizeof src);
    GetCMSinput(&src, page.data(), PageStart(4960, 7016, 1));
    EXPECT_EQ(src.iStructVersion, 0);
    EXPECT_EQ(src.cbStructSize, 36);
    EXPECT_EQ(src.ColorSrcData, page.data());
    EXPECT_EQ(src.InputDataX, 0);
    EXPECT_EQ(src.InputDataY, 0);
    EXPECT_EQ(src.InputDataWidth, 4960);
    EXPECT_EQ(src.InputDataLineByte, 4960u);
    EXPECT_EQ(src.InputDataHeight, 7016);
    EXPECT_EQ(src.cbSize, 4960 * 7016);
    EXPECT_EQ(std::memcmp(src.Reserved, "\0\0\0\0", 4), 0);

    // The largest print area does not fit the signed size field: it is clamped.
    GetCMSinput(&src, page.data(), PageStart(65535, 65535, 1));
    EXPECT_EQ(src.cbSize, INT32_MAX);
}

TEST(CmsRecords, SettingsAndOutputDepthPerModelGroup) {
    struct Case {
        const char *what;
        ModelGroup group;
        bool dpi1200;
        int colorBits;
        Quality quality;
        TonerMode toner;
        int densityOption;
        uint8_t dpiMode, bitMode, tonerSave, density;
    };
    const Case cases[] = {
        // Mirodel models: fixed tone settings, depth from the bit depth.
        {"Mirodel, 2 bits", ModelGroup::Mirodel, false, 2, Quality::Normal, TonerMode::Save, 5, 1,
         1, 0, 3},
        {"Mirodel, 1 bit", ModelGroup::Mirodel, false, 1, Quality::Dpi1200, TonerMode::Save, 5, 0,
         0, 0, 3},
        // Others: the options decide, depth from the resolution.
        {"QV, 1200 dpi", ModelGroup::QV, true, 1, Quality::Dpi1200, TonerMode::Normal, 4, 1, 0, 0,
         4},
        {"QV, 600 dpi", ModelGroup::QV, false, 2, Quality::Normal, TonerMode::Other, 2, 0, 1, 3, 2},
        {"other, a density beyond a byte", ModelGroup::Plain, false, 2, Quality::Dpi1200,
         TonerMode::Unnamed, 0x205, 1, 1, 2, 5}, // its low byte only
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        JobSettings job = TestSettings(PLATFORM_Z, c.group);
        job.is1200dpi = c.dpi1200;
        job.colorBits = c.colorBits;
        PrintOptions options;
        options.quality = c.quality;
        options.toner = c.toner;
        options.density = c.densityOption;
        CMS_SETTINGS set;
        std::memset(&set, 0xAB, sizeof set);
        GetCMSSettings(&set, job, &options, PageStart(4960, 7016, 9));
        EXPECT_EQ(set.iStructVersion, 0);
        EXPECT_EQ(set.cbStructSize, 18);
        EXPECT_EQ(set.PaperSize, 9);
        EXPECT_EQ(set.DpiMode, c.dpiMode);
        EXPECT_EQ(set.BitMode, c.bitMode);
        EXPECT_EQ(set.TonerSaveMode, c.tonerSave);
        EXPECT_EQ(set.TonerDensityLevel, c.density);
        EXPECT_EQ(std::memcmp(set.Reserved, "\0\0\0\0", 4), 0);

        CMS_TRANSFER_SRC src;
        std::vector<unsigned char> grey(8), mono(8);
        GetCMSinput(&src, grey.data(), PageStart(4960, 7016, 9));
        CMS_TRANSFER_DST dst;
        std::memset(&dst, 0xAB, sizeof dst);
        GetCMSoutput(&dst, job, mono.data(), &src, 8699840);
        EXPECT_EQ(dst.iStructVersion, 0);
        EXPECT_EQ(dst.cbStructSize, 35);
        EXPECT_EQ(dst.ColorDstData, mono.data());
        EXPECT_EQ(dst.cbSize, 8699840);
        EXPECT_EQ(dst.OutputBitMode, c.bitMode);
        EXPECT_EQ(dst.OutputDataX, 0);
        EXPECT_EQ(dst.OutputDataY, 0);
        EXPECT_EQ(dst.OutputDataWidth, 4960);
        EXPECT_EQ(dst.OutputDataHeight, 7016);
        EXPECT_EQ(std::memcmp(dst.Reserved, "\0\0\0\0", 4), 0);
    }
}

// Without an option table the settings take the library's middle curve; without a source the
// destination covers nothing.
TEST(CmsRecords, MissingOptionTableOrSource) {
    const JobSettings job = TestSettings(PLATFORM_Z, ModelGroup::QV);
    CMS_SETTINGS set;
    std::memset(&set, 0xAB, sizeof set);
    GetCMSSettings(&set, job, nullptr, PageStart(4960, 7016, 1));
    EXPECT_EQ(set.DpiMode, 0);
    EXPECT_EQ(set.TonerSaveMode, 0);
    EXPECT_EQ(set.TonerDensityLevel, 3);
    EXPECT_EQ(set.BitMode, 1);

    CMS_TRANSFER_DST dst;
    std::memset(&dst, 0xAB, sizeof dst);
    GetCMSoutput(&dst, job, nullptr, nullptr, 0);
    EXPECT_EQ(dst.cbStructSize, 35);
    EXPECT_EQ(dst.OutputDataWidth, 0);
    EXPECT_EQ(dst.OutputDataHeight, 0);
}

} // namespace
