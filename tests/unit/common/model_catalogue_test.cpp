// The model catalogue: its lookups, the PWG names of the paper-table rows against libcups, and
// its agreement with the filter's own model lists (which are to be switched over to it).
#include "common/model_catalogue.h"
#include "common/job_settings.h"

#include <cmath>
#include <set>
#include <string>

#include <cups/cups.h>
#include <gtest/gtest.h>

namespace {

constexpr PaperTable kTables[] = {PaperTable::TK76, PaperTable::TK76MFP, PaperTable::RT74_RTV72,
                                  PaperTable::RT40_RTV54};

// Index of the first row with the row's size: the row the filter finds for that page size.
int FirstRowOfSize(const PAPER_SIZE_INFO *table, int row) {
    int i = 0;
    while (table[i].cupsPaperW != table[row].cupsPaperW ||
           table[i].cupsPaperH != table[row].cupsPaperH)
        ++i;
    return i;
}

TEST(ModelCatalogue, LookupsFindEveryModelByWholeExactNames) {
    std::set<std::string> drivers;
    for (const ModelInfo &m : AllModels()) {
        EXPECT_EQ(FindModel(m.modelName), &m) << m.modelName;
        EXPECT_EQ(FindModelByDriver(m.DriverName()), &m) << m.modelName;
        EXPECT_EQ(FindModelByDriver(m.ppdFileName), &m) << m.modelName;
        EXPECT_TRUE(drivers.insert(std::string(m.DriverName())).second) << m.ppdFileName;
    }
    EXPECT_EQ(AllModels().size(), 61u);
    EXPECT_EQ(FindModelByDriver("kelvra-r18")->engine, EngineBlock::R18);
    EXPECT_STREQ(FindModelByDriver("kelvra-v20-v22.ppd")->modelName, "Kelvra V20-V22 Series");
    for (const char *name : {"kelvra R18 Series", "Kelvra R18 Series ", "Kelvra R18", "",
                             "Kelvra V24DW Plus Series X", "Kelvra R18 Series\n"})
        EXPECT_EQ(FindModel(name), nullptr) << name;
    for (const char *name : {"kelvra-r18.PPD", "Kelvra-r18", "kelvra-r18.ppd.ppd", ".ppd", ""})
        EXPECT_EQ(FindModelByDriver(name), nullptr) << name;
}

// Each row has one PWG name, which finds the row back (the first row of its size, as the
// filter's size lookup does); a name is standard exactly where libcups knows the size, and
// every name, standard or custom, describes the row's size to within a point (the tables
// round some sizes down).
TEST(ModelCatalogue, PwgNamesRoundTripAndAgreeWithLibcups) {
    for (PaperTable t : kTables) {
        SCOPED_TRACE(PaperTableName(t));
        const PAPER_SIZE_INFO *rows = PaperRows(t);
        for (int r = 0; rows[r].cupsPaperW != -1; ++r) {
            SCOPED_TRACE(rows[r].strPageSize);
            const char *name = PwgMediaOfRow(rows[r]);
            ASSERT_NE(name, nullptr);
            EXPECT_EQ(PaperRowOfPwgMedia(rows, name), FirstRowOfSize(rows, r)) << name;

            pwg_media_t *byName = pwgMediaForPWG(name);
            ASSERT_NE(byName, nullptr) << name;
            EXPECT_LE(std::fabs(byName->width * 72.0 / 2540 - rows[r].cupsPaperW), 1.0) << name;
            EXPECT_LE(std::fabs(byName->length * 72.0 / 2540 - rows[r].cupsPaperH), 1.0) << name;
            pwg_media_t *bySize = pwgMediaForSize(PWG_FROM_POINTS(rows[r].cupsPaperW),
                                                  PWG_FROM_POINTS(rows[r].cupsPaperH));
            ASSERT_NE(bySize, nullptr);
            const std::string libcups = bySize->pwg;
            if (libcups.starts_with("custom_"))
                EXPECT_TRUE(std::string(name).starts_with("custom_")) << name;
            else
                EXPECT_EQ(name, libcups);
        }
    }
    // A raster header's A4 is 595 x 841 points: the name, not the size, finds the row.
    EXPECT_EQ(PaperRowOfPwgMedia(gPaperSizeArray_RT74_RTV72, "iso_a4_210x297mm"), 1);
    EXPECT_EQ(PaperRowOfPwgMedia(gPaperSizeArray_RT74_RTV72, "iso_a4"), -1);
    EXPECT_EQ(PaperRowOfPwgMedia(gPaperSizeArray_RT40_RTV54, "iso_a3_297x420mm"), -1);
    EXPECT_EQ(PaperRowOfPwgMedia(nullptr, "iso_a4_210x297mm"), -1);
    PAPER_SIZE_INFO unknown = gPaperSizeArray_TK76[0];
    unknown.cupsPaperH += 1;
    EXPECT_EQ(MediaOfRow(unknown), nullptr);
}

} // namespace

namespace {

// The bit depth of a job by model group, platform, the resolved "1200 dpi" wish and the DPI1200
// option: QV prints 1 bit at 1200 dpi or 2 bits at 600; Mirodel 2 bits with the wish; the
// driver's own screens give 2 bits only on platform M with the option.
TEST(ModelCatalogue, BitDepthFollowsTheGroupAndThePlatformScreens) {
    struct Case {
        ModelGroup group;
        int platform;
        bool wants1200, option;
        bool is1200dpi;
        int colorBits, screenBits;
        bool twoBitPages;
    };
    const Case cases[] = {
        {ModelGroup::QV, PLATFORM_Z, true, true, true, 1, 1, false},
        {ModelGroup::QV, PLATFORM_Z, false, false, false, 2, 1, true},
        {ModelGroup::Mirodel, PLATFORM_M, true, true, false, 2, 2, true},
        {ModelGroup::Mirodel, PLATFORM_M, false, false, false, 1, 1, false},
        {ModelGroup::Plain, PLATFORM_M, false, true, false, 1, 2, true},
        {ModelGroup::Plain, PLATFORM_M, true, false, false, 1, 1, false},
        {ModelGroup::Plain, PLATFORM_C, true, true, false, 1, 1, false},
        {ModelGroup::Plain, PLATFORM_Z, true, true, false, 1, 1, false},
    };
    for (const Case &c : cases) {
        JobSettings s;
        s.group = c.group;
        s.platform = c.platform;
        s.options.quality = c.option ? Quality::Dpi1200 : Quality::Normal;
        ResolveBitDepth(s, c.wants1200);
        SCOPED_TRACE(::testing::Message() << "group " << int(c.group) << " platform " << c.platform
                                          << " wish " << c.wants1200 << " option " << c.option);
        EXPECT_EQ(s.is1200dpi, c.is1200dpi);
        EXPECT_EQ(s.colorBits, c.colorBits);
        EXPECT_EQ(s.screenBits, c.screenBits);
        EXPECT_EQ(s.twoBitPages, c.twoBitPages);
    }
}

} // namespace
