// Platform Z: no duplex unit; the core prints two-sided jobs in manual duplex (one side, then
// the user turns the stack and the other side follows) on the models that offer it, and tells
// the user when to turn the stack. The plain models take keep-alive zero pairs like platform C;
// the QV models do not.
#include "app/dialect.h"

#include "common/model_catalogue.h"

DialectTraits DialectZ(const ModelInfo &model) {
    DialectTraits t{};
    t.manualDuplex = model.ManualDuplex();
    t.sides = t.manualDuplex ? PAPPL_SIDES_ONE_SIDED | PAPPL_SIDES_TWO_SIDED_LONG_EDGE |
                                   PAPPL_SIDES_TWO_SIDED_SHORT_EDGE
                             : PAPPL_SIDES_ONE_SIDED;
    t.duplex = t.manualDuplex ? PAPPL_DUPLEX_NORMAL : PAPPL_DUPLEX_NONE;
    t.keepAlive = model.group == ModelGroup::Plain;
    return t;
}
