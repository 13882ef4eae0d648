// The colour library's tone stage: density curves, toner save, linearisation per resolution, and
// the exported grey conversions. Ink values are read back through the screen: a uniform page is run
// at 1 and 2 bits, and every threshold it reached or missed bounds the ink value from below or
// above.
#include "tests/unit/cmslib/cms_loader.h"

#include "cmslib/ht_thresholds.h"
#include "cmslib/tone_curves.h"

#include <algorithm>
#include <cmath>

namespace {

class CmsTone : public testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(lib.Complete()) << dlerror(); }

    // Narrowest range [lo, hi] of ink values that explains a uniform 16 x 16 page of one grey
    // sample under the given settings, from both screens.
    std::pair<int, int> InkRange(uint8_t grey, uint8_t dpiMode, uint8_t tonerSave,
                                 uint8_t density) {
        int lo = 0, hi = 255;
        for (uint8_t bitMode : {uint8_t{0}, uint8_t{1}}) {
            CmsPage page(16, 16, grey, bitMode);
            page.settings.DpiMode = dpiMode;
            page.settings.TonerSaveMode = tonerSave;
            page.settings.TonerDensityLevel = density;
            int result = 1;
            CaptureStderrOf([&] { result = page.Run(lib); });
            EXPECT_EQ(result, 0);
            const unsigned bits = bitMode + 1u;
            const unsigned levels = (1u << bits) - 1u;
            const uint8_t *matrix =
                bits == 1 ? bi_highLPI_K_cluster_thresh : con2_MedLPI_K_cluster_thresh;
            for (size_t r = 0; r < 16; ++r) {
                for (size_t c = 0; c < 16; ++c) {
                    // The thresholds of a cell descend, so a pixel at level L reached the L lowest.
                    const uint8_t *cell = matrix + (r * 16 + c) * levels;
                    const unsigned level = page.Level(r, c, bits);
                    for (unsigned k = 0; k < levels; ++k) {
                        const int t = std::max<int>(cell[k], 1);
                        if (k >= levels - level)
                            lo = std::max(lo, t);
                        else
                            hi = std::min(hi, t - 1);
                    }
                }
            }
        }
        return {lo, hi};
    }

    CmsLib lib;
};

TEST_F(CmsTone, MidGreyThroughEveryDensityCurveAtBothResolutions) {
    struct Case {
        uint8_t density;
        int at600, at1200;
    };
    const Case cases[] = {{1, 67, 78}, {2, 72, 85}, {3, 125, 132}, {4, 137, 142}, {5, 146, 151}};
    for (const Case &c : cases) {
        EXPECT_EQ(InkRange(128, 0, 0, c.density), std::make_pair(c.at600, c.at600))
            << "density " << int(c.density) << " at 600 dpi";
        EXPECT_EQ(InkRange(128, 1, 0, c.density), std::make_pair(c.at1200, c.at1200))
            << "density " << int(c.density) << " at 1200 dpi";
    }
}

TEST_F(CmsTone, TonerSaveOverridesEveryDensity) {
    for (uint8_t density : {0, 1, 3, 5, 200})
        EXPECT_EQ(InkRange(128, 0, 1, density), std::make_pair(67, 67)) << int(density);
    // Only the value 1 means toner save.
    EXPECT_EQ(InkRange(128, 0, 2, 5), std::make_pair(146, 146));
}

TEST_F(CmsTone, UnknownDensityLevelsUseTheIdentityCurve) {
    for (uint8_t density : {0, 6, 255}) {
        EXPECT_EQ(InkRange(128, 0, 0, density), std::make_pair(125, 125)) << int(density);
        EXPECT_EQ(InkRange(128, 1, 0, density), std::make_pair(132, 132)) << int(density);
    }
}

TEST_F(CmsTone, OnlyDpiModeOneSelectsThe1200DpiCurve) {
    EXPECT_EQ(InkRange(128, 2, 0, 3), std::make_pair(125, 125));
    EXPECT_EQ(InkRange(128, 255, 0, 3), std::make_pair(125, 125));
}

