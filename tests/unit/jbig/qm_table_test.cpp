// The probability estimation table against the published check rows of T.82 Table 24 (the
// byte comparisons with libjbig cover the rows that ordinary pages reach).
#include <gtest/gtest.h>

#include <set>

#include "jbig/qm_table.h"

// The table is a set of compile-time constants.
static_assert(lsztab[0] == 0x5A1D && lsztab[kQmStates - 1] == 0x59EB && nmpstab[13] == 13 &&
              nlpstab[14] == 15 && swtch[112] == 1);

TEST(QmTable, CheckRowsAndExchangeStates) {
    struct Row {
        int state;
        uint16_t lsz;
        int nmps, nlps, sw;
    } rows[] = {{0, 0x5A1D, 1, 1, 1},      {13, 0x0001, 13, 12, 0}, {14, 0x5A7F, 15, 15, 1},
                {35, 0x002C, 9, 33, 0},    {63, 0x008F, 32, 61, 0}, {87, 0x2516, 71, 86, 0},
                {112, 0x59EB, 111, 112, 1}};
    for (const Row &r : rows) {
        EXPECT_EQ(uint16_t(lsztab[r.state]), r.lsz) << r.state;
        EXPECT_EQ(nmpstab[r.state], r.nmps) << r.state;
        EXPECT_EQ(nlpstab[r.state], r.nlps) << r.state;
        EXPECT_EQ(swtch[r.state], r.sw) << r.state;
    }
    std::set<int> exchange;
    for (int s = 0; s < kQmStates; ++s) {
        if (swtch[s]) exchange.insert(s);
        EXPECT_LT(nmpstab[s], kQmStates);
        EXPECT_LT(nlpstab[s], kQmStates);
        EXPECT_GT(lsztab[s], 0); // renormalisation needs 0 < A < 0x8000 after an LPS
        EXPECT_LT(lsztab[s], 0x8000);
    }
    EXPECT_EQ(exchange, (std::set<int>{0, 14, 36, 64, 80, 88, 95, 105, 110, 112}));
}
