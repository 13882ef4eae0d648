#include "common/option_catalogue.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

// The filter reads a slot's option by the catalogue keyword and the option table names each
// slot by its option: the two must be the same word, one option per slot.
TEST(OptionCatalogue, AnOptionSettingASlotCarriesTheSlotsName) {
    std::set<int> slots;
    for (const OptionDescriptor &d : OptionCatalogue()) {
        EXPECT_EQ(FindOption(d.keyword), &d) << d.keyword << " is catalogued twice";
        if (d.slot < 0) continue;
        ASSERT_LT(d.slot, kPrntFuncInfoCount) << d.keyword;
        EXPECT_STREQ(d.keyword, gDefaultPrntFuncInfo[d.slot].name);
        EXPECT_TRUE(slots.insert(d.slot).second) << d.keyword << " shares its slot";
    }
}

// Each choice set a model may see is one a PPD and an IPP client can offer: offered choices
// with distinct PPD keywords and texts, a switch of exactly True and False, keyword attributes
// with distinct IPP keywords, the default first.
TEST(OptionCatalogue, EveryChoiceSetIsOfferable) {
    for (const OptionDescriptor &d : OptionCatalogue())
        for (const OptionChoices *set : {&d.choices, &d.variantChoices}) {
            SCOPED_TRACE(d.keyword);
            ASSERT_LT(set->defaultChoice, set->count);
            if (set->ui != PpdUi::None) {
                EXPECT_FALSE(set->Default().alias);
            }
            std::set<std::string> ppd, ipp;
            for (const OptionChoice &c : set->Rows()) {
                EXPECT_TRUE(ppd.insert(c.ppd).second || set->ui == PpdUi::Levels) << c.ppd;
                if (!c.alias) {
                    EXPECT_NE(c.text[0], '\0') << c.ppd;
                }
            }
            if (set->ui == PpdUi::Boolean) {
                EXPECT_EQ(ppd, (std::set<std::string>{"True", "False"}));
            }
            if (set->ippType != IppType::Keyword) continue;
            EXPECT_NE(d.ippName[0], '\0');
            const OptionChoice *rows[14];
            const int n = set->IppKeywords(rows);
            ASSERT_GT(n, 0);
            EXPECT_EQ(rows[0], &set->Default());
            for (int i = 0; i < n; ++i) {
                EXPECT_TRUE(ipp.insert(rows[i]->ipp).second) << rows[i]->ipp;
                EXPECT_EQ(set->FindIpp(rows[i]->ipp), rows[i]);
            }
        }
}

} // namespace
