#include "common/option_catalogue.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

// One option per setting, and every code a choice gives its setting reads back the same: the
// typed options hold each choice the catalogue offers.
TEST(OptionCatalogue, EachSettingHasOneOptionAndKeepsEveryChoicesCode) {
    std::set<Setting> settings;
    for (const OptionDescriptor &d : OptionCatalogue()) {
        EXPECT_EQ(FindOption(d.keyword), &d) << d.keyword << " is catalogued twice";
        if (d.setting == Setting::None) continue;
        EXPECT_TRUE(settings.insert(d.setting).second) << d.keyword << " shares its setting";
        for (const OptionChoices *set : {&d.choices, &d.variantChoices})
            for (const OptionChoice &c : set->Rows()) {
                PrintOptions o;
                SetSetting(o, d.setting, c.value);
                EXPECT_EQ(SettingCode(o, d.setting), c.value) << d.keyword << "=" << c.ppd;
            }
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
