// What the Printer Application does differently per command dialect. The driver core speaks the
// dialects; here are only the capabilities a printer advertises and the connection care its
// stream needs.
#pragma once

#include <pappl/pappl.h>

struct ModelInfo;

struct DialectTraits {
    pappl_sides_t sides;   // sides-supported
    pappl_duplex_t duplex; // how back sides must arrive: the core turns them itself
    bool keepAlive;        // two zero bytes every 10 s while the stream waits for a page
    bool manualDuplex;     // two-sided jobs are printed in two passes by hand
};

// Platform C: the printer duplexes itself.
DialectTraits DialectC(const ModelInfo &model);
// Platform Z: two-sided jobs in manual duplex, where the model has it.
DialectTraits DialectZ(const ModelInfo &model);
// Platform M: one-sided only.
DialectTraits DialectM(const ModelInfo &model);

// The traits of the model's dialect.
DialectTraits DialectOf(const ModelInfo &model);
