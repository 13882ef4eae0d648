// Platform M: the dialect has no duplex command (a two-sided request would print one side per
// sheet), so only one-sided printing is offered; no keep-alive.
#include "app/dialect.h"

#include "common/model_catalogue.h"

DialectTraits DialectM(const ModelInfo &) {
    DialectTraits t{};
    t.sides = PAPPL_SIDES_ONE_SIDED;
    t.duplex = PAPPL_DUPLEX_NONE;
    t.keepAlive = false;
    t.manualDuplex = false;
    return t;
}