TEST_F(CmsTone, FullBlackFollowsTheCurveEnds) {
    // 183 with curve 2 and 125 with curve 1 (toner save) at 600 dpi; white gives no ink at all.
    EXPECT_EQ(InkRange(0, 0, 0, 2), std::make_pair(183, 183));
    EXPECT_EQ(InkRange(0, 0, 1, 3), std::make_pair(125, 125));
    EXPECT_EQ(InkRange(0, 0, 0, 5).first, 254); // 255: above every threshold
    EXPECT_EQ(InkRange(255, 0, 0, 5), std::make_pair(0, 0));
    EXPECT_EQ(InkRange(255, 1, 1, 1), std::make_pair(0, 0));
}

TEST(CmsToneCurves, DarkCurvesFollowTheirFormula) {
    struct Case {
        const std::array<uint64_t, 256> &curve;
        double base, span;
    };
    const Case cases[] = {{densitylut_level4, 16, 239}, {densitylut_level5, 32, 223}};
    for (const Case &c : cases) {
        EXPECT_EQ(c.curve[0], 0u);
        for (int i = 1; i < 256; ++i)
            EXPECT_EQ(c.curve[i], static_cast<uint64_t>(std::lround(c.base + i * c.span / 255.0)))
                << "entry " << i << " of the curve based at " << c.base;
        EXPECT_EQ(c.curve[255], 255u);
    }
}

TEST(CmsToneCurves, EveryCurveStartsAtZeroAndRisesToItsEnd) {
    struct Case {
        const char *name;
        std::vector<uint64_t> values;
        uint64_t last;
    };
    const Case cases[] = {
        {"level1", {std::begin(densitylut_level1), std::end(densitylut_level1)}, 127},
        {"level2", {std::begin(densitylut_level2), std::end(densitylut_level2)}, 175},
        {"level3", {densitylut_level3.begin(), densitylut_level3.end()}, 255},
        {"600dpi", {std::begin(linearcurveMono), std::end(linearcurveMono)}, 255},
        {"1200dpi", {std::begin(linearcurveMono_1200dpi), std::end(linearcurveMono_1200dpi)}, 255},
    };
    for (const Case &c : cases) {
        ASSERT_EQ(c.values.size(), 256u) << c.name;
        EXPECT_EQ(c.values.front(), 0u) << c.name;
        EXPECT_EQ(c.values.back(), c.last) << c.name;
        EXPECT_TRUE(std::is_sorted(c.values.begin(), c.values.end())) << c.name;
        for (int i = 1; i < 256; ++i)
            EXPECT_LE(c.values[i] - c.values[i - 1], 5u) << c.name << " step at " << i;
    }
}

TEST_F(CmsTone, RgbToMonoWeighsTheChannels) {
    struct Case {
        uint64_t r, g, b, ink;
    };
    const Case cases[] = {
        {255, 255, 255, 0}, {0, 0, 0, 255}, {255, 0, 0, 179}, {0, 255, 0, 105}, {0, 0, 255, 228}};
    for (const Case &c : cases) {
        CurrS32 pixel{{c.r, c.g, c.b, 7}};
        EXPECT_EQ(lib.rgbToMono(&pixel), c.ink) << c.r << "," << c.g << "," << c.b;
        EXPECT_EQ(pixel.ch[0], c.ink);
        EXPECT_EQ(pixel.ch[1], c.g);
        EXPECT_EQ(pixel.ch[3], 7u);
    }
    const std::string err = CaptureStderrOf([&] { EXPECT_EQ(lib.rgbToMono(nullptr), 0u); });
    EXPECT_EQ(err, "cms: CurrS32 is NULL!\n");
}

TEST_F(CmsTone, MonoToMonoInvertsTheLowByte) {
    CurrS32 pixel{{0x1234, 1, 2, 3}};
    EXPECT_EQ(lib.monoToMono(&pixel, nullptr), 255u - 0x34u);
    EXPECT_EQ(pixel.ch[0], 255u - 0x34u);
    EXPECT_EQ(pixel.ch[1], 1u);
}

} // namespace
