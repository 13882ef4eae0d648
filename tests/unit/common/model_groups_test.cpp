#include "common/model_groups.h"

#include <gtest/gtest.h>

TEST(ModelGroups, WholeNamesMatchExactlyAndCaseSensitively) {
    struct Case { const char *name; bool qv; bool mirodel; };
    const Case cases[] = {
        {"Kelvra QV66ADN Series", true, false}, {"Kelvra QV68ADN Series", true, false},
        {"kelvra QV66ADN Series", false, false}, {"Kelvra QV66ADN Series ", false, false},
        {"Kelvra QV66ADN", false, false},        {"Mirodel R70-pp Series", false, true},
        {"Mirodel V70-pp Series", false, true},  {"Mirodel V70-pp", false, false},
        {"", false, false},                      {nullptr, false, false},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(IsQVModel(c.name), c.qv) << (c.name ? c.name : "(null)");
        EXPECT_EQ(IsMirodelModel(c.name), c.mirodel) << (c.name ? c.name : "(null)");
    }
}
