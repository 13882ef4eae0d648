#include "common/model_catalogue.h"
#include "imaging/halftone.h"
#include "imaging/ht_tables.h"
#include "common/dialect.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

struct Screen {
    const unsigned char *table;
    int stride, period;
};

// The matrix a job dithers with, written out case by case.
Screen ReferenceScreen(int platform, int b1200dpi, bool newScreens) {
    if (platform == PLATFORM_Z && newScreens)
        return b1200dpi == 1 ? Screen{NEW_HT_HALFTONE_1200_Z, 96, 96}
                             : Screen{NEW_HT_TABLE_600_Z_M, 96, 96};
    if (platform == PLATFORM_C && b1200dpi == 1) return {HT_TABLE_1200_C, 28, 28};
    if (platform == PLATFORM_Z && b1200dpi == 1) return {HT_TABLE_1200_Z, 16, 16};
    return {HT_TABLE_600, 16, 16};
}

// Pixel-by-pixel dithering: the bit is ORed into the current byte, which is inverted (C, Z
// negative, last pixel inside the image) or left as it is when complete, else shifted. Pixels of
// an incomplete last byte are not written or counted.
uint64_t ReferenceDither(const std::vector<unsigned char> &src, uint32_t w, uint32_t h,
                         std::vector<unsigned char> &out, uint32_t realW, int neg, int dpi,
                         int platform, bool newScreens) {
    Screen sc = ReferenceScreen(platform, dpi, newScreens);
    bool twoBit = platform == PLATFORM_M && dpi == 1;
    uint64_t total = uint64_t(w) * h, ppb = twoBit ? 4 : 8, written = total - total % ppb;
    uint64_t coverage = 0, pix = 0;
    size_t cur = 0;
    int filled = 0;
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x, ++pix) {
            if (pix >= written) return coverage;
            unsigned s = src[size_t(y) * w + x];
            unsigned t = sc.table[(y % sc.period) * sc.stride + x % sc.period];
            bool done;
            if (platform != PLATFORM_M) {
                unsigned bit = s < t;
                out[cur] |= bit;
                done = ++filled == 8;
                if (neg && x < realW) {
                    coverage += bit == 0;
                    if (done) out[cur] = ~out[cur];
                } else {
                    coverage += bit;
                }
            } else if (!twoBit) {
                out[cur] |= neg ? (s >= t) : (s < t);
                done = ++filled == 8;
            } else {
                int code = s == 0 ? 255 : std::max(0, 255 - int(s) - int(t));
                unsigned level = HT_TABLE_2BIG[code];
                out[cur] |= neg ? 3 - level : level;
                done = ++filled == 4;
            }
            if (done) {
                ++cur;
                filled = 0;
            } else {
                out[cur] <<= twoBit ? 2 : 1;
            }
        }
    return coverage;
}

size_t OutBytes(uint32_t w, uint32_t h, bool twoBit) {
    return size_t(w) * h * (twoBit ? 2 : 1) / 8;
}

struct DitherRun {
    std::vector<unsigned char> out;
    int64_t dots; // what HalftoneDither returns
};

DitherRun Dither(const std::vector<unsigned char> &src, uint32_t w, uint32_t h, uint32_t realW,
                 int neg, int dpi, int platform, bool newScreens = false) {
    DitherRun r;
    r.out.assign(OutBytes(w, h, platform == PLATFORM_M && dpi == 1) + 16, 0);
    ScreenSpec screen = ScreenOf(platform, newScreens, dpi == 1);
    screen.reversed = neg != 0;
    r.dots = HalftoneDither(src.data(), w, h, r.out.data(), realW, screen);
    return r;
}

struct Config {
    int platform, dpi;
    bool newScreens;
};

const Config kConfigs[] = {
    {PLATFORM_C, 0, false}, {PLATFORM_C, 1, false}, {PLATFORM_Z, 0, false}, {PLATFORM_Z, 1, false},
    {PLATFORM_Z, 0, true},  {PLATFORM_Z, 1, true},  {PLATFORM_M, 0, false}, {PLATFORM_M, 1, false},
    {PLATFORM_C, 1, true},  {PLATFORM_M, 0, true},
};

