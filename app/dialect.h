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

// The traits of the model's dialect: printer duplex (the core turns the back side's page
// image, so back sides come upright), manual duplex where the model has it, or one-sided only;
// keep-alive zero pairs where the printer drops a silent connection and the stream has
// separators.
DialectTraits DialectOf(const ModelInfo &model);
