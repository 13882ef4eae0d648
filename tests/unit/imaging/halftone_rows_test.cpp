// Dithering a page band by band (as the page pipeline does while it reads) gives the bytes and
// the dot count of dithering the whole page at once, for every screen, depth and polarity.
#include "common/globals.h"
#include "imaging/halftone.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

void SetModel(const char *name) {
    std::memset(gPPDFile, 0, sizeof gPPDFile);
    std::strncpy(gPPDFile, name, sizeof gPPDFile - 1);
}

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
    const char *model;
    int platform, dpi1200, negative;
    uint32_t width, height, realWidth;
};

class HalftoneRows : public ::testing::TestWithParam<Case> {
  protected:
    void SetUp() override {
        saved = stderr;
        stderr = std::fopen("/dev/null", "w"); // the diagnostic line of every whole-page call
    }
    void TearDown() override {
        std::fclose(stderr);
        stderr = saved;
    }
    std::FILE *saved = nullptr;
};

TEST_P(HalftoneRows, BandsGiveTheWholePageBytesAndDotCount) {
    const Case c = GetParam();
    SetModel(c.model);
    const uint32_t bpp = c.platform == PLATFORM_M && c.dpi1200 == 1 ? 2 : 1;
    const auto src = Page(c.width, c.height, c.width + c.height);
    const size_t bytes = size_t{c.width} * c.height * bpp / 8, rowBytes = size_t{c.width} * bpp / 8;

    std::vector<unsigned char> whole(bytes, 0);
    gImageCoverage = 0;
    ASSERT_EQ(HalftoneDither(src.data(), c.width, c.height, whole.data(), c.realWidth, c.negative,
                             c.dpi1200, c.platform),
              1);
    const uint64_t wholeCoverage = gImageCoverage;

    // band heights below, at and above the periods (16, 28, 96), and not dividing them
    for (uint32_t band : {1u, 7u, 16u, 28u, 45u, 96u, 128u, 1000u}) {
        SCOPED_TRACE("band of " + std::to_string(band) + " rows");
        std::vector<unsigned char> banded(bytes, 0);
        gImageCoverage = 0;
        for (uint32_t first = 0; first < c.height; first += band) {
            const uint32_t rows = std::min(band, c.height - first);
            ASSERT_EQ(HalftoneDitherRows(src.data() + size_t{first} * c.width, c.width, rows, first,
                                         banded.data() + rowBytes * first, c.realWidth, c.negative,
                                         c.dpi1200, c.platform),
                      1);
        }
        EXPECT_EQ(banded, whole);
        EXPECT_EQ(gImageCoverage, wholeCoverage);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Screens, HalftoneRows,
    ::testing::Values(Case{"Kelvra Q20 Series", PLATFORM_C, 0, 0, 200, 150, 200},
                      Case{"Kelvra Q20 Series", PLATFORM_C, 1, 0, 224, 130, 224},
                      Case{"Kelvra Q20 Series", PLATFORM_C, 0, 1, 200, 150, 190},
                      Case{"Kelvra Q20 Series", PLATFORM_Z, 1, 1, 96, 200, 96},
                      Case{"Kelvra V24DW Plus Series", PLATFORM_Z, 0, 0, 288, 250, 288},
                      Case{"Kelvra V24DW Plus Series", PLATFORM_Z, 1, 1, 200, 210, 180},
                      Case{"Kelvra R40 Series", PLATFORM_M, 0, 0, 64, 100, 64},
                      Case{"Kelvra R40 Series", PLATFORM_M, 1, 0, 100, 120, 100},
                      Case{"Kelvra R40 Series", PLATFORM_M, 1, 1, 100, 120, 100}));

// Rows that would not start on a whole byte of the bitmap cannot be dithered on their own; nor
// can null buffers or an unknown platform. Nothing is written then.
TEST(HalftoneRowsRefusal, UnalignedRowsNullBuffersAndUnknownPlatforms) {
    SetModel("Kelvra Q20 Series");
    const auto src = Page(20, 4, 1);
    std::vector<unsigned char> out(20, 0);
    EXPECT_EQ(HalftoneDitherRows(src.data(), 20, 4, 0, out.data(), 20, 0, 0, PLATFORM_C), 0);
    EXPECT_EQ(HalftoneDitherRows(src.data(), 10, 4, 0, out.data(), 10, 0, 1, PLATFORM_M), 0);
    EXPECT_EQ(HalftoneDitherRows(nullptr, 16, 4, 0, out.data(), 16, 0, 0, PLATFORM_C), 0);
    EXPECT_EQ(HalftoneDitherRows(src.data(), 16, 4, 0, nullptr, 16, 0, 0, PLATFORM_C), 0);
    EXPECT_EQ(HalftoneDitherRows(src.data(), 16, 4, 0, out.data(), 16, 0, 0, PLATFORM_NONE), 0);
    EXPECT_EQ(out, std::vector<unsigned char>(20, 0));
    // 12 pixels at 2 bits are 3 whole bytes per row: accepted
    EXPECT_EQ(HalftoneDitherRows(src.data(), 12, 4, 0, out.data(), 12, 0, 1, PLATFORM_M), 1);
}

} // namespace