std::string Describe(const Config &c, uint32_t w, uint32_t h, uint32_t realW, int neg) {
    return "platform " + std::to_string(c.platform) + " dpi1200 " + std::to_string(c.dpi) +
           (c.newScreens ? " new screens " : " ") + std::to_string(w) + "x" + std::to_string(h) +
           " real " + std::to_string(realW) + " neg " + std::to_string(neg);
}

} // namespace

TEST(HalftoneDither, MatchesPixelByPixelDefinitionOnRandomPagesOfOddSizes) {
    std::mt19937 rng(20240611);
    struct Size {
        uint32_t w, h;
    };
    const Size sizes[] = {{1, 1},   {3, 5},    {7, 17},   {13, 3},   {17, 33},  {33, 16},
                          {97, 29}, {250, 31}, {483, 19}, {8195, 3}, {8200, 2}, {16500, 2}};
    for (const Config &c : kConfigs) {
        for (const Size &sz : sizes) {
            std::vector<unsigned char> src(size_t(sz.w) * sz.h);
            for (auto &v : src)
                v = static_cast<unsigned char>(rng());
            // include the extreme samples often: 0 and 255 have their own rules
            for (size_t i = 0; i < src.size(); i += 7)
                src[i] = (i / 7) % 2 ? 0 : 255;
            const uint32_t reals[] = {sz.w, sz.w / 2 + 1, sz.w + 5, 0};
            for (uint32_t realW : reals)
                for (int neg : {0, 1}) {
                    DitherRun got =
                        Dither(src, sz.w, sz.h, realW, neg, c.dpi, c.platform, c.newScreens);
                    std::vector<unsigned char> want(got.out.size(), 0);
                    uint64_t cov = ReferenceDither(src, sz.w, sz.h, want, realW, neg, c.dpi,
                                                   c.platform, c.newScreens);
                    ASSERT_EQ(got.out, want) << Describe(c, sz.w, sz.h, realW, neg);
                    ASSERT_EQ(got.dots, c.platform == PLATFORM_M ? 0 : int64_t(cov))
                        << Describe(c, sz.w, sz.h, realW, neg);
                }
        }
    }
}

TEST(HalftoneDither, WhiteAndBlackPagesOnEveryPlatform) {
    const uint32_t w = 64, h = 20;
    for (const Config &c : kConfigs) {
        const bool twoBit = c.platform == PLATFORM_M && c.dpi == 1;
        const size_t n = OutBytes(w, h, twoBit);
        const bool countsDots = c.platform != PLATFORM_M;
        for (int neg : {0, 1}) {
            SCOPED_TRACE(Describe(c, w, h, w, neg));
            // white: no toner in a positive print; all toner within the image in a negative one
            DitherRun white = Dither(std::vector<unsigned char>(w * h, 255), w, h, w, neg, c.dpi,
                                     c.platform, c.newScreens);
            for (size_t i = 0; i < n; ++i)
                ASSERT_EQ(white.out[i], neg ? 0xFF : 0x00) << i;
            EXPECT_EQ(white.dots, countsDots && neg ? int64_t(w) * h : 0);
            // black: every threshold is at least 1, so every pixel is toner (level 3 in 2 bits)
            DitherRun black = Dither(std::vector<unsigned char>(w * h, 0), w, h, w, neg, c.dpi,
                                     c.platform, c.newScreens);
            for (size_t i = 0; i < n; ++i)
                ASSERT_EQ(black.out[i], neg ? 0x00 : 0xFF) << i;
            EXPECT_EQ(black.dots, countsDots && !neg ? int64_t(w) * h : 0);
            EXPECT_EQ(white.out[n], 0) << "wrote past the bitmap";
        }
    }
}

