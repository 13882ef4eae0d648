#include "common/rotate.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KELVRA_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define KELVRA_ASAN 1
#endif
#ifdef KELVRA_ASAN
// The failure tests ask for more memory than exists; let the allocator say no instead of aborting.
extern "C" const char *__asan_default_options() {
    return "allocator_may_return_null=1";
}
#endif

namespace {

std::vector<unsigned char> RandomImage(size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::vector<unsigned char> v(n);
    for (auto &b : v)
        b = static_cast<unsigned char>(rng());
    return v;
}

// Clockwise turn pixel by pixel: output row r, column c = source row H-1-c, column r.
std::vector<unsigned char> Turned90(const std::vector<unsigned char> &s, uint32_t w, uint32_t h) {
    std::vector<unsigned char> t(s.size());
    for (uint32_t r = 0; r < w; ++r)
        for (uint32_t c = 0; c < h; ++c)
            t[size_t(r) * h + c] = s[size_t(h - 1 - c) * w + r];
    return t;
}

} // namespace

TEST(Rotate, ThreeByTwoExample) {
    std::vector<unsigned char> img = {1, 2, 3, 4, 5, 6};
    ASSERT_EQ(Rotate180(img.data(), 3, 2), 1);
    EXPECT_EQ(img, (std::vector<unsigned char>{6, 5, 4, 3, 2, 1}));
    img = {1, 2, 3, 4, 5, 6};
    ASSERT_EQ(Rotate90(img.data(), 3, 2), 1);
    EXPECT_EQ(img, (std::vector<unsigned char>{4, 1, 5, 2, 6, 3}));
}

TEST(Rotate, OnePixelIsUnchanged) {
    unsigned char px = 42;
    EXPECT_EQ(Rotate180(&px, 1, 1), 1);
    EXPECT_EQ(px, 42);
    EXPECT_EQ(Rotate90(&px, 1, 1), 1);
    EXPECT_EQ(px, 42);
}

TEST(Rotate, SizesAcrossTileEdgesTurnLikeThePixelFormula) {
    struct Size {
        uint32_t w, h;
    };
    for (Size sz :
         {Size{100, 70}, Size{64, 64}, Size{65, 1}, Size{1, 130}, Size{129, 191}, Size{7, 300}}) {
        SCOPED_TRACE(std::to_string(sz.w) + "x" + std::to_string(sz.h));
        const auto src = RandomImage(size_t(sz.w) * sz.h, sz.w * 1000 + sz.h);
        auto img = src;
        ASSERT_EQ(Rotate90(img.data(), sz.w, sz.h), 1);
        EXPECT_EQ(img, Turned90(src, sz.w, sz.h));
        img = src;
        ASSERT_EQ(Rotate180(img.data(), sz.w, sz.h), 1);
        EXPECT_TRUE(std::equal(img.begin(), img.end(), src.rbegin()));
    }
}

TEST(Rotate, FourQuarterTurnsOrTwoHalfTurnsGiveTheOriginal) {
    const uint32_t w0 = 150, h0 = 77;
    const auto src = RandomImage(size_t(w0) * h0, 7);
    auto img = src;
    uint32_t w = w0, h = h0;
    for (int i = 0; i < 4; ++i) {
        ASSERT_EQ(Rotate90(img.data(), w, h), 1);
        std::swap(w, h);
        if (i < 3) {
            EXPECT_NE(img, src);
        }
    }
    EXPECT_EQ(img, src);
    ASSERT_EQ(Rotate180(img.data(), w, h), 1);
    EXPECT_NE(img, src);
    ASSERT_EQ(Rotate180(img.data(), w, h), 1);
    EXPECT_EQ(img, src);
}

TEST(Rotate, ZeroSizesAndNullBufferLeaveEverythingAlone) {
    std::vector<unsigned char> img = {1, 2, 3, 4};
    struct Case {
        unsigned char *buf;
        uint32_t w, h;
    };
    for (Case c : {Case{img.data(), 0, 2}, Case{img.data(), 2, 0}, Case{nullptr, 2, 2}}) {
        EXPECT_EQ(Rotate180(c.buf, c.w, c.h), 0);
        EXPECT_EQ(Rotate90(c.buf, c.w, c.h), 0);
    }
    EXPECT_EQ(img, (std::vector<unsigned char>{1, 2, 3, 4}));
}

TEST(Rotate, QuarterTurnWithoutWorkBufferLeavesTheImageAlone) {
    // 4 G x 4 G bytes cannot be allocated; the buffer is never read on that path
    std::vector<unsigned char> img = {1, 2, 3, 4};
    EXPECT_EQ(Rotate90(img.data(), 0xFFFFFFFFu, 0xFFFFFFFFu), 0);
    EXPECT_EQ(img, (std::vector<unsigned char>{1, 2, 3, 4}));
}
