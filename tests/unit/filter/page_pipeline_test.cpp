#include "filter/page_pipeline.h"

#include <gtest/gtest.h>
#include <random>

#include "tests/support/raster_writer.h"

TEST(PagePipeline, OneBitPageWidensToTwoBitsAtFullStrength) {
    std::mt19937 rng(7);
    for (size_t pixels : {1u, 7u, 8u, 9u, 31u, 64u, 4736u * 3u + 5u}) {
        std::vector<uint8_t> buf((pixels * 2 + 7) / 8 + 1, 0xA5);
        const size_t oneBitBytes = (pixels + 7) / 8;
        std::vector<int> bits(pixels);
        std::fill(buf.begin(), buf.begin() + static_cast<long>(oneBitBytes), 0);
        for (size_t i = 0; i < pixels; ++i) {
            bits[i] = static_cast<int>(rng() & 1);
            if (bits[i]) buf[i / 8] |= static_cast<uint8_t>(0x80 >> (i % 8));
        }
        const uint8_t guard = buf.back();
        Expand1BitTo2Bit(buf.data(), pixels);
        for (size_t i = 0; i < pixels; ++i) {
            const int level = (buf[i / 4] >> (6 - 2 * (i % 4))) & 3;
            ASSERT_EQ(level, bits[i] ? 3 : 0) << "pixel " << i << " of " << pixels;
        }
        EXPECT_EQ(buf.back(), guard) << "nothing written past the 2-bit page";
    }
}

TEST(PagePipeline, RasterHeadersFromOutsideAreCheckedBeforeAllocation) {
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
        testing::internal::CaptureStderr();
        EXPECT_EQ(IsPrintableRasterHeader(h), c.printable) << c.what;
        std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(err.rfind("ERROR: ", 0) == 0, !c.printable) << c.what << ": " << err;
    }
}
