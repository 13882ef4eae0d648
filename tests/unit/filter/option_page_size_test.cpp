// Page-size requests: the media name, the custom size and margins of the option string, and
// the settings the page plan's size decisions read (the printer's largest page from the PPD).
#include "filter/options.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "filter/cups_settings.h"
#include "tests/unit/filter/option_test_ppd.h"

namespace {

// Page sizes and the custom page size with the given largest width and height, in points.
std::string PageSizeEntries(int maxWidth, int maxHeight, bool custom) {
    std::string s = "*OpenUI *PageSize: PickOne\n*DefaultPageSize: Letter\n"
                    "*PageSize Letter: \"\"\n*PageSize A4: \"\"\n*CloseUI: *PageSize\n"
                    "*DefaultPaperDimension: Letter\n*PaperDimension Letter: \"612 792\"\n"
                    "*PaperDimension A4: \"595 842\"\n"
                    "*DefaultImageableArea: Letter\n*ImageableArea Letter: \"0 0 612 792\"\n"
                    "*ImageableArea A4: \"0 0 595 842\"\n";
    if (custom) {
        s += "*VariablePaperSize: True\n*HWMargins: 12 18 24 30\n";
        s += "*MaxMediaWidth: \"" + std::to_string(maxWidth) + "\"\n";
        s += "*MaxMediaHeight: \"" + std::to_string(maxHeight) + "\"\n";
        s += "*CustomPageSize True: \"pop pop pop pop pop\"\n";
        s += "*ParamCustomPageSize Width: 1 points 72 " + std::to_string(maxWidth) + "\n";
        s += "*ParamCustomPageSize Height: 2 points 72 " + std::to_string(maxHeight) + "\n";
        s += "*ParamCustomPageSize WidthOffset: 3 points 0 0\n"
             "*ParamCustomPageSize HeightOffset: 4 points 0 0\n"
             "*ParamCustomPageSize Orientation: 5 int 0 0\n";
    }
    return s;
}

// Resolves a job's settings from the option string `options` and the PPD.
JobSettings Resolve(ppd_file_t *ppd, const char *options, const char *osInfo = "debian_12") {
    std::string args[6] = {"rastertoKelvra", "7", "user", "title", "1", options};
    char *argv[7] = {};
    for (int i = 0; i < 6; ++i)
        argv[i] = args[i].data();
    JobSettings s;
    testing::internal::CaptureStderr();
    ResolveJobSettings(s, argv, ppd, osInfo);
    testing::internal::GetCapturedStderr();
    return s;
}

// The largest page the printer takes (the limit oversized pages are clamped to) comes from
// the PPD's custom page size; the PageSize the options name is kept for the clamp.
TEST(PageSizeLimits, LargestPageAndPageSizeRequestAreResolvedForTheClamp) {
    TempPpd file;
    file.Write({}, PageSizeEntries(612, 1008, true));
    PpdHandle ppd = file.Open();
    ASSERT_NE(ppd, nullptr);
    JobSettings s = Resolve(ppd.get(), "PageSize=A3");
    EXPECT_EQ(s.maxPageWidth, 612u);
    EXPECT_EQ(s.maxPageHeight, 1008u);
    EXPECT_TRUE(s.pageSizeGiven);
    EXPECT_EQ(s.pageSizeName, "A3");
    EXPECT_EQ(s.mediaName, "A3");
    const float margins[4] = {12, 18, 24, 30}; // left, bottom, right, top
    for (int i = 0; i < 4; ++i)
        EXPECT_FLOAT_EQ(s.hwMargins[i], margins[i]) << i;

    // A media name is no PageSize.
    s = Resolve(ppd.get(), "Media=A3(297x420mm) Collate");
    EXPECT_FALSE(s.pageSizeGiven);
    EXPECT_EQ(s.mediaName, "A3");
}

TEST(PageSizeLimits, NoLimitWithoutCustomPageSizes) {
    TempPpd file;
    file.Write({}, PageSizeEntries(0, 0, false));
    PpdHandle ppd = file.Open();
    ASSERT_NE(ppd, nullptr);
    const JobSettings s = Resolve(ppd.get(), "PageSize=A3");
    EXPECT_EQ(s.maxPageWidth, 0u);
    EXPECT_EQ(s.maxPageHeight, 0u);
    EXPECT_TRUE(s.pageSizeGiven);
}

// The custom size request as the page plan reads it; on Astra Linux with the page margins.
TEST(PageSizeLimits, CustomSizeRequestIsResolvedWithTheHostsMargins) {
    TempPpd file;
    file.Write({}, PageSizeEntries(612, 1008, true));
    PpdHandle ppd = file.Open();
    ASSERT_NE(ppd, nullptr);
    const char *options =
        "PageSize=Custom.300x400 page-left=10 page-top=5 document-name-supplied=x";
    JobSettings s = Resolve(ppd.get(), options);
    EXPECT_TRUE(s.customPageRequested);
    EXPECT_TRUE(s.customSizeParsed);
    EXPECT_TRUE(s.documentNameSupplied);
    EXPECT_FLOAT_EQ(s.customWidth, 300);
    EXPECT_FLOAT_EQ(s.customHeight, 400);
    s = Resolve(ppd.get(), options, "astra_1.7_x86-64");
    EXPECT_FLOAT_EQ(s.customWidth, 310);
    EXPECT_FLOAT_EQ(s.customHeight, 405);

    s = Resolve(ppd.get(), "PageSize=Custom.300");
    EXPECT_TRUE(s.customPageRequested);
    EXPECT_FALSE(s.customSizeParsed);
    EXPECT_FALSE(s.documentNameSupplied);
    EXPECT_FLOAT_EQ(s.customWidth, 595);
    EXPECT_FLOAT_EQ(s.customHeight, 842);
}

TEST(MediaName, TakenFromPageSizeOrFromMediaInFrontOfItsParenthesis) {
    struct Case {
        const char *options;
        const char *expected;
    };
    const std::string longName(255, 'N');
    const std::string longOpt = "PageSize=" + longName;
    const std::string longMedia = "Media=" + std::string(150, 'M') + "(x)";
    const Case cases[] = {
        {"PageSize=A4", "A4"},
        {"Media=Letter(8.5x11in)", "Letter"},
        {"Media=Letter(8.5x11in) PageSize=Legal", "Legal"},
        {"Media=Letter", ""},
        {"Collate", ""},
        {"", ""},
    };
    for (const Case &c : cases) {
        char *argv[] = {nullptr, nullptr, nullptr, nullptr, nullptr, const_cast<char *>(c.options)};
        char name[kMediaNameSize];
        std::memset(name, 'z', sizeof name);
        EXPECT_TRUE(Getmediasizename(argv, name)) << c.options;
        EXPECT_STREQ(name, c.expected) << c.options;
    }
    // Overlong names are cut to the buffer, never written past it.
    for (const std::string *opt : {&longOpt, &longMedia}) {
        char *argv[] = {nullptr, nullptr, nullptr,
                        nullptr, nullptr, const_cast<char *>(opt->c_str())};
        auto name = std::make_unique<char[]>(kMediaNameSize);
        EXPECT_TRUE(Getmediasizename(argv, name.get()));
        EXPECT_EQ(std::strlen(name.get()), kMediaNameSize - 1);
        EXPECT_EQ(name[0], opt == &longOpt ? 'N' : 'M');
    }
}

TEST(MediaName, RefusesMissingBuffersOrOptionString) {
    char *argv[] = {nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};
    char name[kMediaNameSize] = "keep";
    EXPECT_FALSE(Getmediasizename(argv, name));
    EXPECT_STREQ(name, "keep");
    char opt[] = "PageSize=A4";
    argv[5] = opt;
    EXPECT_FALSE(Getmediasizename(argv, nullptr));
    EXPECT_FALSE(Getmediasizename(nullptr, name));
}

struct CustomCase {
    std::string options;
    bool astra;
    bool ok;
    float w, h;
};

TEST(CustomSize, ParsedFromPageSizeCustomWithOptionalMargins) {
    const std::string margins =
        "PageSize=Custom.300x400 page-left=10 page-right=20 page-top=5 page-bottom=5 ";
    const CustomCase cases[] = {
        {margins, false, true, 300, 400},
        {margins, true, true, 330, 410},
        {"PageSize=Custom.210x297mm", false, true, 210, 297},
        {"Collate pagesize=custom.100.5x200 Duplex", false, true, 100.5f, 200},
        {"PageSize=Custom.300x400", true, true, 300, 400}, // no margins named
        {"PageSize=Custom.abcx20", false, true, 0, 20},
        {"PageSize=A4", false, false, 595, 842},
        {"Collate", true, false, 595, 842},
        // Malformed values are not custom sizes.
        {"PageSize=Custom.300", false, false, 595, 842},
        {"PageSize=Custom.300 media=x5", false, false, 595, 842},
        {"PageSize=Custom.infx400", false, false, 595, 842},
        {"PageSize=Custom.-5x10", false, false, 595, 842},
        {"PageSize=Custom.10xnan", false, false, 595, 842},
        // Width and height texts are read from at most 39 characters each.
        {"PageSize=Custom." + std::string(45, '0') + "300x" + std::string(39, '0') + "7", false,
         true, 0, 0},
        {"PageSize=Custom." + std::string(36, '0') + "300x" + std::string(38, '0') + "7", false,
         true, 300, 7},
    };
    for (const CustomCase &c : cases) {
        float w = -1, h = -1;
        EXPECT_EQ(GetCustomSize(c.options.c_str(), &w, &h, c.astra), c.ok) << c.options;
        EXPECT_FLOAT_EQ(w, c.w) << c.options;
        EXPECT_FLOAT_EQ(h, c.h) << c.options;
    }
    float w = -1, h = -1;
    EXPECT_FALSE(GetCustomSize(nullptr, &w, &h, true));
    EXPECT_EQ(w, -1);
    EXPECT_EQ(h, -1);
}

TEST(PageMargins, EachNamedMarginIsReadFromAtMostThreeCharacters) {
    struct Case {
        const char *options;
        int top, bottom, right, left;
    };
    const Case cases[] = {
        {"page-top=5 page-bottom=6 page-right=7 page-left=8 ", 5, 6, 7, 8},
        {"PAGE-TOP=5 Page-Left=9", 5, -1, -1, 9},
        {"page-top=20", 20, -1, -1, -1}, // last option, no space after it
        {"page-top=1234 page-left=-12 ", 123, -1, -1, -12},
        {"page-top page-bottom=3 ", 0, 3, -1, -1}, // "=" beyond the option: empty value
        {"page-right=abc page-left= ", -1, -1, 0, 0},
        {"Collate", -1, -1, -1, -1},
        {"", -1, -1, -1, -1},
    };
    for (const Case &c : cases) {
        int top = -1, bottom = -1, right = -1, left = -1;
        GetPageMargins(c.options, &top, &bottom, &right, &left);
        EXPECT_EQ(top, c.top) << c.options;
        EXPECT_EQ(bottom, c.bottom) << c.options;
        EXPECT_EQ(right, c.right) << c.options;
        EXPECT_EQ(left, c.left) << c.options;
    }
    int top = -1;
    GetPageMargins(nullptr, &top, nullptr, nullptr, nullptr);
    GetPageMargins("page-bottom=4 ", &top, nullptr, nullptr, nullptr); // unwanted margins
    EXPECT_EQ(top, -1);
}

} // namespace
