// Platform C: the printer turns the sheet itself (printer duplex); the core turns the back
// side's page image, so back sides come upright ("normal"). The printer drops a connection
// that stays silent while a page renders: the stream writes keep-alive zero pairs between
// commands.
#include "app/dialect.h"

#include "common/model_catalogue.h"

DialectTraits DialectC(const ModelInfo &model) {
    DialectTraits t{};
    t.sides =
        PAPPL_SIDES_ONE_SIDED | PAPPL_SIDES_TWO_SIDED_LONG_EDGE | PAPPL_SIDES_TWO_SIDED_SHORT_EDGE;
    t.duplex = PAPPL_DUPLEX_NORMAL;
    t.keepAlive = model.group == ModelGroup::Plain;
    t.manualDuplex = false;
    return t;
}
