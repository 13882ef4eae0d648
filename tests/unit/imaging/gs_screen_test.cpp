#include "imaging/gs_screen.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

namespace {

// The transfer samples of the set-up, read back from its text.
std::vector<int> TransferSamples(const std::vector<std::string> &setup) {
    std::vector<int> samples;
    for (const std::string &s : setup)
        if (s.rfind("/KelvraTransfer [", 0) == 0) {
            std::istringstream in(s.substr(17));
            for (int v; in >> v;)
                samples.push_back(v);
        }
    return samples;
}

} // namespace

// Ghostscript interpolates the samples, takes one of 257 levels and compares it with the
// threshold; the cups device rounds the same colour to a byte. For every colour Ghostscript can
// hold, the two must agree, or some grey would halftone differently on the fast route.
TEST(GhostscriptScreen, TransferMakesEveryColourTakeTheLevelOfItsByte) {
    const std::vector<int> v = TransferSamples(GhostscriptScreenSetup({ScreenMatrix::Classic600}));
    ASSERT_EQ(v.size(), 256u);
    int wrong = 0;
    for (int c = 0; c <= 32760; ++c) {
        const int s2 = (c >> 12) + c, k = (s2 - (s2 >> 8)) >> 7;
        const int rem = c - ((k << 7) + (k >> 1) - (k >> 5));
        const int mapped = rem == 0 ? v[k] : v[k] + ((rem * (v[k + 1] - v[k])) >> 7);
        const int level = std::min(255, mapped * 257 / 32761);
        const int byte = static_cast<int>((255L * ((c << 1) + (c >> 11)) + 32767) / 65535);
        wrong += level != byte;
    }
    EXPECT_EQ(wrong, 0);
}

// Every 1-bit screen gets a set-up whose statements fit one Ghostscript argument and carry the
// whole matrix; 2-bit screens and platforms without a screen get none.
TEST(GhostscriptScreen, SetUpOnlyForOneBitScreensInStatementsGhostscriptAccepts) {
    struct Case {
        ScreenSpec screen;
        size_t hexDigits; // 0: no set-up
    } cases[] = {
        {{ScreenMatrix::Classic600, 1, true}, 2 * 16 * 16},
        {{ScreenMatrix::Classic1200C, 1, true}, 2 * 28 * 28},
        {{ScreenMatrix::Classic1200Z, 1, true}, 2 * 16 * 16},
        {{ScreenMatrix::Supercell600, 1, true}, 2 * 96 * 96},
        {{ScreenMatrix::Supercell1200, 1, true}, 2 * 96 * 96},
        {{ScreenMatrix::Classic600, 1, false}, 2 * 16 * 16},
        {{ScreenMatrix::Classic600, 2, false}, 0},
        {{ScreenMatrix::None, 1, true}, 0},
    };
    for (const Case &c : cases) {
        const std::vector<std::string> setup = GhostscriptScreenSetup(c.screen);
        EXPECT_EQ(GhostscriptHalftonesExactly(c.screen), c.hexDigits != 0);
        size_t digits = 0;
        for (const std::string &s : setup) {
            EXPECT_LT(s.size(), 2048u);
            const size_t open = s.find('<'), close = s.find('>');
            if (s.rfind("KelvraThresholds ", 0) == 0) digits += close - open - 1;
        }
        EXPECT_EQ(digits, c.hexDigits) << static_cast<int>(c.screen.matrix);
        if (c.hexDigits) {
            EXPECT_NE(setup.back().find("/Install"), std::string::npos);
        }
    }
}