TEST(HalftoneDither, NegativePrintKeepsPaddingColumnsPositiveOnPlatformsCAndZ) {
    // 24 columns of which 16 are image: bytes 0-1 of each line inverted, byte 2 kept white
    const uint32_t w = 24, h = 4;
    for (int platform : {PLATFORM_C, PLATFORM_Z}) {
        DitherRun r = Dither(std::vector<unsigned char>(w * h, 255), w, h, 16, 1, 0, platform);
        for (uint32_t y = 0; y < h; ++y) {
            EXPECT_EQ(r.out[y * 3], 0xFF);
            EXPECT_EQ(r.out[y * 3 + 1], 0xFF);
            EXPECT_EQ(r.out[y * 3 + 2], 0x00);
        }
        EXPECT_EQ(r.dots, 16 * h);
    }
    // platform M reverses the comparison in every column, padding included
    DitherRun m = Dither(std::vector<unsigned char>(w * h, 255), w, h, 16, 1, 0, PLATFORM_M);
    for (size_t i = 0; i < w * h / 8; ++i)
        EXPECT_EQ(m.out[i], 0xFF) << i;
    EXPECT_EQ(m.dots, 0);
}

TEST(HalftoneDither, TwoBitLevelsOfMidGreyFollowTheThreshold) {
    const uint32_t w = 16, h = 16;
    DitherRun r = Dither(std::vector<unsigned char>(w * h, 128), w, h, w, 0, 1, PLATFORM_M);
    DitherRun n = Dither(std::vector<unsigned char>(w * h, 128), w, h, w, 1, 1, PLATFORM_M);
    int seen[4] = {0, 0, 0, 0};
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x) {
            const size_t i = y * w + x;
            const unsigned level = (r.out[i / 4] >> (6 - 2 * (i % 4))) & 3;
            const unsigned inverse = (n.out[i / 4] >> (6 - 2 * (i % 4))) & 3;
            const unsigned t = HT_TABLE_600[y * 16 + x];
            const unsigned want = t <= 63 ? 3 : t <= 103 ? 2 : t <= 126 ? 1 : 0;
            ASSERT_EQ(level, want) << "threshold " << t;
            ASSERT_EQ(inverse, 3 - want) << "threshold " << t;
            ++seen[level];
        }
    for (int level = 0; level < 4; ++level)
        EXPECT_GT(seen[level], 0) << level;
}

TEST(HalftoneDither, TileRestartsAtColumnZeroAndEveryPeriodLines) {
    // Every source line is the same random line, so an output line depends only on its tile row:
    // line P (the 17th line for P = 16) repeats line 0, and lines inside the period differ.
    struct Case {
        int platform, dpi, period;
    };
    std::mt19937 rng(5);
    for (Case c : {Case{PLATFORM_Z, 0, 16}, Case{PLATFORM_C, 1, 28}}) {
        SCOPED_TRACE(c.period);
        const uint32_t w = 2 * 28 * 8, h = 2 * c.period + 1; // 448 columns: lines byte-aligned
        std::vector<unsigned char> src(w * h);
        for (uint32_t x = 0; x < w; ++x)
            src[x] = static_cast<unsigned char>(rng());
        for (uint32_t y = 1; y < h; ++y)
            std::copy_n(src.begin(), w, src.begin() + y * w);
        DitherRun r = Dither(src, w, h, w, 0, c.dpi, c.platform);
        const size_t lineBytes = w / 8;
        auto line = [&](uint32_t y) {
            return std::vector<unsigned char>(r.out.begin() + y * lineBytes,
                                              r.out.begin() + (y + 1) * lineBytes);
        };
        EXPECT_EQ(line(c.period), line(0));
        EXPECT_EQ(line(2 * c.period), line(0));
        // (the 28 cell is 2 x 2 copies of a 14 x 14 cell: its line 14 may match line 0)
        for (uint32_t y = 1; y < 14; ++y)
            EXPECT_NE(line(y), line(0)) << y;
        // a flat grey repeats every period columns from column 0 on
        DitherRun g = Dither(std::vector<unsigned char>(w * h, 128), w, h, w, 0, c.dpi, c.platform);
        auto bit = [&](uint32_t y, uint32_t x) {
            return (g.out[y * lineBytes + x / 8] >> (7 - x % 8)) & 1;
        };
        for (uint32_t y = 0; y < uint32_t(c.period); ++y)
            for (uint32_t x = 0; x + c.period < w; ++x)
                ASSERT_EQ(bit(y, x), bit(y, x + c.period)) << y << "," << x;
        if (c.period == 28) {
            // a 16-pixel wrap would repeat column 0 at column 16 and cut the 14-pixel cells
            bool differs = false;
            for (uint32_t y = 0; y < 28; ++y)
                differs |= bit(y, 0) != bit(y, 16);
            EXPECT_TRUE(differs);
        }
    }
}

