#include "app/dialect.h"

#include "common/model_catalogue.h"
#include "prnt/dialect.h"

DialectTraits DialectOf(const ModelInfo &model) {
    const DialectRules rules = JobDialect(model.platform)->rules;
    constexpr pappl_sides_t kBothSides =
        PAPPL_SIDES_ONE_SIDED | PAPPL_SIDES_TWO_SIDED_LONG_EDGE | PAPPL_SIDES_TWO_SIDED_SHORT_EDGE;
    DialectTraits t{};
    t.manualDuplex = rules.twoSided == TwoSided::ByHand && model.ManualDuplex();
    const bool twoSided = rules.twoSided == TwoSided::ByPrinter || t.manualDuplex;
    t.sides = twoSided ? kBothSides : static_cast<pappl_sides_t>(PAPPL_SIDES_ONE_SIDED);
    t.duplex = twoSided ? PAPPL_DUPLEX_NORMAL : PAPPL_DUPLEX_NONE;
    t.keepAlive = rules.keepAlive && !TraitsOf(model.group).libraryHalftones;
    return t;
}
