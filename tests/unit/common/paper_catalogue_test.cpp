#include "common/paper_catalogue.h"

#include <cstring>
#include <gtest/gtest.h>

#include "common/dialect.h"
#include "common/model_catalogue.h"

namespace {
int Rows(const PAPER_SIZE_INFO *t) {
    int n = 0;
    while (t[n].cupsPaperW != -1)
        ++n;
    return n;
}
int BySize(const PAPER_SIZE_INFO *t, unsigned w, unsigned h) {
    const unsigned size[2] = {w, h};
    return GetPaperArrayIndex(size, t, nullptr);
}
} // namespace

TEST(PaperCatalogue, TablesHaveTheirRowCountsAndEndRows) {
    struct Case {
        const PAPER_SIZE_INFO *table;
        int rows;
    };
    for (const Case &c :
         {Case{gPaperSizeArray_TK76, 24}, Case{gPaperSizeArray_TK76MFP, 23},
          Case{gPaperSizeArray_RT74_RTV72, 33}, Case{gPaperSizeArray_RT40_RTV54, 23}}) {
        ASSERT_EQ(Rows(c.table), c.rows);
        const PAPER_SIZE_INFO &end = c.table[c.rows];
        EXPECT_EQ(end.cupsPaperH | end.fwPaperW | end.fwPaperH | end.fwPaperNum, 0);
        EXPECT_EQ(end.fwPaperMarginX | end.fwPaperMarginY, 0);
        EXPECT_STREQ(end.strPageSize, "");
    }
    EXPECT_EQ(std::memcmp(gPaperSizeArray_RT74_RTV72[25].strPageSize,
                          "11\xC3\x97"
                          "17",
                          7),
              0);
    EXPECT_EQ(gPaperSizeArray_TK76MFP[11].fwPaperMarginX, 240);
    EXPECT_EQ(gPaperSizeArray_TK76MFP[16].fwPaperMarginY, 120);
}

// The model catalogue names a model's table and dialect (and group); names match whole,
// exactly and case-sensitively.
TEST(PaperCatalogue, ModelNameSelectsTableAndPlatform) {
    struct Case {
        const char *model;
        const PAPER_SIZE_INFO *table;
        int platform;
        ModelGroup group;
    };
    const Case cases[] = {
        {"Kelvra R10 Series", gPaperSizeArray_TK76, PLATFORM_C, ModelGroup::Plain},
        {"Kelvra V16 Series", gPaperSizeArray_TK76MFP, PLATFORM_C, ModelGroup::Plain},
        {"Kelvra V24DW Plus Series", gPaperSizeArray_RT74_RTV72, PLATFORM_Z, ModelGroup::Plain},
        {"Kelvra V36NW Series", gPaperSizeArray_RT74_RTV72, PLATFORM_Z, ModelGroup::Plain},
        {"Kelvra R38 Series", gPaperSizeArray_RT40_RTV54, PLATFORM_M, ModelGroup::Plain},
        {"Kelvra VX64NW Series", gPaperSizeArray_RT40_RTV54, PLATFORM_M, ModelGroup::Plain},
        {"Kelvra QV66ADN Series", gPaperSizeArray_RT74_RTV72, PLATFORM_Z, ModelGroup::QV},
        {"Kelvra QV68ADN Series", gPaperSizeArray_RT74_RTV72, PLATFORM_Z, ModelGroup::QV},
        {"Mirodel R70-pp Series", gPaperSizeArray_RT40_RTV54, PLATFORM_M, ModelGroup::Mirodel},
        {"Mirodel V70-pp Series", gPaperSizeArray_RT40_RTV54, PLATFORM_M, ModelGroup::Mirodel},
    };
    for (const Case &c : cases) {
        const ModelInfo *m = FindModel(c.model);
        ASSERT_NE(m, nullptr) << c.model;
        EXPECT_EQ(m->PaperRows(), c.table) << c.model;
        EXPECT_EQ(m->platform, c.platform) << c.model;
        EXPECT_EQ(m->group, c.group) << c.model;
    }
    for (const char *unlisted : {"kelvra r10 series", "Kelvra R10 Series ", "Kelvra QV66ADN",
                                 "kelvra QV66ADN Series", "Mirodel V70-pp", ""})
        EXPECT_EQ(FindModel(unlisted), nullptr) << unlisted;
}

