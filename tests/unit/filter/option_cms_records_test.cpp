#include "filter/cms_records_fill.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "common/globals.h"

namespace {

GDI_START_PAGE_PARAM PageStart(uint16_t w, uint16_t h, uint16_t paper) {
    GDI_START_PAGE_PARAM p{};
    p.userPrntAreaW = w;
    p.userPrntAreaH = h;
    p.paperSize = paper;
    return p;
}

void SetModel(const char *name, bool dpi1200, int colorBit) {
    std::snprintf(gPPDFile, sizeof gPPDFile, "%s", name);
    is1200dpi = dpi1200;
    Color_bit = colorBit;
}

TEST(CmsRecords, SourceDescribesTheWholeGreyPrintArea) {
    std::vector<unsigned char> page(16);
    CMS_TRANSFER_SRC src;
    std::memset(&src, 0xAB, sizeof src);
    GetCMSinput(&src, nullptr, page.data(), PageStart(4960, 7016, 1));
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
    GetCMSinput(&src, nullptr, page.data(), PageStart(65535, 65535, 1));
    EXPECT_EQ(src.cbSize, INT32_MAX);
}

TEST(CmsRecords, SettingsAndOutputDepthPerModelGroup) {
    struct Case {
        const char *model;
        bool dpi1200;
        int colorBit;
        int slotDpi, slotToner, slotDensity;
        uint8_t dpiMode, bitMode, tonerSave, density;
    };
    const Case cases[] = {
        // Mirodel models: fixed tone settings, depth from Color_bit.
        {"Mirodel R70-pp Series", false, 2, 0, 1, 5, 1, 1, 0, 3},
        {"Mirodel V70-pp Series", false, 1, 1, 1, 5, 0, 0, 0, 3},
        // Others: options decide, depth from is1200dpi.
        {"Kelvra QV66ADN Series", true, 1, 1, 0, 4, 1, 0, 0, 4},
        {"Kelvra QV68ADW Series", false, 2, 0, 3, 2, 0, 1, 3, 2},
        {"Mirodel R70-pp", false, 2, 0x101, 0x1FF, 0x205, 1, 1, 0xFF, 5}, // low bytes only
    };
    for (const Case &c : cases) {
        SetModel(c.model, c.dpi1200, c.colorBit);
        PRINT_FUNC_INFO table[kPrntFuncInfoCount];
        std::copy(gDefaultPrntFuncInfo, gDefaultPrntFuncInfo + kPrntFuncInfoCount, table);
        table[DPI1200].value = c.slotDpi;
        table[TONERMODE].value = c.slotToner;
        table[DENSITY].value = c.slotDensity;
        cups_page_header2_t header{};
        CMS_SETTINGS set;
        std::memset(&set, 0xAB, sizeof set);
        GetCMSSettings(&set, table, header, PageStart(4960, 7016, 9));
        EXPECT_EQ(set.iStructVersion, 0) << c.model;
        EXPECT_EQ(set.cbStructSize, 18) << c.model;
        EXPECT_EQ(set.PaperSize, 9) << c.model;
        EXPECT_EQ(set.DpiMode, c.dpiMode) << c.model;
        EXPECT_EQ(set.BitMode, c.bitMode) << c.model;
        EXPECT_EQ(set.TonerSaveMode, c.tonerSave) << c.model;
        EXPECT_EQ(set.TonerDensityLevel, c.density) << c.model;
        EXPECT_EQ(std::memcmp(set.Reserved, "\0\0\0\0", 4), 0) << c.model;

        CMS_TRANSFER_SRC src;
        std::vector<unsigned char> grey(8), mono(8);
        GetCMSinput(&src, &header, grey.data(), PageStart(4960, 7016, 9));
        CMS_TRANSFER_DST dst;
        std::memset(&dst, 0xAB, sizeof dst);
        GetCMSoutput(&dst, mono.data(), &src, 8699840);
        EXPECT_EQ(dst.iStructVersion, 0);
        EXPECT_EQ(dst.cbStructSize, 35);
        EXPECT_EQ(dst.ColorDstData, mono.data());
        EXPECT_EQ(dst.cbSize, 8699840);
        EXPECT_EQ(dst.OutputBitMode, c.bitMode) << c.model;
        EXPECT_EQ(dst.OutputDataX, 0);
        EXPECT_EQ(dst.OutputDataY, 0);
        EXPECT_EQ(dst.OutputDataWidth, 4960);
        EXPECT_EQ(dst.OutputDataHeight, 7016);
        EXPECT_EQ(std::memcmp(dst.Reserved, "\0\0\0\0", 4), 0);
    }
    SetModel("", false, 1);
}

} // namespace
