#include "imaging/gs_screen.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

// For every colour Ghostscript can hold, the level it takes through a screen's transfer must
// blacken exactly the cells the cups device's byte blackens under the driver's thresholds, or
// some grey would halftone differently on the fast route; white and black must stay pure (no
// halftone), and the largest renumbered threshold must give the transfer's number of levels.
TEST(GhostscriptScreen, EveryColourBlackensTheCellsItsByteBlackens) {
    for (ScreenMatrix matrix :
         {ScreenMatrix::Classic600, ScreenMatrix::Classic1200C, ScreenMatrix::Classic1200Z,
          ScreenMatrix::Supercell600, ScreenMatrix::Supercell1200}) {
        SCOPED_TRACE(static_cast<int>(matrix));
        const GhostscriptTransfer &t = TransferOf(matrix);
        const std::vector<bool> present = PresentThresholds(matrix);
        const std::vector<int> renumbered = RenumberedThresholds(t);
        int wrong = 0, largest = 0;
        for (int th = 1; th <= 255; ++th)
            if (present[th]) largest = std::max(largest, renumbered[th]);
        for (int c = 0; c <= 32760; ++c) {
            const int level = HalftoneLevelOf(t, c), byte = CupsDeviceByte(c);
            for (int th = 1; th <= 255; ++th)
                wrong += present[th] && (level < renumbered[th]) != (byte < th);
        }
        EXPECT_EQ(wrong, 0);
        EXPECT_EQ(HalftoneLevelOf(t, 0), 0);
        EXPECT_EQ(HalftoneLevelOf(t, 32760), t.levels);
        EXPECT_EQ(largest + 1, t.levels);
    }
}

// Every 1-bit screen gets a set-up whose statements fit one Ghostscript argument and carry the
// whole matrix; 2-bit screens and platforms without a screen get none.
TEST(GhostscriptScreen, SetUpOnlyForOneBitScreensInStatementsGhostscriptAccepts) {
    struct Case {
        ScreenSpec screen;
        size_t hexDigits; // 0: no set-up
    } cases[] = {
        {{ScreenMatrix::Classic600, 1, true}, 4 * 16 * 16},
        {{ScreenMatrix::Classic1200C, 1, true}, 4 * 28 * 28},
        {{ScreenMatrix::Classic1200Z, 1, true}, 4 * 16 * 16},
        {{ScreenMatrix::Supercell600, 1, true}, 4 * 96 * 96},
        {{ScreenMatrix::Supercell1200, 1, true}, 4 * 96 * 96},
        {{ScreenMatrix::Classic600, 1, false}, 4 * 16 * 16},
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