TEST(PaperCatalogue, PlatformKeywordIsCaseInsensitiveAndExact) {
    struct Case {
        const char *text;
        bool found;
        int platform;
        const PAPER_SIZE_INFO *table;
    };
    const Case cases[] = {
        {"PLATFORM_M", true, PLATFORM_M, gPaperSizeArray_RT40_RTV54},
        {"platform_c", true, PLATFORM_C, gPaperSizeArray_TK76},
        {"Platform_Z", true, PLATFORM_Z, gPaperSizeArray_RT74_RTV72},
        {"PLATFORM_Q", false, PLATFORM_NONE, nullptr},
        {"PLATFORM_Z ", false, PLATFORM_NONE, nullptr},
        {"", false, PLATFORM_NONE, nullptr},
    };
    for (const Case &c : cases) {
        int platform = PLATFORM_NONE;
        const PAPER_SIZE_INFO *table = nullptr;
        EXPECT_EQ(GetPaperSizeArrayByPlatformName(c.text, &platform, &table), c.found) << c.text;
        EXPECT_EQ(platform, c.platform);
        EXPECT_EQ(table, c.table);
    }
}

TEST(PaperCatalogue, SizeLookupIsExactPortraitAndFirstRowWins) {
    struct Case {
        const PAPER_SIZE_INFO *table;
        unsigned w, h;
        int row;
    };
    const Case cases[] = {
        {gPaperSizeArray_TK76, 595, 842, 2},         {gPaperSizeArray_RT74_RTV72, 595, 842, 1},
        {gPaperSizeArray_RT40_RTV54, 595, 842, 1},   {gPaperSizeArray_TK76, 842, 595, -1},
        {gPaperSizeArray_TK76, 596, 842, -1},        {gPaperSizeArray_TK76, 354, 499, 6},
        {gPaperSizeArray_RT74_RTV72, 842, 1191, 24}, {gPaperSizeArray_TK76, 842, 1191, -1},
        {gPaperSizeArray_TK76MFP, 842, 1191, -1},    {gPaperSizeArray_RT40_RTV54, 842, 1191, -1},
    };
    for (const Case &c : cases)
        EXPECT_EQ(BySize(c.table, c.w, c.h), c.row) << c.w << "x" << c.h;
    EXPECT_EQ(gPaperSizeArray_TK76[6].fwPaperNum, 31);
    EXPECT_EQ(gPaperSizeArray_RT74_RTV72[24].fwPaperNum, 35);
    EXPECT_EQ(BySize(nullptr, 595, 842), -1);
}

TEST(PaperCatalogue, NameLookupIsSubstringIgnoringCaseInTableOrder) {
    struct Case {
        const PAPER_SIZE_INFO *table;
        const char *name;
        int row;
    };
    const Case cases[] = {
        {gPaperSizeArray_TK76, "a4", 2},
        {gPaperSizeArray_RT74_RTV72, "Postcard", 9},
        {gPaperSizeArray_RT40_RTV54, "Postcard", 9},
        {gPaperSizeArray_TK76, "16K", 21},
        {gPaperSizeArray_TK76, "32K", 20},
        {gPaperSizeArray_TK76, "B5", 4},
        {gPaperSizeArray_RT74_RTV72, "B5", 4},
        {gPaperSizeArray_TK76, "", 0},
        {gPaperSizeArray_TK76, "Tabloid", -1},
        {gPaperSizeArray_RT74_RTV72,
         "11\xC3\x97"
         "17",
         25},
    };
    for (const Case &c : cases)
        EXPECT_EQ(GetPaperArrayIndexbyPaperName(c.table, c.name), c.row) << c.name;
}
