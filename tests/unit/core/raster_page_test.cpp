// Page headers from the raster stream: the check before anything is allocated for a page and
// the header's fields in the job's log. A raster stream may put any 32 bits into a header
// field, the enumerated ones included (the last two tests replay inputs found by fuzzing).
#include "core/raster_page.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tests/support/job_fixture.h"
#include "tests/support/raster_writer.h"

namespace {

void SetRaw(void *field, uint32_t value) {
    std::memcpy(field, &value, sizeof value);
}

TEST(RasterHeader, HeadersFromOutsideAreCheckedBeforeAllocation) {
    struct Case {
        const char *what;
        void (*edit)(cups_page_header2_t &);
        bool printable;
    };
    const Case cases[] = {
        {"A4 600 dpi grey", [](cups_page_header2_t &) {}, true},
        {"A4 1200 dpi grey",
         [](cups_page_header2_t &h) { h = MakeGreyHeader(595, 842, 1200, 1200); }, true},
        {"1-bit raster",
         [](cups_page_header2_t &h) { h.cupsBitsPerPixel = h.cupsBitsPerColor = 1; }, false},
        {"RGB raster",
         [](cups_page_header2_t &h) {
             h.cupsColorSpace = CUPS_CSPACE_RGB;
             h.cupsBitsPerPixel = 24;
         },
         false},
        {"sRGB 8-bit", [](cups_page_header2_t &h) { h.cupsColorSpace = CUPS_CSPACE_SRGB; }, false},
        {"CMYK", [](cups_page_header2_t &h) { h.cupsColorSpace = CUPS_CSPACE_CMYK; }, false},
        {"zero width", [](cups_page_header2_t &h) { h.cupsWidth = h.cupsBytesPerLine = 0; }, false},
        {"zero height", [](cups_page_header2_t &h) { h.cupsHeight = 0; }, false},
        {"2400 dpi", [](cups_page_header2_t &h) { h.HWResolution[0] = 2400; }, false},
        {"zero dpi", [](cups_page_header2_t &h) { h.HWResolution[1] = 0; }, false},
        {"huge page size", [](cups_page_header2_t &h) { h.PageSize[1] = 100000; }, false},
        {"line length disagrees", [](cups_page_header2_t &h) { h.cupsBytesPerLine += 1; }, false},
        {"width that would wrap 32 bits",
         [](cups_page_header2_t &h) { h.cupsWidth = h.cupsBytesPerLine = 0x80000000u; }, false},
        {"height that would wrap 32 bits",
         [](cups_page_header2_t &h) { h.cupsHeight = 0xFFFFFFF0u; }, false},
    };
    for (const Case &c : cases) {
        cups_page_header2_t h = MakeGreyHeader(595, 842);
        c.edit(h);
        LogCapture log;
        EXPECT_EQ(IsPrintableRasterHeader(h, log.file()), c.printable) << c.what;
        const std::string text = log.Text();
        if (c.printable) {
            EXPECT_EQ(text, "") << c.what;
        } else {
            EXPECT_EQ(text.rfind("ERROR: Unsupported raster page (", 0), 0u)
                << c.what << ": " << text;
            EXPECT_EQ(text.find('\n'), text.size() - 1) << "one line: " << text;
        }
    }
}

TEST(RasterHeader, HeaderLogWritesEnumFieldsAsTheStreamCarriedThem) {
    cups_page_header2_t h;
    std::memset(&h, 0, sizeof h);
    SetRaw(&h.Duplex, 1850277888u);
    SetRaw(&h.ManualFeed, 7u);
    SetRaw(&h.Orientation, 0xFFFFFFFFu);
    SetRaw(&h.cupsColorOrder, 99u);
    SetRaw(&h.cupsColorSpace, 0x80000000u);
    h.PageSize[0] = 595;
    h.PageSize[1] = 842;
    LogCapture log;
    log_page_header2(&h, log.file());
    const std::string text = log.Text();
    EXPECT_NE(text.find("DEBUG: Duplex = 1850277888\n"), std::string::npos) << text;
    EXPECT_NE(text.find("DEBUG: ManualFeed = 7\n"), std::string::npos);
    EXPECT_NE(text.find("DEBUG: Orientation = -1\n"), std::string::npos);
    EXPECT_NE(text.find("DEBUG: cupsColorOrder = 99\n"), std::string::npos);
    EXPECT_NE(text.find("DEBUG: cupsColorSpace = -2147483648\n"), std::string::npos);
    EXPECT_NE(text.find("DEBUG: PageSize = [ 595 842 ]\n"), std::string::npos);
}

// The header check compares the colour space as a number: a value outside the enumeration is
// refused as not grey, not read as an enumerator.
TEST(RasterHeader, ColourSpaceOutsideTheEnumerationIsRefused) {
    cups_page_header2_t h = MakeGreyHeader(72, 72);
    LogCapture quiet;
    ASSERT_TRUE(IsPrintableRasterHeader(h, quiet.file()));
    for (uint32_t raw : {0xEEEEEEEEu, 0x80000000u, 1000u}) {
        SetRaw(&h.cupsColorSpace, raw);
        LogCapture log;
        EXPECT_FALSE(IsPrintableRasterHeader(h, log.file()));
        const std::string text = log.Text();
        EXPECT_NE(text.find("the colour space is not grey"), std::string::npos) << text;
        EXPECT_NE(text.find("colour space " + std::to_string(raw) + ","), std::string::npos)
            << text;
    }
}

} // namespace
