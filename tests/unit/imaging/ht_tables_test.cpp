#include "imaging/ht_tables.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <vector>

namespace {

std::vector<int> Values(const unsigned char *t, size_t n) {
    return std::vector<int>(t, t + n);
}

double Median(std::vector<int> v) {
    std::sort(v.begin(), v.end());
    return (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2.0;
}

} // namespace

TEST(ThresholdTables, FixedCellsHaveTheirLayout) {
    // 600 dpi: blocks A B over B A
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            ASSERT_EQ(HT_TABLE_600[y * 16 + x], HT_TABLE_600[((y + 8) % 16) * 16 + (x + 8) % 16]);
    // 1200 dpi on platform Z: 66 entries of 59 or less lowered by 1 to 5, the rest equal
    int changed = 0;
    for (int i = 0; i < 256; ++i) {
        int d = HT_TABLE_600[i] - HT_TABLE_1200_Z[i];
        if (d == 0) continue;
        ++changed;
        EXPECT_LE(HT_TABLE_600[i], 59) << i;
        EXPECT_TRUE(d >= 1 && d <= 5) << i;
    }
    EXPECT_EQ(changed, 66);
    // every threshold is 1..255, so a black sample always prints
    for (const auto &[t, n] : {std::pair{HT_TABLE_600, 256}, std::pair{HT_TABLE_1200_Z, 256},
                               std::pair{HT_TABLE_1200_C, 784}})
        EXPECT_GE(*std::min_element(t, t + n), 1);
    EXPECT_EQ(HT_TABLE_1200_C[0], 2);
    EXPECT_EQ(HT_TABLE_1200_C[27 * 28 + 27], 1);
    EXPECT_EQ(HT_TABLE_1200_C[6 * 28 + 6], 1);
}

TEST(ThresholdTables, TwoBitLevelTableBoundaries) {
    for (int code = 0; code < 256; ++code) {
        int want = code == 0 ? 0 : code <= 23 ? 1 : code <= 63 ? 2 : 3;
        ASSERT_EQ(HT_TABLE_2BIG[code], want) << code;
    }
}

TEST(ThresholdTables, SupercellsStartWithTheirFixedValuesAndHaveTheirHistogram) {
    struct Case {
        const unsigned char *table;
        std::vector<int> start;
        double median;
        size_t distinct;
    };
    const Case cases[] = {
        {NEW_HT_TABLE_600_Z_M, {50, 28, 62, 94, 171, 111, 58, 33, 72, 87, 161, 103}, 73, 255},
        {NEW_HT_HALFTONE_1200_Z, {36, 19, 46, 77, 165, 95, 43, 23, 55, 69, 153, 86}, 56, 237},
    };
    for (const Case &c : cases) {
        std::vector<int> v = Values(c.table, 96 * 96);
        EXPECT_EQ(std::vector<int>(v.begin(), v.begin() + 12), c.start);
        EXPECT_EQ(Median(v), c.median);
        EXPECT_EQ(std::set<int>(v.begin(), v.end()).size(), c.distinct);
        EXPECT_GE(*std::min_element(v.begin(), v.end()), 1);
    }
}

TEST(ThresholdTables, SupercellGreyStepsAreSmallAndDotsAreClustered) {
    // a flat patch one grey level darker never adds more than 1.5% toner (2.5% for the 1200-dpi
    // matrix, whose tone map merges some light levels): no visible step in a ramp
    for (const auto &[t, maxStep] : {std::pair{NEW_HT_TABLE_600_Z_M, 96 * 96 * 15 / 1000},
                                     std::pair{NEW_HT_HALFTONE_1200_Z, 96 * 96 * 25 / 1000}}) {
        int count[256] = {};
        for (int i = 0; i < 96 * 96; ++i)
            ++count[t[i]];
        EXPECT_LE(*std::max_element(count, count + 256), maxStep);
        // at half coverage nearly every toner pixel touches two others: dots, not dispersed dither
        const int grey = static_cast<int>(Median(Values(t, 96 * 96)));
        auto toner = [&](int x, int y) { return grey < t[((y + 96) % 96) * 96 + (x + 96) % 96]; };
        int dots = 0, clustered = 0;
        for (int y = 0; y < 96; ++y)
            for (int x = 0; x < 96; ++x) {
                if (!toner(x, y)) continue;
                ++dots;
                int n = toner(x - 1, y) + toner(x + 1, y) + toner(x, y - 1) + toner(x, y + 1);
                clustered += n >= 2;
            }
        EXPECT_GT(clustered, dots * 9 / 10);
        // light grey: isolated dots 6 pixels apart along the rows through their centres
        int centres = 0;
        for (int y = 0; y < 96; ++y)
            for (int x = 0; x < 96; ++x)
                if (t[y * 96 + x] > 240) {
                    ++centres;
                    EXPECT_LE(t[y * 96 + (x + 3) % 96], 240) << x << "," << y;
                }
        EXPECT_GT(centres, 96 * 96 / 36 / 2);
    }
}
