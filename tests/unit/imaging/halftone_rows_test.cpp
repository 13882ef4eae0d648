// Dithering a page band by band (as the page pipeline does while it reads) gives the bytes and
// the dot count of dithering the whole page at once, for every screen, depth and polarity.
#include "common/dialect.h"
#include "common/model_catalogue.h"
#include "imaging/halftone.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

// A grey page of ramps, noise and white and black areas.
std::vector<unsigned char> Page(uint32_t w, uint32_t h, unsigned seed) {
    std::mt19937 rng(seed);
    std::vector<unsigned char> p(size_t{w} * h);
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x) {
            unsigned char v = static_cast<unsigned char>((x * 7 + y * 3) & 0xFF);
            if ((y / 9) % 4 == 1) v = static_cast<unsigned char>(rng());
            if ((y / 9) % 4 == 2) v = (x / 5) % 2 ? 0xFF : 0x00;
            p[size_t{y} * w + x] = v;
        }
    return p;
}

struct Case {
    bool newScreens;
    int platform, dpi1200, negative;
    uint32_t width, height, realWidth;
};

class HalftoneRows : public ::testing::TestWithParam<Case> {};

TEST_P(HalftoneRows, BandsGiveTheWholePageBytesAndDotCount) {
    const Case c = GetParam();
    const uint32_t bpp = c.platform == PLATFORM_M && c.dpi1200 == 1 ? 2 : 1;
    const auto src = Page(c.width, c.height, c.width + c.height);
    const size_t bytes = size_t{c.width} * c.height * bpp / 8, rowBytes = size_t{c.width} * bpp / 8;

    ScreenSpec screen = ScreenOf(c.platform, c.newScreens, c.dpi1200 == 1);
    screen.reversed = c.negative != 0;
    std::vector<unsigned char> whole(bytes, 0);
    const int64_t wholeDots =
        HalftoneDither(src.data(), c.width, c.height, whole.data(), c.realWidth, screen);
    ASSERT_GE(wholeDots, 0);
    ASSERT_TRUE(c.platform == PLATFORM_M || wholeDots > 0) << "the page has toner";

    // band heights below, at and above the periods (16, 28, 96), and not dividing them
    for (uint32_t band : {1u, 7u, 16u, 28u, 45u, 96u, 128u, 1000u}) {
        SCOPED_TRACE("band of " + std::to_string(band) + " rows");
        std::vector<unsigned char> banded(bytes, 0);
        int64_t dots = 0;
        for (uint32_t first = 0; first < c.height; first += band) {
            const uint32_t rows = std::min(band, c.height - first);
            const int64_t bandDots =
                HalftoneDitherRows(src.data() + size_t{first} * c.width, c.width, rows, first,
                                   banded.data() + rowBytes * first, c.realWidth, screen);
            ASSERT_GE(bandDots, 0);
            dots += bandDots;
        }
        EXPECT_EQ(banded, whole);
        EXPECT_EQ(dots, wholeDots);
    }
}

INSTANTIATE_TEST_SUITE_P(Screens, HalftoneRows,
                         ::testing::Values(Case{false, PLATFORM_C, 0, 0, 200, 150, 200},
                                           Case{false, PLATFORM_C, 1, 0, 224, 130, 224},
                                           Case{false, PLATFORM_C, 0, 1, 200, 150, 190},
                                           Case{false, PLATFORM_Z, 1, 1, 96, 200, 96},
                                           Case{true, PLATFORM_Z, 0, 0, 288, 250, 288},
                                           Case{true, PLATFORM_Z, 1, 1, 200, 210, 180},
                                           Case{false, PLATFORM_M, 0, 0, 64, 100, 64},
                                           Case{false, PLATFORM_M, 1, 0, 100, 120, 100},
                                           Case{false, PLATFORM_M, 1, 1, 100, 120, 100}));

// Rows that would not start on a whole byte of the bitmap cannot be dithered on their own; nor
// can null buffers or an unknown platform. Nothing is written then.
TEST(HalftoneRowsRefusal, UnalignedRowsNullBuffersAndUnknownPlatforms) {
    const auto src = Page(20, 4, 1);
    std::vector<unsigned char> out(20, 0);
    EXPECT_EQ(HalftoneDitherRows(src.data(), 20, 4, 0, out.data(), 20,
                                 ScreenOf(PLATFORM_C, false, false)),
              -1);
    EXPECT_EQ(
        HalftoneDitherRows(src.data(), 10, 4, 0, out.data(), 10, ScreenOf(PLATFORM_M, false, true)),
        -1);
    EXPECT_EQ(
        HalftoneDitherRows(nullptr, 16, 4, 0, out.data(), 16, ScreenOf(PLATFORM_C, false, false)),
        -1);
    EXPECT_EQ(
        HalftoneDitherRows(src.data(), 16, 4, 0, nullptr, 16, ScreenOf(PLATFORM_C, false, false)),
        -1);
    EXPECT_EQ(HalftoneDitherRows(src.data(), 16, 4, 0, out.data(), 16,
                                 ScreenOf(PLATFORM_NONE, true, false)),
              -1);
    EXPECT_EQ(out, std::vector<unsigned char>(20, 0));
    // 12 pixels at 2 bits are 3 whole bytes per row: accepted (platform M counts no dots)
    EXPECT_EQ(
        HalftoneDitherRows(src.data(), 12, 4, 0, out.data(), 12, ScreenOf(PLATFORM_M, false, true)),
        0);
    EXPECT_NE(out, std::vector<unsigned char>(20, 0));
}

} // namespace
