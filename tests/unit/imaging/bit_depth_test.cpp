// Widening a 1-bit page to 2 bits per pixel in place.
#include "imaging/bit_depth.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

TEST(BitDepth, OneBitPageWidensToTwoBitsAtFullStrength) {
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