TEST(HalftoneDither, BitsRunAcrossLineEndsWhenWidthIsNotAMultipleOfEight) {
    // width 12: line 0 black, line 1 white, line 2 black
    const uint32_t w = 12, h = 3;
    std::vector<unsigned char> src(w * h, 0);
    std::fill(src.begin() + w, src.begin() + 2 * w, 255);
    DitherRun r = Dither(src, w, h, w, 0, 0, PLATFORM_C);
    // stream: 12 ones, 12 zeros, 12 ones -> FF F0 00 FF F0 (36 bits: the last 4 are dropped)
    const unsigned char want[] = {0xFF, 0xF0, 0x00, 0xFF};
    for (size_t i = 0; i < sizeof want; ++i)
        EXPECT_EQ(r.out[i], want[i]) << i;
    EXPECT_EQ(r.out[4], 0) << "an incomplete last byte is not written";
    EXPECT_EQ(r.dots, 20);
}

TEST(HalftoneDither, NewScreensAreTheSupercellsOnPlatformZOnly) {
    struct Case {
        bool newScreens;
        int platform, dpi;
        const unsigned char *table;
        int period;
    };
    const Case cases[] = {
        {true, PLATFORM_Z, 0, NEW_HT_TABLE_600_Z_M, 96},
        {true, PLATFORM_Z, 1, NEW_HT_HALFTONE_1200_Z, 96},
        {false, PLATFORM_Z, 0, HT_TABLE_600, 16},
        {false, PLATFORM_Z, 1, HT_TABLE_1200_Z, 16},
        {true, PLATFORM_C, 1, HT_TABLE_1200_C, 28},
        {true, PLATFORM_C, 0, HT_TABLE_600, 16},
        {true, PLATFORM_M, 1, HT_TABLE_600, 16},
        {true, PLATFORM_M, 0, HT_TABLE_600, 16},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::to_string(c.platform) + (c.newScreens ? " new" : " old") + " dpi1200 " +
                     std::to_string(c.dpi));
        HT_SCREEN s = SelectHalftoneScreen(ScreenOf(c.platform, c.newScreens, c.dpi == 1).matrix);
        EXPECT_EQ(s.table, c.table);
        EXPECT_EQ(s.period, c.period);
        EXPECT_EQ(s.stride, c.period);
    }
}

// Dithering prints nothing of its own (the job announces its screens) and leaves the dot count
// to the caller: repeated pages give the same count instead of a running total.
TEST(HalftoneDither, PrintsNothingAndReturnsEachPagesOwnCount) {
    const std::vector<unsigned char> src(96 * 2, 0);
    for (const Config &c : kConfigs) {
        SCOPED_TRACE(Describe(c, 96, 2, 96, 0));
        testing::internal::CaptureStderr();
        const DitherRun first = Dither(src, 96, 2, 96, 0, c.dpi, c.platform, c.newScreens);
        const DitherRun second = Dither(src, 96, 2, 96, 0, c.dpi, c.platform, c.newScreens);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
        EXPECT_EQ(first.dots, c.platform == PLATFORM_M ? 0 : 96 * 2);
        EXPECT_EQ(second.dots, first.dots);
    }
}

TEST(HalftoneDither, NullBuffersAndUnknownPlatformsReturnMinusOne) {
    std::vector<unsigned char> src(64, 0), out(8, 0);
    struct Case {
        const unsigned char *src;
        unsigned char *out;
        int platform;
    };
    const Case cases[] = {
        {nullptr, out.data(), PLATFORM_Z},
        {src.data(), nullptr, PLATFORM_C},
        {src.data(), out.data(), PLATFORM_NONE},
        {src.data(), out.data(), 4},
        {src.data(), out.data(), -1},
    };
    for (const Case &c : cases) {
        testing::internal::CaptureStderr();
        EXPECT_EQ(HalftoneDither(c.src, 8, 8, c.out, 8, ScreenOf(c.platform, true, false)), -1);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
        EXPECT_EQ(out, std::vector<unsigned char>(8, 0));
    }
}
